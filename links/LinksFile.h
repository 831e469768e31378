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
#include "platform/LargeArray.h"

namespace elo {

class TcmdListParser;

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
};

// Maps a path key (the line's text up to a "\" or "=") to its node while one
// file is read. Keys compare ignoring letter case, accented letters included.
// A key is held as (parent node, part of the path) — the same thing, since a
// key is its parent's key, "\" and the part — so no key text is stored.
class TPathIndex {
public:
    TTreeNode* Find(const TTreeNode* parent, std::string_view part) const {
        return Find(parent, part, HashOf(parent, part));
    }
    void Add(TTreeNode* node, std::string_view part) { Add(node, part, HashOf(node->Parent(), part)); }
    // The same, with the key's hash already computed.
    static uint32_t HashOf(const TTreeNode* parent, std::string_view part);
    TTreeNode* Find(const TTreeNode* parent, std::string_view part, uint32_t hash) const;
    void Add(TTreeNode* node, std::string_view part, uint32_t hash);
    // Starts loading the slot of a key into the cache before it is needed.
    void Prefetch(uint32_t hash) const {
        if (!FSlots.empty()) __builtin_prefetch(&FSlots[hash & (FSlots.size() - 1)]);
    }
    // Takes a deleted subtree: its keys are dropped, and its nodes stay alive
    // until the reading ends so that no other node can take their addresses.
    void Bury(std::unique_ptr<TTreeNode> subtree);
    size_t Count() const { return FCount; }

    // The previous line and the nodes of its path parts (each with the offset of
    // the "\" or "=" that ended it): lines that share a prefix share those nodes
    // without a lookup.
    struct TPathPart {
        size_t End;
        TTreeNode* Node;
    };
    std::string PreviousLine;
    std::vector<TPathPart> PreviousParts, Parts;

private:
public:
    // Makes room for about n keys at once.
    void Reserve(size_t n);

private:
    // The hash places the slot and is compared before the node is looked at,
    // so neither probing nor growing reads the nodes.
    struct Slot {
        TTreeNode* Node = nullptr;
        uint32_t Hash = 0;
        uint32_t PartLength = 0;
    };
    // The slot holding the key, or the empty slot where it belongs.
    size_t Probe(const TTreeNode* parent, std::string_view part, uint32_t hash) const;
    void Grow(size_t slots);

    TLargeArray<Slot> FSlots;
    size_t FCount = 0;
    std::unordered_set<const TTreeNode*> FDead;
    std::vector<std::unique_ptr<TTreeNode>> FGraveyard;
};

class TLinksDocument {
public:
    TLinksDocument();
    ~TLinksDocument();

    TLinkTree Tree;
    std::string FileName;  // empty when none is known
    int32_t CurrentId = 0; // the next identifier to hand out

    // Reads the file into the tree, replacing it, and makes it the current file.
    // "Cannot open file %s" when it cannot be opened; a renumbering failure stops
    // the reading at its line (unless the report asks to keep going).
    void LoadLinksFile(const std::string& fileName, TLoadReport* report = nullptr);
    // The same reading, of text already in memory; the file name is not touched.
    void LoadLinksText(std::string_view text, TLoadReport* report = nullptr);
    // Writes the tree and the counter: into a temporary file beside the target,
    // flushed and synced, then renamed over it. On any failure the old file is
    // intact and the platform's error is raised. A node text that would split its
    // path on reading ("\", "=") or a line break in a text or link refuses the
    // save with ELinksFileError before the old file is touched.
    void SaveLinksFile(const std::string& fileName) const;
    // The bytes SaveLinksFile writes.
    std::string LinksText() const;
    // Empties the tree and forgets the file name; the counter keeps its value.
    void NewLinksFile();

    // Reads one line into the tree; returns the link item that received the
    // line's link string, or null.
    TTreeNode* AddLinkLine(TPathIndex& index, std::string_view line);
    // The complete form of a raw link string; advances CurrentId.
    std::string RenumberLink(std::string_view s, bool nested);
    // Hands out CurrentId and advances it. Raises ELinksFileError when the
    // counter has reached the largest 32-bit value.
    int32_t NewId();

    static std::string NodePath(const TTreeNode* node);

    // Deepest nesting of "link" tags that renumbering follows.
    static constexpr int kMaxNesting = 100;

private:
    enum class LineOutcome { Nothing, Folders, Item, Ignored };
    TTreeNode* AddLine(TPathIndex& index, std::string_view line, LineOutcome& outcome);
    template <typename Source> void ReadLines(Source& source, TLoadReport* report, size_t sizeHint);
    template <typename Sink> void WriteLinks(Sink& sink) const;
    std::string RenumberAt(std::string_view s, bool nested, int depth);

    // One parser per nesting depth of renumbering, reused from line to line.
    std::vector<std::unique_ptr<TcmdListParser>> FParsers;
};

// Why a node text cannot be written into a links file (it holds "\" or "=",
// which would split its path on reading, or a line break), or empty when it can.
std::string ValidateNodeText(std::string_view text);

// The position of the "(" that begins a caption suffix in line, looking after
// the first "=" at eq: the last "(" that lies outside quoted values and braced
// groups; npos when there is none. A quote or "{" that is never closed on the
// line opens nothing and counts as a plain character.
size_t FindCaptionSuffix(std::string_view line, size_t eq);

} // namespace elo
