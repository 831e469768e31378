// elo-tool: the batch face of the editor. Each call prints exactly one JSON
// document on stdout. Exit status: 0 success, 1 the operation failed, 2 usage.
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

void TOutput::Append(std::string_view bytes) {
    if (FError) return;
    FBuffer += bytes;
    if (FBuffer.size() >= (size_t{1} << 20)) Flush();
}

void TOutput::Flush() {
    std::cout.flush(); // what CLI11 wrote goes first
    const char* p = FBuffer.data();
    size_t n = FError ? 0 : FBuffer.size();
    while (n > 0) {
        const ssize_t w = ::write(STDOUT_FILENO, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            FError = w < 0 ? errno : EIO;
            break;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    FBuffer.clear();
}

TOutput& Output() {
    static TOutput output;
    return output;
}

std::string TerminalText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    char escape[8];
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(utf8[++i]));
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
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
    out += "}\n";
    elo::tool::Output().Append(out);
    std::cerr << "elo-tool: " << elo::tool::TerminalText(message) << '\n';
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

// The call's exit status once its output is out: a reader that left early
// changes nothing; output that could not be written otherwise fails the call.
int Finish(int status) {
    using elo::tool::Output;
    Output().Flush();
    const int error = Output().Error();
    if (error == 0 || error == EPIPE) return status;
    std::cerr << "elo-tool: " << elo::Cp1252ToUtf8(elo::SysErrorMessage(error)) << ": standard output\n";
    return 1;
}

int Run(int argc, char** argv);

} // namespace

int main(int argc, char** argv) {
    // A closed pipe is the end of the output (see TOutput), not of the program.
    std::signal(SIGPIPE, SIG_IGN);
    return Finish(Run(argc, argv));
}

namespace {

int Run(int argc, char** argv) {
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
        if (!output.empty()) Output().Append(output + '\n');
        return 0;
    } catch (const ExitWith& e) {
        if (!e.output.empty()) Output().Append(e.output + '\n');
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

} // namespace
