// The links file: reading it into the document tree (renumbering files that were
// never numbered), writing the tree back, and emptying the document.
//
// The file: a first line "_currentid=" and the identifier counter, then one line
// per link item: the item's path (node texts joined by "\"), "=", the link string.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "LinkTree.h"
#include "platform/Exceptions.h"

namespace elo {

class TRenumberer;

// A links file cannot be written as it stands, or the counter ran out.
class ELinksFileError : public Exception {
public:
    using Exception::Exception;
};

// One finding of a reading that keeps going (see TLoadReport).
struct TLoadProblem {
    int Line = 0; // 1-based; 0 for the file as a whole
    std::string Message;
};

// What a caller may want to know about a reading beyond the tree.
struct TLoadReport {
    // Record renumbering failures and read on, instead of stopping at the first.
    bool KeepGoing = false;
    // The first line began with "_currentid": the file was numbered.
    bool Numbered = false;
    // Renumbering failures (when KeepGoing), counter lines whose value is no
    // decimal integer, lines ignored because their path already has a link.
    std::vector<TLoadProblem> Problems;
    // Every link item with the line that gave it its link string.
    std::vector<std::pair<const TTreeNode*, int>> ItemLines;
    // A counter line whose value was no decimal 32-bit integer (its line; 0
    // for none): the counter was set past every identifier of the file.
    int CounterRepairedLine = 0;
};

// The largest identifier ("_id" value, in any letter case, nested links
// included) that a link string holds; -1 when it holds none.
int64_t LargestIdentifier(std::string_view link);

class TLinksDocument {
public:
    TLinksDocument();
    ~TLinksDocument();

    TLinkTree Tree;
    std::string FileName;  // empty when none is known
    int32_t CurrentId = 0; // the next identifier to hand out

    // Reads the file into the tree, replacing it, and makes it the current file.
    // "Cannot open file %s" when it cannot be opened; a renumbering failure stops
    // the reading at its line (unless the report asks to keep going). A save
    // that writes the file in place is waited for (LockForReading), and a NUL
    // ends the text: what follows it is not read.
    void LoadLinksFile(const std::string& fileName, TLoadReport* report = nullptr);
    // The same reading, of text already in memory; the file name is not touched.
    void LoadLinksText(std::string_view text, TLoadReport* report = nullptr);
    // Writes the tree and the counter: into a temporary file beside the target,
    // flushed and synced, then renamed over it. On any failure the old file is
    // intact and the platform's error is raised. A node text that would split its
    // path on reading ("\", "=") or a line break in a text or link refuses the
    // save with ELinksFileError before the old file is touched.
    // Returns the number of link items written.
    size_t SaveLinksFile(const std::string& fileName) const;
    // The bytes SaveLinksFile writes.
    std::string LinksText() const;
    // Empties the tree and forgets the file name; the counter keeps its value.
    void NewLinksFile();

    // The complete form of a raw link string; advances CurrentId.
    std::string RenumberLink(std::string_view s, bool nested);
    // Hands out CurrentId and advances it. Raises ELinksFileError when the
    // counter has reached the largest 32-bit value.
    int32_t NewId();

    static std::string NodePath(const TTreeNode* node);

    // Deepest nesting of "link" tags that renumbering follows.
    static constexpr int kMaxNesting = 100;
    // Files that are renumbered while read have their links renumbered on a
    // second thread from this size on (the result is the same).
    size_t TwoThreadsFrom = size_t{1} << 20;

private:
    struct TReadState;
    enum class LineOutcome { Nothing, Folders, Item, Ignored };
    // Reads one line into the tree; returns the link item that receives the
    // line's link string (link: where it stands in the line), or null.
    TTreeNode* AddLinkLine(TReadState& state, std::string_view line, std::string_view& link, LineOutcome& outcome);
    // Raised by a reading on two threads that must be done again on one.
    struct TReadAgain {};
    template <typename Source>
    void ReadLines(Source& source, TTreeBuilder& builder, TLoadReport* report, size_t sizeHint, bool twoThreads);
    // Reads with read (a function of a builder and of whether to use a second
    // thread), once more on one thread when the two-thread reading asks.
    template <typename Read> void ReadOnce(TLoadReport* report, Read&& read);
    template <typename Sink> size_t WriteLinks(Sink& sink) const;
    std::unique_ptr<TRenumberer> FRenumberer;
    std::string FRenumbered; // the line being renumbered
};

// Whether a node text can be written into a links file as it is: a "\" or "="
// would split its path on reading, a line break would end the line.
enum class TNodeTextProblem { None, PathSeparator, LineBreak };
TNodeTextProblem ClassifyNodeText(std::string_view text);
// The message for a text with that problem (empty for none).
std::string NodeTextMessage(std::string_view text, TNodeTextProblem problem);
// Why a node text cannot be written into a links file, or empty when it can.
std::string ValidateNodeText(std::string_view text);

// The position of the "(" that begins a caption suffix in line, looking after
// the first "=" at eq: the last "(" that lies outside quoted values and braced
// groups; npos when there is none. A quote or "{" that is never closed on the
// line opens nothing and counts as a plain character.
size_t FindCaptionSuffix(std::string_view line, size_t eq);

} // namespace elo
