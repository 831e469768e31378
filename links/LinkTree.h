// The document tree: an ordered tree of folders and link items. A plain C++
// model; a view (the editor's tree view) sits on it through the observer.
//
// Storage is built for files of a million lines. Nodes live in large blocks
// owned by the tree and are recycled through a free list, never allocated one
// by one. Texts and link strings read from a file refer into the file's bytes,
// which the tree keeps (TTreeBuilder::Keep); a text changed later owns its own
// copy, freed when it is replaced or its node goes. Child lists built by the
// builder are slices of one table, copied out only when an edit makes a list
// grow.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LargeArray.h"

namespace elo {

// A text that either refers to bytes the tree keeps (file bytes, texts made
// while a file was read) or owns a copy of its own.
class TNodeString {
public:
    TNodeString() = default;
    // An owned copy of text.
    TNodeString(std::string_view text) { Assign(text); }
    TNodeString(const std::string& text) : TNodeString(std::string_view(text)) {}
    TNodeString(const char* text) : TNodeString(std::string_view(text)) {}
    TNodeString(const TNodeString& other);
    TNodeString(TNodeString&& other) noexcept;
    TNodeString& operator=(const TNodeString& other);
    TNodeString& operator=(TNodeString&& other) noexcept;
    ~TNodeString() { Release(); }

    // An owned copy of text.
    void Assign(std::string_view text);
    // Refers to text, whose bytes must outlive this object.
    void Refer(std::string_view text);
    bool Owned() const { return FOwned; }

    std::string_view View() const { return {FData, FSize}; }
    operator std::string_view() const { return View(); }
    explicit operator std::string() const { return std::string(View()); }
    size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    const char* data() const { return FData; }
    friend bool operator==(const TNodeString& a, std::string_view b) { return a.View() == b; }
    friend std::ostream& operator<<(std::ostream& out, const TNodeString& s);

private:
    void Release();
    const char* FData = "";
    uint32_t FSize = 0;
    bool FOwned = false;

public:
    // A byte its owner may keep beside the text (it fills what would be
    // padding); copies and assignments leave it alone.
    uint8_t Tag = 0;
};

// The data of one link item: its link string.
struct TLinkData {
    TLinkData() = default;
    TLinkData(std::string_view link) : Link(link) {}
    TLinkData(const std::string& link) : Link(link) {}
    TLinkData(const char* link) : Link(link) {}
    TNodeString Link;
};

class TLinkTree;

class TTreeNode {
public:
    std::string_view Text() const { return FText; }
    int ImageIndex() const { return FImageIndex; }
    int SelectedIndex() const { return FSelectedIndex; }
    // Null for a root node.
    TTreeNode* Parent() const { return FParent && FParent->FParent ? FParent : nullptr; }
    int Count() const { return static_cast<int>(FCount); }
    bool HasChildren() const { return FCount > 0; }
    TTreeNode* Item(int index) const;
    // The attached link data, owned by the node; null for a folder. Changes go
    // through the tree (SetData, SetLink), which tells its observers.
    const TLinkData* Data() const { return HasData() ? &FData : nullptr; }
    // Root nodes are level 0.
    int Level() const;
    // Position among its siblings.
    int Index() const;
    // The next node in tree order (a node, its children, then its next sibling).
    TTreeNode* GetNext() const;
    TTreeNode* NextSibling() const;
    // True when node is this node or lies below it.
    bool Contains(const TTreeNode* node) const;

private:
    friend class TLinkTree;
    friend class TTreeBuilder;
    TTreeNode() = default;
    ~TTreeNode();
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;
    void InsertChild(uint32_t at, TTreeNode* child);
    // Whether the node is a link item: kept in the tag of its link string.
    bool HasData() const { return FData.Link.Tag != 0; }
    void SetHasData(bool on) { FData.Link.Tag = on ? 1 : 0; }
    void RemoveChild(uint32_t at);

    TNodeString FText;
    TLinkData FData;
    // Root nodes hang below the tree's hidden top node, the only node without
    // a parent; Parent() hides it.
    TTreeNode* FParent = nullptr;
    // The children: a slice of the builder's table (FCapacity 0) or an array
    // of the node's own (FCapacity entries).
    TTreeNode** FChildren = nullptr;
    uint32_t FCount = 0;
    uint32_t FCapacity = 0;
    int16_t FImageIndex = 0;
    int16_t FSelectedIndex = 0;
    mutable int32_t FIndexHint = 0;
};

// Receives the tree's changes. Inside a batch (BeginUpdate..EndUpdate) no
// per-node notification is sent; EndBatch means the whole tree may have changed.
class ITreeObserver {
public:
    virtual ~ITreeObserver() = default;
    virtual void BeginBatch() {}
    virtual void EndBatch() {}
    virtual void NodeAboutToBeInserted(TTreeNode* /*parent*/, int /*index*/) {}
    virtual void NodeInserted(TTreeNode* /*node*/) {}
    virtual void NodeAboutToBeRemoved(TTreeNode* /*node*/) {}
    virtual void NodeRemoved(TTreeNode* /*parent*/, int /*index*/) {}
    // The node moves to newParent, before the child at newIndex (counted
    // before the move; the child count for the end).
    virtual void NodeAboutToBeMoved(TTreeNode* /*node*/, TTreeNode* /*newParent*/, int /*newIndex*/) {}
    virtual void NodeMoved(TTreeNode* /*node*/) {}
    virtual void NodeChanged(TTreeNode* /*node*/) {}
};

// A subtree taken out of the tree (Detach): it keeps its nodes and texts and
// can be put back (Attach); when it goes, its nodes return to the tree's free
// list. It must not outlive its tree, nor the tree's next Clear.
class TSubtree {
public:
    TSubtree() = default;
    TSubtree(TSubtree&& other) noexcept;
    TSubtree& operator=(TSubtree&& other) noexcept;
    ~TSubtree();
    TTreeNode* Node() const { return FNode; }
    explicit operator bool() const { return FNode != nullptr; }

private:
    friend class TLinkTree;
    TSubtree(TLinkTree* tree, TTreeNode* node, uint64_t generation)
        : FTree(tree), FNode(node), FGeneration(generation) {}
    TLinkTree* FTree = nullptr;
    TTreeNode* FNode = nullptr;
    uint64_t FGeneration = 0;
};

class TLinkTree {
public:
    TLinkTree();
    ~TLinkTree();
    TLinkTree(const TLinkTree&) = delete;
    TLinkTree& operator=(const TLinkTree&) = delete;

    int RootCount() const { return FTop->Count(); }
    TTreeNode* Root(int index) const { return FTop->Item(index); }
    TTreeNode* First() const { return FTop->HasChildren() ? FTop->FChildren[0] : nullptr; }
    // Every node in tree order.
    template <typename F> void ForEach(F&& f) const {
        for (TTreeNode* n = First(); n; n = n->GetNext()) f(n);
    }
    size_t NodeCount() const;

    // Empties the tree; the memory of every node, text and kept file goes.
    void Clear();
    // Appends a child to parent's children (a root node when parent is null).
    TTreeNode* AddChild(TTreeNode* parent, std::string_view text);
    // Inserts a node directly before sibling, at its level.
    TTreeNode* InsertBefore(TTreeNode* sibling, std::string_view text);
    // Moves node with its subtree under parent (null: the root level), before
    // the child before (null: at the end). A move into the node's own subtree,
    // or onto itself, changes nothing and returns false.
    bool Move(TTreeNode* node, TTreeNode* parent, TTreeNode* before);
    // Deletes node with its subtree, destroying their data.
    void Delete(TTreeNode* node);
    // Takes node with its subtree out of the tree without destroying it.
    TSubtree Detach(TTreeNode* node);
    // Puts a detached subtree back under parent, before the child before (null:
    // at the end); returns its node.
    TTreeNode* Attach(TSubtree subtree, TTreeNode* parent, TTreeNode* before);

    void SetText(TTreeNode* node, std::string_view text);
    void SetImages(TTreeNode* node, int imageIndex, int selectedIndex);
    // Attaches data (a link item) or, with nullopt, removes it (a folder).
    void SetData(TTreeNode* node, std::optional<TLinkData> data);
    // Replaces the link string of a link item (a folder stays a folder).
    void SetLink(TTreeNode* node, std::string_view link);

    // The batch bracket; nests.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

    void AddObserver(ITreeObserver* observer);
    void RemoveObserver(ITreeObserver* observer);

    // Nodes alive (in the tree or in detached subtrees), for tests and figures.
    size_t LiveNodes() const { return FLiveNodes; }

private:
    friend class TTreeBuilder;
    friend class TSubtree;
    TTreeNode* Inner(TTreeNode* parent) { return parent ? parent : FTop; }
    template <typename F> void Notify(F&& f) {
        if (FUpdateCount == 0)
            for (ITreeObserver* o : FObservers) f(*o);
    }
    TTreeNode* NewNode();
    // Destroys node and its subtree; their nodes go to the free list.
    void FreeSubtree(TTreeNode* node);
    void ReleaseStorage();

    // Nodes in blocks that grow with the tree; freed nodes are kept for reuse.
    struct alignas(TTreeNode) TNodeSlot {
        unsigned char Bytes[sizeof(TTreeNode)];
    };
    std::vector<TLargeArray<TNodeSlot>> FBlocks;
    size_t FBlockUsed = 0; // slots handed out of the last block
    std::vector<TTreeNode*> FFree;
    size_t FLiveNodes = 0;
    // What texts refer to: file bytes and texts made while reading.
    std::vector<TLargeArray<char>> FKept;
    // Child tables of builders.
    std::vector<TLargeArray<TTreeNode*>> FChildTables;
    TTreeNode* FTop = nullptr;
    uint64_t FGeneration = 1; // changes with every Clear
    std::vector<ITreeObserver*> FObservers;
    int FUpdateCount = 0;
};

// Fills an empty tree in one batch, as fast as a file can be read: nodes are
// only appended, texts may refer to bytes the tree is asked to keep, and the
// child lists are laid out once, at the end. Until Finish the tree is only
// for the builder: nodes have their parents, texts and data, not their child
// lists (HasChildren does answer).
class TTreeBuilder {
public:
    explicit TTreeBuilder(TLinkTree& tree);
    ~TTreeBuilder(); // finishes
    TTreeBuilder(const TTreeBuilder&) = delete;
    TTreeBuilder& operator=(const TTreeBuilder&) = delete;

    // Hands bytes to the tree for the texts that will refer into them.
    std::string_view Keep(TLargeArray<char> bytes, size_t length);
    // A copy of text that the tree keeps (texts made while reading).
    std::string_view KeepCopy(std::string_view text);
    // Appends a node whose text refers to text (kept bytes).
    TTreeNode* Add(TTreeNode* parent, std::string_view text);
    // A node's text, link or images; texts refer to kept bytes.
    void SetText(TTreeNode* node, std::string_view text);
    void SetLink(TTreeNode* node, std::string_view link);
    void RemoveLink(TTreeNode* node);
    static void SetImages(TTreeNode* node, int imageIndex, int selectedIndex);
    // A number the builder's user may keep with a node until Finish.
    static void SetScratch(TTreeNode* node, int32_t value) { node->FIndexHint = value; }
    static int32_t Scratch(const TTreeNode* node) { return node->FIndexHint; }
    // Every node added so far (not the dropped ones), in the order added.
    template <typename F> void ForEachAdded(F&& f) const {
        for (size_t b = 0; b < FTree.FBlocks.size(); ++b) {
            const size_t used = b + 1 == FTree.FBlocks.size() ? FTree.FBlockUsed : FTree.FBlocks[b].size();
            for (size_t i = 0; i < used; ++i) {
                const auto* node = std::launder(reinterpret_cast<const TTreeNode*>(&FTree.FBlocks[b][i]));
                if (node->FParent) f(node);
            }
        }
    }
    // Drops a node that has no children: it vanishes from the tree.
    void Drop(TTreeNode* node);
    // Lays out the child lists and ends the batch.
    void Finish();

private:
    TLinkTree& FTree;
    std::vector<TTreeNode*> FDropped;
    // Texts made while reading, in large blocks.
    char* FCopyAt = nullptr;
    size_t FCopyLeft = 0;
    bool FFinished = false;
};

// Walks the tree depth-first, without recursion: enter(node) before a node's
// children, leave(node) after them. ahead(node) is told of a sibling a few
// steps before it is entered, so that its memory can be fetched early (a tree
// read from a file in another order lies scattered in memory).
template <typename Enter, typename Leave, typename Ahead>
void WalkTree(const TLinkTree& tree, Enter&& enter, Leave&& leave, Ahead&& ahead) {
    struct TLevel {
        const TTreeNode* Node;
        int Next;
    };
    constexpr int kNodeAhead = 8, kDataAhead = 4;
    std::vector<TLevel> stack;
    for (int r = 0; r < tree.RootCount(); ++r) {
        stack.push_back({tree.Root(r), 0});
        enter(stack.back().Node);
        while (!stack.empty()) {
            TLevel& top = stack.back();
            const int count = top.Node->Count();
            if (top.Next < count) {
                if (top.Next + kNodeAhead < count) __builtin_prefetch(top.Node->Item(top.Next + kNodeAhead));
                if (top.Next + kDataAhead < count) ahead(top.Node->Item(top.Next + kDataAhead));
                const TTreeNode* child = top.Node->Item(top.Next++);
                stack.push_back({child, 0});
                enter(child);
            } else {
                const TTreeNode* done = top.Node;
                stack.pop_back();
                leave(done);
            }
        }
    }
}
template <typename Enter, typename Leave> void WalkTree(const TLinkTree& tree, Enter&& enter, Leave&& leave) {
    WalkTree(tree, enter, leave, [](const TTreeNode*) {});
}

// Brackets a batch of changes; ends it also when an exception leaves the scope.
class TTreeBatch {
public:
    explicit TTreeBatch(TLinkTree& tree) : FTree(tree) { FTree.BeginUpdate(); }
    ~TTreeBatch() { FTree.EndUpdate(); }
    TTreeBatch(const TTreeBatch&) = delete;
    TTreeBatch& operator=(const TTreeBatch&) = delete;

private:
    TLinkTree& FTree;
};

} // namespace elo
