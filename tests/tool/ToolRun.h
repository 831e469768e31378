// Runs elo-tool as scripts run it and reads its one JSON document.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "support/RunTool.h"

namespace elo::test {

struct ToolRun {
    int exitCode;
    nlohmann::json doc; // null when the output is no JSON document
    std::string out, err;
};

inline ToolRun Tool(const std::vector<std::string>& args) {
    auto r = Run(ELO_TOOL_PATH, args);
    nlohmann::json doc;
    if (!r.out.empty() && (r.out[0] == '{' || r.out[0] == '[')) doc = nlohmann::json::parse(r.out);
    return {r.exitCode, doc, r.out, r.err};
}

} // namespace elo::test
