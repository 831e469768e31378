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
// becomes the "error" member.
struct Failure {
    std::string message; // Windows-1252, as the system raised it
    json partial = json::object();
};

// What a verb does once its arguments are read: returns the JSON document to
// print, or throws Failure / elo::Exception.
using Action = std::function<json()>;

void RegisterCmdlangVerbs(CLI::App& app, Action& action);

} // namespace elo::tool
