// Finding nodes: the next node, in tree order, whose text (and, when asked,
// whose link string) holds a text, letter case ignored as folder paths
// compare it (É = é, é ≠ e).
#pragma once

#include <string>
#include <string_view>

#include "LinkTree.h"

namespace elo {

class TNodeFinder {
public:
    explicit TNodeFinder(std::string_view text, bool inLinks = false);
    bool Matches(const TTreeNode* node) const;
    // The next match after from (before it, backwards), wrapping round the
    // tree; from itself is looked at last. From null: the first (the last).
    // Null when nothing matches.
    const TTreeNode* Next(const TLinkTree& tree, const TTreeNode* from, bool forward = true) const;
    bool Empty() const { return FFolded.empty(); }

private:
    bool Holds(std::string_view haystack) const;
    bool HoldsAt(const unsigned char* at) const;
    std::string FFolded;
    size_t FAnchor = std::string::npos;
    bool FInLinks;
    bool FFirst[256] = {}; // bytes that fold to the text's first byte
};

// The node before this one in tree order: the previous sibling's last
// descendant, else the parent; null for the first node.
const TTreeNode* PreviousInTreeOrder(const TLinkTree& tree, const TTreeNode* node);
// The last node in tree order.
const TTreeNode* LastInTreeOrder(const TLinkTree& tree);

// The node a path ("A\B\C") names, its parts compared as folder paths are;
// when a part is missing, null, and missing holds that part.
const TTreeNode* NodeAtPath(const TLinkTree& tree, std::string_view path, std::string* missing = nullptr);

} // namespace elo
