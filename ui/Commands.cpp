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

// ---- TInsertCommand ----------------------------------------------------------------

TInsertCommand::TInsertCommand(TLinkTree& tree, TTreeNode* node, std::function<void()> changed)
    : TTreeCommand(tree, QStringLiteral("Novo"), std::move(changed)), FNode(node), FParent(node->Parent()),
      FIndex(node->Index()) {}

void TInsertCommand::undo() {
    FTaken = FTree.Detach(FNode);
    Changed();
}

void TInsertCommand::redo() {
    if (FDone) {
        FDone = false;
        Changed();
        return;
    }
    TTreeNode* before = nullptr;
    const int count = FParent ? FParent->Count() : FTree.RootCount();
    if (FIndex < count) before = FParent ? FParent->Item(FIndex) : FTree.Root(FIndex);
    FTree.Attach(std::move(FTaken), FParent, before);
    Changed();
}

// ---- TDeleteCommand ----------------------------------------------------------------

TDeleteCommand::TDeleteCommand(TLinkTree& tree, TTreeNode* node, std::function<void()> changed)
    : TTreeCommand(tree, QStringLiteral("Excluir"), std::move(changed)), FNode(node), FParent(node->Parent()),
      FIndex(node->Index()) {}

void TDeleteCommand::redo() {
    FTaken = FTree.Detach(FNode);
    Changed();
}

void TDeleteCommand::undo() {
    TTreeNode* before = nullptr;
    const int count = FParent ? FParent->Count() : FTree.RootCount();
    if (FIndex < count) before = FParent ? FParent->Item(FIndex) : FTree.Root(FIndex);
    FTree.Attach(std::move(FTaken), FParent, before);
    Changed();
}

// ---- TMoveCommand ------------------------------------------------------------------

TMoveCommand::TMoveCommand(TLinkTree& tree, TTreeNode* node, TTreeNode* parent, TTreeNode* before,
                           std::function<void()> changed)
    : TTreeCommand(tree, QStringLiteral("Mover"), std::move(changed)), FNode(node), FOldParent(node->Parent()),
      FOldIndex(node->Index()), FNewParent(parent), FBefore(before) {}

void TMoveCommand::redo() {
    if (FNewIndex < 0) {
        // The first time, as the drop asked; later by position.
        FMoves =
            FTree.Move(FNode, FNewParent, FBefore) && (FNode->Parent() != FOldParent || FNode->Index() != FOldIndex);
        FNewIndex = FNode->Index();
        setObsolete(!FMoves); // a drop that moved nothing is no step
    } else {
        MoveNodeTo(FTree, FNode, FNewParent, FNewIndex);
    }
    Changed();
}

void TMoveCommand::undo() {
    MoveNodeTo(FTree, FNode, FOldParent, FOldIndex);
    Changed();
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
    if (FNode->Text() != text) FTree.SetText(FNode, text);
    if (link && FNode->Data() && FNode->Data()->Link != *link) FTree.SetLink(FNode, *link);
}

void TChangeCommand::redo() {
    Apply(FNewText, FNewLink);
    Changed();
}

void TChangeCommand::undo() {
    Apply(FOldText, FOldLink);
    Changed();
}

} // namespace elo
