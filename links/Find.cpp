#include "Find.h"

#include <cstring>

#include "platform/Text.h"

namespace elo {

TNodeFinder::TNodeFinder(std::string_view text, bool inLinks) : FFolded(FoldCaseLocale(text)), FInLinks(inLinks) {
    if (FFolded.empty()) return;
    const unsigned char* fold = FoldCaseTable();
    for (int b = 0; b < 256; ++b) FFirst[b] = fold[b] == static_cast<unsigned char>(FFolded[0]);
    // A byte of the text that only itself folds to (a digit, a quote) can be
    // looked for with memchr; the match is then checked around it.
    for (size_t j = 0; j < FFolded.size() && FAnchor == std::string::npos; ++j) {
        int sources = 0;
        for (int b = 0; b < 256; ++b) sources += fold[b] == static_cast<unsigned char>(FFolded[j]);
        if (sources == 1) FAnchor = j;
    }
}

bool TNodeFinder::HoldsAt(const unsigned char* h) const {
    const unsigned char* fold = FoldCaseTable();
    const auto* needle = reinterpret_cast<const unsigned char*>(FFolded.data());
    size_t k = 0;
    while (k < FFolded.size() && fold[h[k]] == needle[k]) ++k;
    return k == FFolded.size();
}

bool TNodeFinder::Holds(std::string_view haystack) const {
    const size_t n = FFolded.size();
    if (haystack.size() < n) return false;
    const auto* h = reinterpret_cast<const unsigned char*>(haystack.data());
    const size_t last = haystack.size() - n;
    if (FAnchor != std::string::npos) {
        const unsigned char anchor = static_cast<unsigned char>(FFolded[FAnchor]);
        const unsigned char* from = h + FAnchor;
        const unsigned char* end = h + last + FAnchor + 1; // one past the anchor of the last start
        while (from < end) {
            const auto* at = static_cast<const unsigned char*>(std::memchr(from, anchor, end - from));
            if (!at) return false;
            if (HoldsAt(at - FAnchor)) return true;
            from = at + 1;
        }
        return false;
    }
    for (size_t i = 0; i <= last; ++i) {
        if (!FFirst[h[i]]) continue; // most bytes cannot begin a match
        if (HoldsAt(h + i)) return true;
    }
    return false;
}

bool TNodeFinder::Matches(const TTreeNode* node) const {
    if (FFolded.empty() || !node) return false;
    if (Holds(node->Text())) return true;
    const TLinkData* data = node->Data();
    return FInLinks && data && Holds(data->Link);
}

const TTreeNode* LastInTreeOrder(const TLinkTree& tree) {
    if (tree.RootCount() == 0) return nullptr;
    const TTreeNode* node = tree.Root(tree.RootCount() - 1);
    while (node->HasChildren()) node = node->Item(node->Count() - 1);
    return node;
}

const TTreeNode* PreviousInTreeOrder(const TLinkTree& tree, const TTreeNode* node) {
    const int index = node->Index();
    if (index == 0) return node->Parent();
    const TTreeNode* previous = node->Parent() ? node->Parent()->Item(index - 1) : tree.Root(index - 1);
    while (previous->HasChildren()) previous = previous->Item(previous->Count() - 1);
    return previous;
}

const TTreeNode* TNodeFinder::Next(const TLinkTree& tree, const TTreeNode* from, bool forward) const {
    if (FFolded.empty() || tree.RootCount() == 0) return nullptr;
    auto step = [&](const TTreeNode* n) -> const TTreeNode* {
        const TTreeNode* next = forward ? n->GetNext() : PreviousInTreeOrder(tree, n);
        return next ? next : (forward ? tree.First() : LastInTreeOrder(tree)); // round the tree
    };
    const TTreeNode* start = from ? step(from) : (forward ? tree.First() : LastInTreeOrder(tree));
    const TTreeNode* stop = from ? from : (forward ? LastInTreeOrder(tree) : tree.First());
    for (const TTreeNode* n = start;; n = step(n)) {
        if (Matches(n)) return n;
        if (n == stop) return nullptr;
    }
}

const TTreeNode* NodeAtPath(const TLinkTree& tree, std::string_view path, std::string* missing) {
    const TTreeNode* node = nullptr;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(path.find('\\', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        const int count = node ? node->Count() : tree.RootCount();
        const TTreeNode* found = nullptr;
        for (int i = 0; i < count && !found; ++i) {
            const TTreeNode* child = node ? node->Item(i) : tree.Root(i);
            if (SameTextLocale(child->Text(), part)) found = child;
        }
        if (!found) {
            if (missing) missing->assign(part);
            return nullptr;
        }
        node = found;
        if (end >= path.size()) return node;
        start = end + 1;
    }
}

} // namespace elo
