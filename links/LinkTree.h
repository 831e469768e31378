// The document tree: an ordered tree of folders and link items. A plain C++
// model; a view (the editor's tree view) sits on it through the observer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace elo {

// The data of one link item: its link string.
struct TLinkData {
    std::string Link;
};

class TLinkTree;

class TTreeNode {
public:
    explicit TTreeNode(std::string text) : FText(std::move(text)) {}
    ~TTreeNode(); // dismantles the subtree without recursion
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    const std::string& Text() const { return FText; }
    int ImageIndex() const { return FImageIndex; }
    int SelectedIndex() const { return FSelectedIndex; }
    // Null for a root node.
    TTreeNode* Parent() const { return FParent && FParent->FParent ? FParent : nullptr; }
    int Count() const { return static_cast<int>(FChildren.size()); }
    bool HasChildren() const { return !FChildren.empty(); }
    TTreeNode* Item(int index) const;
    // The attached link data, owned by the node; null for a folder. Changes go
    // through the tree (SetData, SetLink), which tells its observers.
    const TLinkData* Data() const { return FData ? &*FData : nullptr; }
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
    std::string FText;
    // Root nodes hang below the tree's hidden top node, the only node without
    // a parent; Parent() hides it.
    TTreeNode* FParent = nullptr;
    std::vector<std::unique_ptr<TTreeNode>> FChildren;
    // Held in the node itself: a million items cost a million fewer allocations.
    std::optional<TLinkData> FData;
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

class TLinkTree {
public:
    TLinkTree() = default;
    ~TLinkTree();
    TLinkTree(const TLinkTree&) = delete;
    TLinkTree& operator=(const TLinkTree&) = delete;

    int RootCount() const { return FTop.Count(); }
    TTreeNode* Root(int index) const { return FTop.Item(index); }
    TTreeNode* First() const { return FTop.HasChildren() ? FTop.Item(0) : nullptr; }
    // Every node in tree order.
    template <typename F> void ForEach(F&& f) const {
        for (TTreeNode* n = First(); n; n = n->GetNext()) f(n);
    }
    size_t NodeCount() const;

    void Clear();
    // Appends a child to parent's children (a root node when parent is null).
    TTreeNode* AddChild(TTreeNode* parent, std::string text);
    // Inserts a node directly before sibling, at its level.
    TTreeNode* InsertBefore(TTreeNode* sibling, std::string text);
    // Moves node with its subtree under parent (null: the root level), before
    // the child before (null: at the end). A move into the node's own subtree,
    // or onto itself, changes nothing and returns false.
    bool Move(TTreeNode* node, TTreeNode* parent, TTreeNode* before);
    // Deletes node with its subtree, destroying their data.
    void Delete(TTreeNode* node);
    // Takes node with its subtree out of the tree without destroying it.
    std::unique_ptr<TTreeNode> Detach(TTreeNode* node);

    void SetText(TTreeNode* node, std::string text);
    void SetImages(TTreeNode* node, int imageIndex, int selectedIndex);
    // Attaches data (a link item) or, with nullopt, removes it (a folder).
    void SetData(TTreeNode* node, std::optional<TLinkData> data);
    // Replaces the link string of a link item (a folder stays a folder).
    void SetLink(TTreeNode* node, std::string link);

    // The batch bracket; nests.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

    void AddObserver(ITreeObserver* observer);
    void RemoveObserver(ITreeObserver* observer);

private:
    TTreeNode* Inner(TTreeNode* parent) { return parent ? parent : &FTop; }
    template <typename F> void Notify(F&& f) {
        if (FUpdateCount == 0)
            for (ITreeObserver* o : FObservers) f(*o);
    }

    TTreeNode FTop{std::string()};
    std::vector<ITreeObserver*> FObservers;
    int FUpdateCount = 0;
};

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
