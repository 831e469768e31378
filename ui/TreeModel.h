// The one adapter between the document tree and Qt's tree view. It observes
// the tree and tells the view of every change as it happens; a batch is one
// model reset. internalPointer is the node; no node data is copied, so a
// million-line file stays as light as the document itself.
#pragma once

#include <QAbstractItemModel>

#include "links/LinkTree.h"

namespace elo {

class TLinkTreeModel : public QAbstractItemModel, public ITreeObserver {
    Q_OBJECT
public:
    explicit TLinkTreeModel(TLinkTree& tree, QObject* parent = nullptr);
    ~TLinkTreeModel() override; // stops observing: destroy the model before the tree

    TTreeNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TTreeNode* node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // ITreeObserver
    void BeginBatch() override;
    void EndBatch() override;
    void NodeAboutToBeInserted(TTreeNode* parent, int index) override;
    void NodeInserted(TTreeNode* node) override;
    void NodeAboutToBeRemoved(TTreeNode* node) override;
    void NodeRemoved(TTreeNode* parent, int index) override;
    void NodeAboutToBeMoved(TTreeNode* node, TTreeNode* newParent, int newIndex) override;
    void NodeMoved(TTreeNode* node) override;
    void NodeChanged(TTreeNode* node) override;

private:
    TLinkTree& FTree;
    bool FMoveAsReset = false; // a move the view could not take as a move
};

} // namespace elo
