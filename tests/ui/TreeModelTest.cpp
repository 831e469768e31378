// The tree view's model adapter under Qt's own model checker, through random
// inserts, moves, deletes, renames and batches of the document tree.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QTreeView>

#include <random>
#include <string>
#include <vector>

#include "links/LinksFile.h"
#include "ui/TreeModel.h"

using namespace elo;

namespace {

// Qt's checker reports through warnings: each one fails the test.
std::vector<std::string>* gWarnings = nullptr;
void Collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (gWarnings && type != QtDebugMsg && type != QtInfoMsg) gWarnings->push_back(message.toStdString());
}

std::vector<TTreeNode*> AllNodes(const TLinkTree& tree) {
    std::vector<TTreeNode*> nodes;
    tree.ForEach([&](const TTreeNode* n) { nodes.push_back(const_cast<TTreeNode*>(n)); });
    return nodes;
}

// The model's view of a node's subtree must be the tree itself.
void ExpectSameShape(const TLinkTreeModel& model, const TLinkTree& tree) {
    std::vector<const TTreeNode*> seen;
    std::vector<QModelIndex> pending{QModelIndex()};
    while (!pending.empty()) {
        const QModelIndex at = pending.back();
        pending.pop_back();
        const TTreeNode* node = model.NodeOf(at);
        ASSERT_EQ(model.rowCount(at), node ? node->Count() : tree.RootCount());
        for (int r = model.rowCount(at) - 1; r >= 0; --r) {
            const QModelIndex child = model.index(r, 0, at);
            ASSERT_EQ(model.NodeOf(child), node ? node->Item(r) : tree.Root(r));
            ASSERT_EQ(model.parent(child), at);
            pending.push_back(child);
        }
        if (node) seen.push_back(node);
    }
    EXPECT_EQ(seen.size(), tree.NodeCount());
}

} // namespace

TEST(TreeModel, RandomChangesKeepTheViewsModelConsistent) {
    std::vector<std::string> warnings;
    gWarnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    TLinksDocument doc;
    doc.LoadLinksText(
        "_currentid=9\r\nA\\B=link={b};_id=\"1\"\r\nA\\C\\D=link={d};_id=\"2\"\r\nE=link={e};_id=\"3\"\r\n");
    TLinkTreeModel model(doc.Tree);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QTreeView view; // a view that follows every change, expanded
    view.setModel(&model);
    view.expandAll();
    std::mt19937 rng(7);
    for (int step = 0; step < 1500; ++step) {
        std::vector<TTreeNode*> nodes = AllNodes(doc.Tree);
        auto any = [&]() -> TTreeNode* { return nodes.empty() ? nullptr : nodes[rng() % nodes.size()]; };
        switch (rng() % 8) {
        case 0:
        case 1:
            doc.Tree.AddChild(rng() % 4 ? any() : nullptr, "n" + std::to_string(step));
            break;
        case 2:
            if (TTreeNode* n = any()) doc.Tree.InsertBefore(n, "i" + std::to_string(step));
            break;
        case 3:
            if (TTreeNode* n = any(); n && nodes.size() > 3) doc.Tree.Delete(n);
            break;
        case 4:
        case 5: {
            TTreeNode* n = any();
            TTreeNode* parent = rng() % 3 ? any() : nullptr;
            TTreeNode* before = nullptr;
            const int count = parent ? parent->Count() : doc.Tree.RootCount();
            if (count > 0 && rng() % 2) before = parent ? parent->Item(rng() % count) : doc.Tree.Root(rng() % count);
            if (n) doc.Tree.Move(n, parent, before);
            break;
        }
        case 6:
            if (TTreeNode* n = any()) doc.Tree.SetText(n, "t" + std::to_string(step));
            break;
        case 7:
            if (rng() % 20 == 0) {
                TTreeBatch batch(doc.Tree);
                for (int k = 0; k < 5; ++k) doc.Tree.AddChild(nullptr, "b");
            } else if (rng() % 40 == 0) {
                doc.LoadLinksText("_currentid=1\r\nX\\Y=link={y};_id=\"0\"\r\n");
            }
            break;
        }
        if (step % 50 == 0) view.expandAll();
        if (step % 100 == 0) ExpectSameShape(model, doc.Tree);
        ASSERT_TRUE(warnings.empty()) << warnings.front();
    }
    ExpectSameShape(model, doc.Tree);
    qInstallMessageHandler(previous);
    gWarnings = nullptr;
}
