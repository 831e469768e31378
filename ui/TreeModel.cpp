#include "TreeModel.h"

#include "Images.h"
#include "qtedge/QtText.h"

namespace elo {

TLinkTreeModel::TLinkTreeModel(TLinkTree& tree, QObject* parent) : QAbstractItemModel(parent), FTree(tree) {
    FTree.AddObserver(this);
}

TLinkTreeModel::~TLinkTreeModel() {
    FTree.RemoveObserver(this);
}

TTreeNode* TLinkTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TTreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TLinkTreeModel::IndexOf(const TTreeNode* node) const {
    if (!node) return {};
    return createIndex(node->Index(), 0, const_cast<TTreeNode*>(node));
}

QModelIndex TLinkTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const TTreeNode* p = NodeOf(parent);
    if (row >= (p ? p->Count() : FTree.RootCount())) return {};
    return createIndex(row, 0, p ? p->Item(row) : FTree.Root(row));
}

QModelIndex TLinkTreeModel::parent(const QModelIndex& child) const {
    const TTreeNode* node = NodeOf(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TLinkTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    const TTreeNode* p = NodeOf(parent);
    return p ? p->Count() : FTree.RootCount();
}

int TLinkTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TLinkTreeModel::hasChildren(const QModelIndex& parent) const {
    const TTreeNode* p = NodeOf(parent);
    return p ? p->HasChildren() : FTree.RootCount() > 0;
}

QVariant TLinkTreeModel::data(const QModelIndex& index, int role) const {
    const TTreeNode* node = NodeOf(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return ToQString(node->Text());
    case Qt::DecorationRole:
        return MainImage(node->ImageIndex());
    default:
        return {};
    }
}

Qt::ItemFlags TLinkTreeModel::flags(const QModelIndex& index) const {
    // Nodes are moved by the window's own drag rules, not by Qt's item drags.
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

void TLinkTreeModel::BeginBatch() {
    beginResetModel();
}

void TLinkTreeModel::EndBatch() {
    endResetModel();
}

void TLinkTreeModel::NodeAboutToBeInserted(TTreeNode* parent, int index) {
    beginInsertRows(IndexOf(parent), index, index);
}

void TLinkTreeModel::NodeInserted(TTreeNode*) {
    endInsertRows();
}

void TLinkTreeModel::NodeAboutToBeRemoved(TTreeNode* node) {
    const int row = node->Index();
    beginRemoveRows(IndexOf(node->Parent()), row, row);
}

void TLinkTreeModel::NodeRemoved(TTreeNode*, int) {
    endRemoveRows();
}

void TLinkTreeModel::NodeAboutToBeMoved(TTreeNode* node, TTreeNode* newParent, int newIndex) {
    const int row = node->Index();
    FMoveAsReset = !beginMoveRows(IndexOf(node->Parent()), row, row, IndexOf(newParent), newIndex);
    if (FMoveAsReset) beginResetModel();
}

void TLinkTreeModel::NodeMoved(TTreeNode*) {
    if (FMoveAsReset)
        endResetModel();
    else
        endMoveRows();
    FMoveAsReset = false;
}

void TLinkTreeModel::NodeChanged(TTreeNode* node) {
    const QModelIndex i = IndexOf(node);
    emit dataChanged(i, i);
}

} // namespace elo
