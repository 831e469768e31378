#include "LinkTree.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <ostream>

#include "platform/Exceptions.h"

namespace elo {

// ---- TNodeString ----------------------------------------------------------------

TNodeString::TNodeString(const TNodeString& other) {
    if (other.FOwned)
        Assign(other.View());
    else
        Refer(other.View());
}

TNodeString::TNodeString(TNodeString&& other) noexcept
    : FData(std::exchange(other.FData, "")), FSize(std::exchange(other.FSize, 0)),
      FOwned(std::exchange(other.FOwned, false)) {}

TNodeString& TNodeString::operator=(const TNodeString& other) {
    if (this == &other) return *this;
    if (other.FOwned)
        Assign(other.View());
    else
        Refer(other.View());
    return *this;
}

TNodeString& TNodeString::operator=(TNodeString&& other) noexcept {
    if (this == &other) return *this;
    Release();
    FData = std::exchange(other.FData, "");
    FSize = std::exchange(other.FSize, 0);
    FOwned = std::exchange(other.FOwned, false);
    return *this;
}

void TNodeString::Assign(std::string_view text) {
    if (text.size() > std::numeric_limits<uint32_t>::max()) throw Exception("Text too long (over 4 GB)");
    char* copy = nullptr;
    if (!text.empty()) {
        copy = new char[text.size()];
        std::memcpy(copy, text.data(), text.size()); // text may be this string itself
    }
    Release();
    FData = copy ? copy : "";
    FSize = static_cast<uint32_t>(text.size());
    FOwned = copy != nullptr;
}

void TNodeString::Refer(std::string_view text) {
    if (text.size() > std::numeric_limits<uint32_t>::max()) throw Exception("Text too long (over 4 GB)");
    Release();
    FData = text.empty() ? "" : text.data();
    FSize = static_cast<uint32_t>(text.size());
}

void TNodeString::Release() {
    if (FOwned) delete[] FData;
    FData = "";
    FSize = 0;
    FOwned = false;
}

std::ostream& operator<<(std::ostream& out, const TNodeString& s) {
    return out << s.View();
}

// ---- TTreeNode ----------------------------------------------------------------

// A million of them: a node fills one cache line.
static_assert(sizeof(TTreeNode) <= 64);

TTreeNode::~TTreeNode() {
    if (FCapacity > 0) delete[] FChildren;
}

TTreeNode* TTreeNode::Item(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FChildren[index];
}

void TTreeNode::InsertChild(uint32_t at, TTreeNode* child) {
    if (FCount == FCapacity || FCapacity == 0) {
        // Full, or a slice of a builder's table that cannot grow: an array of
        // the node's own.
        const uint32_t capacity = std::max<uint32_t>(4, FCount * 2);
        auto** grown = new TTreeNode*[capacity];
        if (FCount > 0) std::memcpy(grown, FChildren, FCount * sizeof(TTreeNode*));
        if (FCapacity > 0) delete[] FChildren;
        FChildren = grown;
        FCapacity = capacity;
    }
    std::memmove(FChildren + at + 1, FChildren + at, (FCount - at) * sizeof(TTreeNode*));
    FChildren[at] = child;
    ++FCount;
    child->FParent = this;
    child->FIndexHint = static_cast<int32_t>(at);
}

void TTreeNode::RemoveChild(uint32_t at) {
    std::memmove(FChildren + at, FChildren + at + 1, (FCount - at - 1) * sizeof(TTreeNode*));
    --FCount;
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* p = FParent; p && p->FParent; p = p->FParent) ++level;
    return level;
}

int TTreeNode::Index() const {
    if (!FParent) return -1;
    TTreeNode* const* siblings = FParent->FChildren;
    const auto n = static_cast<int32_t>(FParent->FCount);
    int32_t& hint = FIndexHint;
    // The hint is right unless siblings were inserted or removed before the
    // node; after a change nearby it is one off.
    for (int32_t d : {0, 1, -1}) {
        const int32_t i = hint + d;
        if (i >= 0 && i < n && siblings[i] == this) return hint = i;
    }
    for (int32_t i = 0; i < n; ++i)
        if (siblings[i] == this) return hint = i;
    return -1;
}

TTreeNode* TTreeNode::NextSibling() const {
    if (!FParent) return nullptr;
    const int i = Index();
    return static_cast<uint32_t>(i + 1) < FParent->FCount ? FParent->FChildren[i + 1] : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
    if (FCount > 0) return FChildren[0];
    for (const TTreeNode* n = this; n->FParent; n = n->FParent)
        if (TTreeNode* s = n->NextSibling()) return s;
    return nullptr;
}

bool TTreeNode::Contains(const TTreeNode* node) const {
    for (; node; node = node->FParent)
        if (node == this) return true;
    return false;
}

// ---- TSubtree -------------------------------------------------------------------

TSubtree::TSubtree(TSubtree&& other) noexcept
    : FTree(std::exchange(other.FTree, nullptr)), FNode(std::exchange(other.FNode, nullptr)),
      FGeneration(other.FGeneration) {}

TSubtree& TSubtree::operator=(TSubtree&& other) noexcept {
    if (this != &other) {
        TSubtree gone(std::move(*this));
        FTree = std::exchange(other.FTree, nullptr);
        FNode = std::exchange(other.FNode, nullptr);
        FGeneration = other.FGeneration;
    }
    return *this;
}

TSubtree::~TSubtree() {
    // After a Clear of its tree the nodes are gone already.
    if (FNode && FTree && FTree->FGeneration == FGeneration) FTree->FreeSubtree(FNode);
}

// ---- TLinkTree ----------------------------------------------------------------

namespace {
constexpr size_t kFirstBlock = 256, kLargestBlock = 65536;
}

TLinkTree::TLinkTree() : FTop(new TTreeNode) {}

TLinkTree::~TLinkTree() {
    FObservers.clear();
    ReleaseStorage();
    delete FTop;
}

TTreeNode* TLinkTree::NewNode() {
    TTreeNode* node;
    if (!FFree.empty()) {
        node = FFree.back();
        FFree.pop_back();
    } else {
        if (FBlocks.empty() || FBlockUsed == FBlocks.back().size()) {
            const size_t size = FBlocks.empty() ? kFirstBlock : std::min(FBlocks.back().size() * 2, kLargestBlock);
            FBlocks.emplace_back(size);
            FBlockUsed = 0;
        }
        node = new (&FBlocks.back()[FBlockUsed++]) TTreeNode;
    }
    ++FLiveNodes;
    return node;
}

void TLinkTree::FreeSubtree(TTreeNode* node) {
    // Without recursion: a deep tree would overflow the stack.
    std::vector<TTreeNode*> pending{node};
    while (!pending.empty()) {
        TTreeNode* n = pending.back();
        pending.pop_back();
        for (uint32_t i = 0; i < n->FCount; ++i) pending.push_back(n->FChildren[i]);
        // A freed slot holds a blank node, so that every slot of a block is a
        // node that can be destroyed once more when the tree is cleared.
        n->~TTreeNode();
        new (n) TTreeNode;
        FFree.push_back(n);
        --FLiveNodes;
    }
}

void TLinkTree::ReleaseStorage() {
    // Every slot handed out holds a node (a freed one is blank): destroying
    // them in block order frees what they own, without walking the tree.
    for (size_t b = 0; b < FBlocks.size(); ++b) {
        const size_t used = b + 1 == FBlocks.size() ? FBlockUsed : FBlocks[b].size();
        for (size_t i = 0; i < used; ++i) std::launder(reinterpret_cast<TTreeNode*>(&FBlocks[b][i]))->~TTreeNode();
    }
    FBlocks.clear();
    FBlockUsed = 0;
    FFree.clear();
    FFree.shrink_to_fit();
    FKept.clear();
    FChildTables.clear();
    FLiveNodes = 0;
    FTop->~TTreeNode();
    new (FTop) TTreeNode;
    ++FGeneration;
}

size_t TLinkTree::NodeCount() const {
    size_t n = 0;
    ForEach([&](const TTreeNode*) { ++n; });
    return n;
}

void TLinkTree::Clear() {
    TTreeBatch batch(*this);
    ReleaseStorage();
}

TTreeNode* TLinkTree::AddChild(TTreeNode* parent, std::string_view text) {
    TTreeNode* inner = Inner(parent);
    const int index = inner->Count();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeInserted(parent, index); });
    TTreeNode* node = NewNode();
    node->FText.Assign(text);
    inner->InsertChild(static_cast<uint32_t>(index), node);
    Notify([&](ITreeObserver& o) { o.NodeInserted(node); });
    return node;
}

TTreeNode* TLinkTree::InsertBefore(TTreeNode* sibling, std::string_view text) {
    if (!sibling) return AddChild(nullptr, text);
    TTreeNode* inner = sibling->FParent;
    const int index = sibling->Index();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeInserted(sibling->Parent(), index); });
    TTreeNode* node = NewNode();
    node->FText.Assign(text);
    inner->InsertChild(static_cast<uint32_t>(index), node);
    Notify([&](ITreeObserver& o) { o.NodeInserted(node); });
    return node;
}

TSubtree TLinkTree::Detach(TTreeNode* node) {
    TTreeNode* inner = node ? node->FParent : nullptr;
    if (!inner) return {};
    TTreeNode* parent = node->Parent();
    const int index = node->Index();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeRemoved(node); });
    inner->RemoveChild(static_cast<uint32_t>(index));
    node->FParent = nullptr;
    Notify([&](ITreeObserver& o) { o.NodeRemoved(parent, index); });
    return TSubtree(this, node, FGeneration);
}

TTreeNode* TLinkTree::Attach(TSubtree subtree, TTreeNode* parent, TTreeNode* before) {
    TTreeNode* node = subtree.FNode;
    if (!node || subtree.FTree != this || subtree.FGeneration != FGeneration) return nullptr;
    TTreeNode* inner = Inner(parent);
    if (before && before->FParent != inner) before = nullptr;
    const int index = before ? before->Index() : inner->Count();
    Notify([&](ITreeObserver& o) { o.NodeAboutToBeInserted(parent, index); });
    subtree.FNode = nullptr; // the tree has it again
    inner->InsertChild(static_cast<uint32_t>(index), node);
    Notify([&](ITreeObserver& o) { o.NodeInserted(node); });
    return node;
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
    source->RemoveChild(static_cast<uint32_t>(oldIndex));
    const int insertAt = before ? before->Index() : target->Count();
    target->InsertChild(static_cast<uint32_t>(insertAt), node);
    Notify([&](ITreeObserver& o) { o.NodeMoved(node); });
    return true;
}

void TLinkTree::SetText(TTreeNode* node, std::string_view text) {
    node->FText.Assign(text);
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::SetImages(TTreeNode* node, int imageIndex, int selectedIndex) {
    node->FImageIndex = static_cast<int16_t>(imageIndex);
    node->FSelectedIndex = static_cast<int16_t>(selectedIndex);
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::SetData(TTreeNode* node, std::optional<TLinkData> data) {
    node->FData = data ? std::move(*data) : TLinkData();
    node->SetHasData(data.has_value());
    Notify([&](ITreeObserver& o) { o.NodeChanged(node); });
}

void TLinkTree::SetLink(TTreeNode* node, std::string_view link) {
    if (!node->HasData()) return;
    node->FData.Link.Assign(link);
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

// ---- TTreeBuilder ---------------------------------------------------------------

namespace {
constexpr size_t kCopyBlock = size_t{4} << 20;
}

TTreeBuilder::TTreeBuilder(TLinkTree& tree) : FTree(tree) {
    FTree.Clear();
    FTree.BeginUpdate();
}

TTreeBuilder::~TTreeBuilder() {
    Finish();
}

std::string_view TTreeBuilder::Keep(TLargeArray<char> bytes, size_t length) {
    const char* data = bytes.begin();
    FTree.FKept.push_back(std::move(bytes));
    return {data, length};
}

std::string_view TTreeBuilder::KeepCopy(std::string_view text) {
    if (text.empty()) return {};
    if (FCopyLeft < text.size()) {
        const size_t size = std::max(kCopyBlock, text.size());
        FTree.FKept.emplace_back(size, TLargeArray<char>::TPages::Small);
        FCopyAt = FTree.FKept.back().begin();
        FCopyLeft = size;
    }
    std::memcpy(FCopyAt, text.data(), text.size());
    const std::string_view kept(FCopyAt, text.size());
    FCopyAt += text.size();
    FCopyLeft -= text.size();
    return kept;
}

TTreeNode* TTreeBuilder::Add(TTreeNode* parent, std::string_view text) {
    TTreeNode* node = FTree.NewNode();
    node->FText.Refer(text);
    node->FParent = FTree.Inner(parent);
    ++node->FParent->FCount; // counted now, laid out by Finish
    return node;
}

void TTreeBuilder::SetText(TTreeNode* node, std::string_view text) {
    node->FText.Refer(text);
}

void TTreeBuilder::SetLink(TTreeNode* node, std::string_view link) {
    node->FData.Link.Refer(link);
    node->SetHasData(true);
}

void TTreeBuilder::RemoveLink(TTreeNode* node) {
    node->FData = TLinkData();
}

void TTreeBuilder::SetImages(TTreeNode* node, int imageIndex, int selectedIndex) {
    node->FImageIndex = static_cast<int16_t>(imageIndex);
    node->FSelectedIndex = static_cast<int16_t>(selectedIndex);
}

void TTreeBuilder::Drop(TTreeNode* node) {
    if (node->FCount > 0 || !node->FParent) return;
    --node->FParent->FCount;
    node->FParent = nullptr; // no list will hold it
    FDropped.push_back(node);
}

void TTreeBuilder::Finish() {
    if (FFinished) return;
    FFinished = true;
    // The tree was empty: its blocks hold the builder's nodes in the order they
    // were added, so each list comes out in that order. One table holds every
    // list; each node's slice is filled from its end, walking the nodes back.
    size_t total = FTree.FTop->FCount;
    auto forEachNode = [&](auto&& f, bool backwards) {
        const size_t blocks = FTree.FBlocks.size();
        for (size_t k = 0; k < blocks; ++k) {
            const size_t b = backwards ? blocks - 1 - k : k;
            auto& block = FTree.FBlocks[b];
            const size_t used = b + 1 == blocks ? FTree.FBlockUsed : block.size();
            for (size_t j = 0; j < used; ++j) {
                const size_t i = backwards ? used - 1 - j : j;
                f(std::launder(reinterpret_cast<TTreeNode*>(&block[i])));
            }
        }
    };
    forEachNode([&](TTreeNode* n) { total += n->FCount; }, false);
    if (total > 0) {
        FTree.FChildTables.emplace_back(total);
        TTreeNode** at = FTree.FChildTables.back().begin();
        auto place = [&](TTreeNode* n) {
            if (n->FCount == 0) return;
            n->FChildren = at;
            n->FCapacity = n->FCount; // the fill cursor, back to 0 when filled
            at += n->FCount;
        };
        place(FTree.FTop);
        forEachNode(place, false);
        forEachNode(
            [](TTreeNode* n) {
                TTreeNode* p = n->FParent;
                if (!p) return; // dropped
                n->FIndexHint = static_cast<int32_t>(--p->FCapacity);
                p->FChildren[p->FCapacity] = n;
            },
            true);
    }
    for (TTreeNode* n : FDropped) {
        n->~TTreeNode();
        new (n) TTreeNode;
        FTree.FFree.push_back(n);
        --FTree.FLiveNodes;
    }
    FDropped.clear();
    FTree.EndUpdate();
}

} // namespace elo
