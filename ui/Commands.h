// The document's changes as undo steps: a node made, renamed, deleted with its
// subtree, moved, and a link string changed. Each step keeps what it needs to
// go both ways (a deleted subtree stays alive in its step); identifiers once
// drawn stay drawn.
#pragma once

#include <QUndoCommand>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "links/LinkTree.h"

namespace elo {

// Puts node (in the tree or not) under parent at index, counted among the
// other children.
void MoveNodeTo(TLinkTree& tree, TTreeNode* node, TTreeNode* parent, int index);

class TTreeCommand : public QUndoCommand {
public:
    // changed runs after every undo and redo (the window shows the result).
    TTreeCommand(TLinkTree& tree, const QString& text, std::function<void()> changed)
        : QUndoCommand(text), FTree(tree), FChanged(std::move(changed)) {}

    void undo() final;
    void redo() final;

    // A change the window made by itself after this step (an identifier drawn,
    // a caption written back) belongs to the state this step leads to: undoing
    // the step takes it back too, redoing makes it again.
    void AddFollowUp(TTreeNode* node, std::string oldText, std::string newText, std::optional<std::string> oldLink,
                     std::optional<std::string> newLink);

protected:
    virtual void DoUndo() = 0;
    virtual void DoRedo() = 0;
    TLinkTree& FTree;

private:
    struct TFollowUp {
        TTreeNode* Node;
        std::string OldText, NewText;
        std::optional<std::string> OldLink, NewLink;
    };
    std::function<void()> FChanged;
    std::vector<TFollowUp> FFollowUps;
    bool FFirst = true;
};

// A step that takes a node with everything below it out of the tree and
// puts it back at its place.
class TSubtreeCommand : public TTreeCommand {
protected:
    TSubtreeCommand(TLinkTree& tree, TTreeNode* node, const QString& text, std::function<void()> changed);
    void Take();
    void PutBack();

private:
    TTreeNode* FNode;
    TTreeNode* FParent;
    int FIndex;
    TSubtree FTaken;
};

// A node that was just added (with its data).
class TInsertCommand : public TSubtreeCommand {
public:
    TInsertCommand(TLinkTree& tree, TTreeNode* node, std::function<void()> changed);
    void DoUndo() override { Take(); }
    void DoRedo() override;

private:
    bool FDone = true; // the first redo finds it done already
};

// A node deleted with everything below it.
class TDeleteCommand : public TSubtreeCommand {
public:
    TDeleteCommand(TLinkTree& tree, TTreeNode* node, std::function<void()> changed);
    void DoUndo() override { PutBack(); }
    void DoRedo() override { Take(); }
};

// A node moved with everything below it.
class TMoveCommand : public TTreeCommand {
public:
    TMoveCommand(TLinkTree& tree, TTreeNode* node, TTreeNode* parent, TTreeNode* before, std::function<void()> changed);
    void DoUndo() override;
    void DoRedo() override;
    bool Moves() const { return FMoves; }

private:
    TTreeNode* FNode;
    TTreeNode* FOldParent;
    int FOldIndex;
    TTreeNode* FNewParent;
    TTreeNode* FBefore;
    int FNewIndex = -1;
    bool FMoves = false;
};

// A node's text and link string changed (a rename, a committed link).
class TChangeCommand : public TTreeCommand {
public:
    TChangeCommand(TLinkTree& tree, TTreeNode* node, std::string text, std::optional<std::string> link,
                   const QString& name, std::function<void()> changed);
    void DoUndo() override;
    void DoRedo() override;

private:
    void Apply(const std::string& text, const std::optional<std::string>& link);
    TTreeNode* FNode;
    std::string FOldText, FNewText;
    std::optional<std::string> FOldLink, FNewLink;
};

} // namespace elo
