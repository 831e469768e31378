// elo-tool: the batch face of the editor. Each call prints exactly one JSON
// document on stdout. Exit status: 0 success, 1 the operation failed, 2 usage.
#include <cstdio>
#include <iostream>

#include "Tool.h"
#include "platform/Exceptions.h"
#include "platform/MainThread.h"
#include "platform/SafeSave.h"
#include "platform/Text.h"

namespace elo::tool {

std::string In(std::string_view utf8) {
    return Utf8ToCp1252(utf8);
}
std::string Out(std::string_view cp1252) {
    return Cp1252ToUtf8(cp1252);
}

std::string MessageUtf8(const std::exception& e) {
    if (const auto* text = dynamic_cast<const ETextEncodingError*>(&e); text && !text->Utf8.empty()) return text->Utf8;
    if (const auto* ex = dynamic_cast<const Exception*>(&e)) return Cp1252ToUtf8(ex->Message);
    return e.what();
}

} // namespace elo::tool

namespace {

// The error document, and one line on stderr (a line break in the message,
// from a file name say, does not split it).
int FailUtf8(const std::string& message, const nlohmann::json& partial = nlohmann::json::object(),
             const std::string& rawMembers = {}) {
    std::string out =
        "{\"error\":" + nlohmann::json(message).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    for (const auto& [key, value] : partial.items())
        out += "," + nlohmann::json(key).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ":" +
               value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!rawMembers.empty()) out += "," + rawMembers;
    out += "}";
    std::cout << out << '\n';
    std::string line = message;
    for (size_t at = 0; (at = line.find_first_of("\r\n", at)) != std::string::npos;)
        line.replace(at, 1, line[at] == '\n' ? "\\n" : "\\r");
    std::cerr << "elo-tool: " << line << '\n';
    return 1;
}

int Fail(const std::string& messageCp1252, const nlohmann::json& partial = nlohmann::json::object(),
         const std::string& rawMembers = {}) {
    return FailUtf8(elo::Cp1252ToUtf8(messageCp1252), partial, rawMembers);
}

// A verb that is no verb is named, not taken for a missing one.
bool UnknownVerb(const CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") return false;
        if (!arg.empty() && arg[0] == '-') continue;
        for (const CLI::App* verb : app.get_subcommands({}))
            if (verb->check_name(arg)) return false;
        std::cerr << "Unknown verb: " << arg << "\nRun with --help for more information.\n";
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    using namespace elo::tool;
    elo::SetMainThread(); // library watchers hand their changes to this thread
    elo::InstallSaveSignalHandlers();
    CLI::App app{"Elo batch tool: links files, link strings and interface libraries", "elo-tool"};
    app.set_version_flag("--version", std::string("elo-tool ") + ELO_VERSION);
    app.require_subcommand(1);
    Action action;
    RegisterCmdlangVerbs(app, action);
    RegisterLinksVerbs(app, action);
    RegisterNlxVerbs(app, action);

    if (UnknownVerb(app, argc, argv)) return 2;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    if (!action) return 2;

    try {
        const std::string output = action();
        if (!output.empty()) std::cout << output << '\n';
        return 0;
    } catch (const ExitWith& e) {
        if (!e.output.empty()) std::cout << e.output << '\n';
        return e.code;
    } catch (const Failure& f) {
        if (!f.messageUtf8.empty()) return FailUtf8(f.messageUtf8, f.partial, f.rawMembers);
        return Fail(f.message, f.partial, f.rawMembers);
    } catch (const elo::Exception& e) {
        return FailUtf8(MessageUtf8(e));
    } catch (const json::exception& e) {
        return Fail(e.what());
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory");
    } catch (const std::exception& e) {
        // length_error and the like: still the one document with its "error".
        return Fail(e.what());
    }
}
