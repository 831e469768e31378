#include "Commands.h"

namespace elo {

void MoveNodeTo(TLinkTree& tree, TTreeNode* node, TTreeNode* parent, int index) {
    // The child that is to follow the node, not counting the node itself.
    TTreeNode* before = nullptr;
    const int count = parent ? parent->Count() : tree.RootCount();
    int seen = 0;
    for (int i = 0; i < count; ++i) {
        TTreeNode* child = parent ? parent->Item(i) : tree.Root(i);
        if (child == node) continue;
        if (seen++ == index) {
            before = child;
            break;
        }
    }
    tree.Move(node, parent, before);
}

// ---- TTreeCommand ------------------------------------------------------------------

namespace {

void ApplyTexts(TLinkTree& tree, TTreeNode* node, const std::string& text, const std::optional<std::string>& link) {
    if (node->Text() != text) tree.SetText(node, text);
    if (link && node->Data() && node->Data()->Link != *link) tree.SetLink(node, *link);
}

} // namespace

void TTreeCommand::AddFollowUp(TTreeNode* node, std::string oldText, std::string newText,
                               std::optional<std::string> oldLink, std::optional<std::string> newLink) {
    FFollowUps.push_back({node, std::move(oldText), std::move(newText), std::move(oldLink), std::move(newLink)});
}

void TTreeCommand::undo() {
    for (auto it = FFollowUps.rbegin(); it != FFollowUps.rend(); ++it)
        ApplyTexts(FTree, it->Node, it->OldText, it->OldLink);
    DoUndo();
    if (FChanged) FChanged();
}

void TTreeCommand::redo() {
    DoRedo();
    if (FFirst) {
        // The first redo only makes the change its caller has shown already.
        FFirst = false;
        return;
    }
    for (const TFollowUp& f : FFollowUps) ApplyTexts(FTree, f.Node, f.NewText, f.NewLink);
    if (FChanged) FChanged();
}

// ---- TSubtreeCommand ---------------------------------------------------------------

TSubtreeCommand::TSubtreeCommand(TLinkTree& tree, TTreeNode* node, const QString& text, std::function<void()> changed)
    : TTreeCommand(tree, text, std::move(changed)), FNode(node), FParent(node->Parent()), FIndex(node->Index()) {}

void TSubtreeCommand::Take() {
    FTaken = FTree.Detach(FNode);
}

void TSubtreeCommand::PutBack() {
    TTreeNode* before = nullptr;
    const int count = FParent ? FParent->Count() : FTree.RootCount();
    if (FIndex < count) before = FParent ? FParent->Item(FIndex) : FTree.Root(FIndex);
    FTree.Attach(std::move(FTaken), FParent, before);
}

// ---- TInsertCommand / TDeleteCommand ----------------------------------------------------

TInsertCommand::TInsertCommand(TLinkTree& tree, TTreeNode* node, std::function<void()> changed)
    : TSubtreeCommand(tree, node, QStringLiteral("Novo"), std::move(changed)) {}

void TInsertCommand::DoRedo() {
    if (FDone) {
        FDone = false;
        return;
    }
    PutBack();
}

TDeleteCommand::TDeleteCommand(TLinkTree& tree, TTreeNode* node, std::function<void()> changed)
    : TSubtreeCommand(tree, node, QStringLiteral("Excluir"), std::move(changed)) {}

// ---- TMoveCommand ------------------------------------------------------------------

TMoveCommand::TMoveCommand(TLinkTree& tree, TTreeNode* node, TTreeNode* parent, TTreeNode* before,
                           std::function<void()> changed)
    : TTreeCommand(tree, QStringLiteral("Mover"), std::move(changed)), FNode(node), FOldParent(node->Parent()),
      FOldIndex(node->Index()), FNewParent(parent), FBefore(before) {}

void TMoveCommand::DoRedo() {
    if (FNewIndex < 0) {
        // The first time, as the drop asked; later by position.
        FMoves =
            FTree.Move(FNode, FNewParent, FBefore) && (FNode->Parent() != FOldParent || FNode->Index() != FOldIndex);
        FNewIndex = FNode->Index();
        setObsolete(!FMoves); // a drop that moved nothing is no step
    } else {
        MoveNodeTo(FTree, FNode, FNewParent, FNewIndex);
    }
}

void TMoveCommand::DoUndo() {
    MoveNodeTo(FTree, FNode, FOldParent, FOldIndex);
}

// ---- TChangeCommand ----------------------------------------------------------------

TChangeCommand::TChangeCommand(TLinkTree& tree, TTreeNode* node, std::string text, std::optional<std::string> link,
                               const QString& name, std::function<void()> changed)
    : TTreeCommand(tree, name, std::move(changed)), FNode(node), FOldText(node->Text()), FNewText(std::move(text)),
      FNewLink(std::move(link)) {
    if (const TLinkData* data = node->Data()) FOldLink = std::string(data->Link);
    if (!FNewLink) FNewLink = FOldLink;
}

void TChangeCommand::Apply(const std::string& text, const std::optional<std::string>& link) {
    ApplyTexts(FTree, FNode, text, link);
}

void TChangeCommand::DoRedo() {
    Apply(FNewText, FNewLink);
}

void TChangeCommand::DoUndo() {
    Apply(FOldText, FOldLink);
}

} // namespace elo
