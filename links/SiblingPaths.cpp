#include "SiblingPaths.h"

#include <unordered_set>

#include "platform/Text.h"

namespace elo {

namespace {
int ChildCount(const TLinkTree& tree, const TTreeNode* parent) {
    return parent ? parent->Count() : tree.RootCount();
}
const TTreeNode* Child(const TLinkTree& tree, const TTreeNode* parent, int i) {
    return parent ? parent->Item(i) : tree.Root(i);
}
} // namespace

const TTreeNode* SiblingWithSamePath(const TLinkTree& tree, const TTreeNode* parent, std::string_view text,
                                     const TTreeNode* except) {
    for (int i = 0, n = ChildCount(tree, parent); i < n; ++i) {
        const TTreeNode* child = Child(tree, parent, i);
        if (child != except && SameTextLocale(child->Text(), text)) return child;
    }
    return nullptr;
}

std::string SamePathMessage(std::string_view path) {
    return "J\xE1 existe um n\xF3 com o caminho \"" + std::string(path) +
           "\" (mai\xFAsculas e min\xFAsculas contam igual)";
}

std::vector<const TTreeNode*> NodesWithSamePath(const TLinkTree& tree) {
    std::vector<const TTreeNode*> found;
    std::unordered_set<std::string> seen;
    auto check = [&](const TTreeNode* parent) {
        const int n = ChildCount(tree, parent);
        if (n < 2) return;
        seen.clear();
        for (int i = 0; i < n; ++i) {
            const TTreeNode* child = Child(tree, parent, i);
            if (!seen.insert(FoldCaseLocale(child->Text())).second) found.push_back(child);
        }
    };
    // Each sibling list in tree order: a node's own list when it is entered.
    check(nullptr);
    WalkTree(
        tree, [&](const TTreeNode* node) { check(node); }, [](const TTreeNode*) {});
    // The lists were visited parent before children; order the findings as
    // the tree is.
    std::vector<const TTreeNode*> ordered;
    if (!found.empty()) {
        const std::unordered_set<const TTreeNode*> wanted(found.begin(), found.end());
        WalkTree(
            tree,
            [&](const TTreeNode* node) {
                if (wanted.count(node)) ordered.push_back(node);
            },
            [](const TTreeNode*) {});
    }
    return ordered;
}

std::string FreeSiblingText(const TLinkTree& tree, const TTreeNode* parent, std::string_view text) {
    if (!SiblingWithSamePath(tree, parent, text)) return std::string(text);
    for (int n = 2;; ++n) {
        std::string candidate = std::string(text) + " (" + std::to_string(n) + ")";
        if (!SiblingWithSamePath(tree, parent, candidate)) return candidate;
    }
}

} // namespace elo
