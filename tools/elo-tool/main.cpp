// elo-tool: the batch face of the editor. Each call prints exactly one JSON
// document on stdout. Exit status: 0 success, 1 the operation failed, 2 usage.
#include <cstdio>
#include <iostream>

#include "Tool.h"
#include "platform/Exceptions.h"
#include "platform/MainThread.h"
#include "platform/Text.h"

namespace elo::tool {

std::string In(std::string_view utf8) {
    return Utf8ToCp1252(utf8);
}
std::string Out(std::string_view cp1252) {
    return Cp1252ToUtf8(cp1252);
}

} // namespace elo::tool

namespace {

int Fail(const std::string& messageCp1252, const nlohmann::json& partial = nlohmann::json::object(),
         const std::string& rawMembers = {}) {
    const std::string message = elo::Cp1252ToUtf8(messageCp1252);
    std::string out = "{\"error\":" + nlohmann::json(message).dump();
    for (const auto& [key, value] : partial.items()) out += "," + nlohmann::json(key).dump() + ":" + value.dump();
    if (!rawMembers.empty()) out += "," + rawMembers;
    out += "}";
    std::cout << out << '\n';
    std::cerr << "elo-tool: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    using namespace elo::tool;
    elo::SetMainThread(); // library watchers hand their changes to this thread
    CLI::App app{"Elo batch tool: links files, link strings and interface libraries", "elo-tool"};
    app.set_version_flag("--version", std::string("elo-tool ") + ELO_VERSION);
    app.require_subcommand(1);
    Action action;
    RegisterCmdlangVerbs(app, action);
    RegisterLinksVerbs(app, action);
    RegisterNlxVerbs(app, action);

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
        return Fail(f.message, f.partial, f.rawMembers);
    } catch (const elo::Exception& e) {
        return Fail(e.Message);
    } catch (const json::exception& e) {
        return Fail(e.what());
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory");
    } catch (const std::exception& e) {
        // length_error and the like: still the one document with its "error".
        return Fail(e.what());
    }
}
