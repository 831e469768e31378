// Siblings whose texts give the same path. Reading compares paths ignoring
// letter case (accented letters included), so of two such siblings the file
// keeps only the first: the editor refuses to make them and the file check
// names them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "LinkTree.h"

namespace elo {

// The child of parent (a root node when parent is null), other than except,
// whose text gives the same path as text; null when there is none.
const TTreeNode* SiblingWithSamePath(const TLinkTree& tree, const TTreeNode* parent, std::string_view text,
                                     const TTreeNode* except = nullptr);
// The message that refuses a second node at path.
std::string SamePathMessage(std::string_view path);
// Every node that has an earlier sibling with the same path, in tree order.
std::vector<const TTreeNode*> NodesWithSamePath(const TLinkTree& tree);
// text, or text with the first free number after it among parent's children
// ("<novo ítem> (2)"), so that a new node does not repeat a sibling's path.
std::string FreeSiblingText(const TLinkTree& tree, const TTreeNode* parent, std::string_view text);

} // namespace elo
