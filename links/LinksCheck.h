// Checking a links file as `elo-tool check` and the editor's file check do:
// read it as Open does but read on after a failing line, then decode every
// link item, drawing identifiers from a scratch counter.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace elo {

struct TFileProblem {
    int Line = 0;        // 1-based; 0 for the file as a whole
    std::string Message; // the system's text
    std::string Path;    // the item's path, empty when the problem has none
};

// The problems of a file, in line order. A file that cannot be read gives one
// problem on line 0.
std::vector<TFileProblem> CheckLinksFile(const std::string& fileName);
// The same for the text of a links file.
std::vector<TFileProblem> CheckLinksText(std::string_view text);

// The same, each problem handed over as it is found (a file of millions of
// problems is not held twice).
using TProblemSink = std::function<void(const TFileProblem&)>;
void CheckLinksFile(const std::string& fileName, const TProblemSink& found);
void CheckLinksText(std::string_view text, const TProblemSink& found);

} // namespace elo
