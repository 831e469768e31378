// Shared plumbing of the batch tool's verbs: text conversion at the boundary and
// the failure that carries a partial result.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace elo::tool {

using nlohmann::json;

// Arguments and JSON strings are UTF-8; the system works on Windows-1252.
std::string In(std::string_view utf8);
std::string Out(std::string_view cp1252);

// A failed operation whose output still holds a partial result; the message
// becomes the "error" member, followed by the members of partial, then by
// rawMembers (members already serialised, without the braces).
struct Failure {
    std::string message; // Windows-1252, as the system raised it
    json partial = json::object();
    std::string rawMembers;
    std::string messageUtf8 = {}; // when set, what the message is (it shows text Windows-1252 cannot)
};

// The message of an exception for the error document, in UTF-8.
std::string MessageUtf8(const std::exception& e);

// Standard output, written in large pieces. A reader that went away (a closed
// pipe, as in `elo-tool tree big | head`) ends the output quietly: the rest is
// dropped and the call ends as it would have. Verbs whose output can be large
// write into it as they go instead of returning it.
class TOutput {
public:
    void Append(std::string_view bytes);
    void Flush();
    // 0, or the error that stopped the writing (EPIPE: the reader left).
    int Error() const { return FError; }

private:
    std::string FBuffer;
    int FError = 0;
};
TOutput& Output();

// UTF-8 text made safe for a terminal: control characters (C0, DEL and C1)
// are written as "\x1b" or "\u009b", so that bytes from a file can neither
// drive the terminal nor split a line.
std::string TerminalText(std::string_view utf8);

// Ends the call with this output and exit status (a verb whose failure output
// is not the usual error object).
struct ExitWith {
    std::string output;
    int code;
};

// What a verb does once its arguments are read: returns the serialised JSON
// document to print (or writes it into Output() and returns nothing), or
// throws Failure / elo::Exception.
using Action = std::function<std::string()>;

void RegisterCmdlangVerbs(CLI::App& app, Action& action);
void RegisterLinksVerbs(CLI::App& app, Action& action);
void RegisterNlxVerbs(CLI::App& app, Action& action);

} // namespace elo::tool
