// Runs a program with arguments and collects its output and exit status.
#pragma once

#include <string>
#include <vector>

namespace elo::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

RunResult Run(const std::string& program, const std::vector<std::string>& args, const std::string& input = {});

} // namespace elo::test
