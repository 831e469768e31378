// Runs a program with arguments and collects its output and exit status.
#pragma once

#include <string>
#include <vector>

namespace elo::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    size_t outBytes = 0; // what it wrote on stdout, kept or not
    long peakKb = 0;     // its peak resident memory
    double seconds = 0;  // from its start to its end
};

// Runs program; keepOutput false counts what it writes on stdout without
// keeping it (for outputs of hundreds of megabytes).
RunResult Run(const std::string& program, const std::vector<std::string>& args, const std::string& input = {},
              bool keepOutput = true);

} // namespace elo::test
