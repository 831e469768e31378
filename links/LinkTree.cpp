#include "LinkTree.h"

#include <algorithm>

#include "platform/Exceptions.h"

namespace elo {

// ---- TTreeNode ----------------------------------------------------------------

TTreeNode::~TTreeNode() {
    // A deep tree would overflow the stack if children destroyed their children
    // recursively: take the subtree apart level by level instead.
    std::vector<std::unique_ptr<TTreeNode>> pending = std::move(FChildren);
    while (!pending.empty()) {
        std::unique_ptr<TTreeNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->FChildren) pending.push_back(std::move(child));
        node->FChildren.clear();
    }
}

TTreeNode* TTreeNode::Item(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FChildren[static_cast<size_t>(index)].get();
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* p = FParent; p && p->FParent; p = p->FParent) ++level;
    return level;
}

int TTreeNode::Index() const {
    if (!FParent) return -1;
    const auto& siblings = FParent->FChildren;
    const auto n = static_cast<int32_t>(siblings.size());
    int32_t& hint = FIndexHint;
    // The hint is right unless siblings were inserted or removed before the
    // node; after a change nearby it is one off.
    for (int32_t d : {0, 1, -1}) {
        const int32_t i = hint + d;
        if (i >= 0 && i < n && siblings[static_cast<size_t>(i)].get() == this) return hint = i;
    }
    for (int32_t i = 0; i < n; ++i)
        if (siblings[static_cast<size_t>(i)].get() == this) return hint = i;
    return -1;
}

TTreeNode* TTreeNode::NextSibling() const {
    if (!FParent) return nullptr;
    const int i = Index();
    return i + 1 < FParent->Count() ? FParent->FChildren[static_cast<size_t>(i + 1)].get() : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
    if (!FChildren.empty()) return FChildren.front().get();
    for (const TTreeNode* n = this; n->FParent; n = n->FParent)
        if (TTreeNode* s = n->NextSibling()) return s;
    return nullptr;
}

bool TTreeNode::Contains(const TTreeNode* node) const {
    for (; node; node = node->FParent)
        if (node == this) return true;
    return false;
}

// ---- TLinkTree ----------------------------------------------------------------

TLinkTree::~TLinkTree() {
    FObservers.clear();
}

size_t TLinkTree::NodeCount() const {
    size_t n = 0;
    ForEach([&](const TTreeNode*) { ++n; });
    return n;
}

void TLinkTree::Clear() {
    TTreeBatch batch(*this);
    FTop.FChildren.clear();
}

TTreeNode* TLinkTree::AddChild(TTreeNode* parent, std::string text) {
    TTreeNode* inner = Inner(parent);
    const int index = inner->Count();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeInserted(parent, index); });
    auto node = std::make_unique<TTreeNode>(std::move(text));
    node->FParent = inner;
    node->FIndexHint = index;
    TTreeNode* raw = node.get();
    inner->FChildren.push_back(std::move(node));
    Notify([&](ITreeObserver& o) { o.NodeInserted(raw); });
    return raw;
}

TTreeNode* TLinkTree::InsertBefore(TTreeNode* sibling, std::string text) {
    if (!sibling) return AddChild(nullptr, std::move(text));
    TTreeNode* inner = sibling->FParent;
    const int index = sibling->Index();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeInserted(sibling->Parent(), index); });
    auto node = std::make_unique<TTreeNode>(std::move(text));
    node->FParent = inner;
    node->FIndexHint = index;
    TTreeNode* raw = node.get();
    inner->FChildren.insert(inner->FChildren.begin() + index, std::move(node));
    Notify([&](ITreeObserver& o) { o.NodeInserted(raw); });
    return raw;
}

std::unique_ptr<TTreeNode> TLinkTree::Detach(TTreeNode* node) {
    TTreeNode* inner = node ? node->FParent : nullptr;
    if (!inner) return nullptr;
    TTreeNode* parent = node->Parent();
    const int index = node->Index();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeRemoved(node); });
    std::unique_ptr<TTreeNode> owned = std::move(inner->FChildren[static_cast<size_t>(index)]);
    inner->FChildren.erase(inner->FChildren.begin() + index);
    owned->FParent = nullptr;
    Notify([&](ITreeObserver& o) { o.NodeRemoved(parent, index); });
    return owned;
}

void TLinkTree::Delete(TTreeNode* node) {
    Detach(node);
}

bool TLinkTree::Move(TTreeNode* node, TTreeNode* parent, TTreeNode* before) {
    if (!node || !node->FParent || node == before || (parent && node->Contains(parent))) return false;
    TTreeNode* target = Inner(parent);
    if (before && before->FParent != target) return false;
    TTreeNode* source = node->FParent;
    const int oldIndex = node->Index();
    const int newIndex = before ? before->Index() : target->Count();
    if (source == target && oldIndex + 1 == newIndex) return true; // already there

    Notify([&](ITreeObserver& o) { o.NodeAboutToBeMoved(node, parent, newIndex); });
    std::unique_ptr<TTreeNode> owned = std::move(source->FChildren[static_cast<size_t>(oldIndex)]);
    source->FChildren.erase(source->FChildren.begin() + oldIndex);
    const int insertAt = before ? before->Index() : target->Count();
    owned->FParent = target;
    owned->FIndexHint = insertAt;
    target->FChildren.insert(target->FChildren.begin() + insertAt, std::move(owned));
    Notify([&](ITreeObserver& o) { o.NodeMoved(node); });
    return true;
}

void TLinkTree::SetText(TTreeNode* node, std::string text) {
    node->FText = std::move(text);
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::SetImages(TTreeNode* node, int imageIndex, int selectedIndex) {
    node->FImageIndex = static_cast<int16_t>(imageIndex);
    node->FSelectedIndex = static_cast<int16_t>(selectedIndex);
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::SetData(TTreeNode* node, std::optional<TLinkData> data) {
    node->FData = std::move(data);
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::SetLink(TTreeNode* node, std::string link) {
    if (!node->FData) return;
    node->FData->Link = std::move(link);
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::BeginUpdate() {
    if (FUpdateCount++ == 0)
        for (ITreeObserver* o : FObservers) o->BeginBatch();
}

void TLinkTree::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        for (ITreeObserver* o : FObservers) o->EndBatch();
}

void TLinkTree::AddObserver(ITreeObserver* observer) {
    FObservers.push_back(observer);
}

void TLinkTree::RemoveObserver(ITreeObserver* observer) {
    FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), observer), FObservers.end());
}

} // namespace elo
