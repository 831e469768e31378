#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "links/LinkTree.h"
#include "links/LinksFile.h"

using namespace elo;

namespace {

std::string Shape(const TLinkTree& tree) {
    std::string s;
    tree.ForEach([&](const TTreeNode* n) { s += std::to_string(n->Level()) + std::string(n->Text()) + " "; });
    return s;
}

struct Recorder : ITreeObserver {
    std::vector<std::string> events;
    void BeginBatch() override { events.push_back("begin"); }
    void EndBatch() override { events.push_back("end"); }
    void NodeAboutToBeInserted(TTreeNode* p, int i) override {
        events.push_back("insert " + (p ? std::string(p->Text()) : std::string("-")) + " " + std::to_string(i));
    }
    void NodeAboutToBeRemoved(TTreeNode* n) override { events.push_back("remove " + std::string(n->Text())); }
    void NodeAboutToBeMoved(TTreeNode* n, TTreeNode* p, int i) override {
        events.push_back("move " + std::string(n->Text()) + " " + (p ? std::string(p->Text()) : std::string("-")) +
                         " " + std::to_string(i));
    }
    void NodeChanged(TTreeNode* n) override { events.push_back("change " + std::string(n->Text())); }
};

} // namespace

TEST(LinkTree, BuildsInTreeOrderWithLevelsAndIndexes) {
    TLinkTree tree;
    TTreeNode* a = tree.AddChild(nullptr, "A");
    TTreeNode* b = tree.AddChild(a, "B");
    tree.AddChild(b, "C");
    tree.AddChild(a, "D");
    TTreeNode* e = tree.AddChild(nullptr, "E");
    tree.InsertBefore(e, "E0");
    tree.InsertBefore(b, "B0");
    EXPECT_EQ(Shape(tree), "0A 1B0 1B 2C 1D 0E0 0E ");
    EXPECT_EQ(b->Index(), 1);
    EXPECT_EQ(e->Index(), 2);
    EXPECT_EQ(b->Parent(), a);
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(tree.NodeCount(), 7u);
    EXPECT_TRUE(a->Contains(b->Item(0)));
    EXPECT_FALSE(b->Contains(a));
    EXPECT_THROW(a->Item(5), std::exception);
}

TEST(LinkTree, MovesSubtreesButNeverIntoThemselves) {
    TLinkTree tree;
    TTreeNode* a = tree.AddChild(nullptr, "A");
    TTreeNode* b = tree.AddChild(a, "B");
    TTreeNode* c = tree.AddChild(b, "C");
    TTreeNode* d = tree.AddChild(nullptr, "D");
    EXPECT_TRUE(tree.Move(b, nullptr, a)); // before A, at the root level
    EXPECT_EQ(Shape(tree), "0B 1C 0A 0D ");
    EXPECT_TRUE(tree.Move(a, nullptr, nullptr)); // to the end
    EXPECT_EQ(Shape(tree), "0B 1C 0D 0A ");
    EXPECT_FALSE(tree.Move(b, c, nullptr)); // into its own subtree
    EXPECT_FALSE(tree.Move(b, nullptr, b));
    EXPECT_TRUE(tree.Move(d, b, c));
    EXPECT_EQ(Shape(tree), "0B 1D 1C 0A ");
    EXPECT_EQ(c->Index(), 1);
}

TEST(LinkTree, DeletingDestroysTheSubtreeAndItsData) {
    TLinkTree tree;
    TTreeNode* a = tree.AddChild(nullptr, "A");
    TTreeNode* b = tree.AddChild(a, "B");
    tree.SetData(b, TLinkData{"link={x}"});
    tree.AddChild(nullptr, "Z");
    tree.Delete(a);
    EXPECT_EQ(Shape(tree), "0Z ");
}

TEST(LinkTree, ObserversSeeChangesButOnlyTheBracketOfABatch) {
    TLinkTree tree;
    Recorder r;
    tree.AddObserver(&r);
    TTreeNode* a = tree.AddChild(nullptr, "A");
    tree.SetText(a, "A2");
    TTreeNode* b = tree.AddChild(a, "B");
    tree.Move(b, nullptr, nullptr);
    tree.Delete(b);
    {
        TTreeBatch batch(tree);
        TTreeBatch nested(tree);
        tree.AddChild(nullptr, "quiet");
    }
    try {
        TTreeBatch batch(tree);
        throw 1;
    } catch (int) {
    }
    tree.RemoveObserver(&r);
    tree.AddChild(nullptr, "unseen");
    EXPECT_EQ(r.events, (std::vector<std::string>{"insert - 0", "change A2", "insert A2 0", "move B - 1", "remove B",
                                                  "begin", "end", "begin", "end"}));
}

TEST(LinkTree, DeepTreesAreWalkedAndDestroyedWithoutRecursion) {
    TLinkTree tree;
    TTreeNode* n = nullptr;
    for (int i = 0; i < 300000; ++i) n = tree.AddChild(n, "x");
    EXPECT_EQ(n->Level(), 299999);
    EXPECT_EQ(tree.NodeCount(), 300000u);
    tree.Clear();
    EXPECT_EQ(tree.RootCount(), 0);
}

TEST(LinkTree, IndexFollowsInsertionsBeforeANode) {
    TLinkTree tree;
    TTreeNode* p = tree.AddChild(nullptr, "P");
    std::vector<TTreeNode*> kids;
    for (int i = 0; i < 50; ++i) kids.push_back(tree.AddChild(p, std::to_string(i)));
    EXPECT_EQ(kids[40]->Index(), 40);
    tree.InsertBefore(kids[0], "first");
    tree.InsertBefore(kids[0], "second");
    tree.Delete(kids[10]);
    EXPECT_EQ(kids[40]->Index(), 41);
    EXPECT_EQ(kids[40]->NextSibling(), kids[41]);
    EXPECT_EQ(kids[49]->NextSibling(), nullptr);
}

TEST(LinkTree, LinksChangeOnlyThroughTheTreeWhichTellsItsObservers) {
    // A const node hands out read-only data: no caller can change a link
    // behind the observers' back.
    static_assert(std::is_const_v<std::remove_pointer_t<decltype(std::declval<const TTreeNode&>().Data())>>);
    TLinkTree tree;
    TTreeNode* item = tree.AddChild(nullptr, "I");
    TTreeNode* folder = tree.AddChild(nullptr, "F");
    tree.SetData(item, TLinkData{"old"});
    Recorder r;
    tree.AddObserver(&r);
    tree.SetLink(item, "new");
    tree.SetLink(folder, "ignored"); // a folder stays a folder
    EXPECT_EQ(item->Data()->Link, "new");
    EXPECT_EQ(folder->Data(), nullptr);
    EXPECT_EQ(r.events, (std::vector<std::string>{"change I"}));
    tree.RemoveObserver(&r);
}

TEST(LinkTreeStorage, EditsOfATreeReadFromAFileOwnTheirTexts) {
    TLinksDocument doc;
    doc.LoadLinksText(
        "_currentid=3\r\nA\\B=link={x};_id=\"1\"\r\nA\\C=link={y};_id=\"2\"\r\nD\\E=link={z};_id=\"0\"\r\n");
    TTreeNode* a = doc.Tree.Root(0);
    TTreeNode* b = a->Item(0);
    TTreeNode* d = doc.Tree.Root(1);
    // Texts refer into the file's bytes until they change.
    EXPECT_FALSE(b->Data()->Link.Owned());
    doc.Tree.SetText(b, std::string(b->Text()) + "2");
    doc.Tree.SetLink(b, std::string(b->Data()->Link) + ";x=\"1\"");
    EXPECT_TRUE(b->Data()->Link.Owned());
    // Lists laid out by the reader grow, shrink and take moved nodes.
    TTreeNode* f = doc.Tree.AddChild(d, "F");
    doc.Tree.SetData(f, TLinkData("link={f}"));
    EXPECT_TRUE(doc.Tree.Move(b, d, nullptr));
    EXPECT_TRUE(doc.Tree.Move(d->Item(0), nullptr, a)); // E before A
    doc.Tree.Delete(a->Item(0));                        // C
    TTreeNode* g = doc.Tree.InsertBefore(f, "G");
    EXPECT_EQ(Shape(doc.Tree), "0E 0A 0D 1G 1F 1B2 ");
    EXPECT_EQ(doc.LinksText(),
              "_currentid=3\r\nE=link={z};_id=\"0\"\r\nD\\F=link={f}\r\nD\\B2=link={x};_id=\"1\";x=\"1\"\r\n");
    EXPECT_EQ(g->Index(), 0);
    EXPECT_EQ(f->Index(), 1);
    EXPECT_EQ(b->Parent(), d);
}

TEST(LinkTreeStorage, DetachedSubtreesComeBackWholeAndTheirNodesAreReused) {
    TLinkTree tree;
    TTreeNode* top = tree.AddChild(nullptr, "top");
    TTreeNode* folder = tree.AddChild(top, "folder");
    for (int i = 0; i < 1000; ++i)
        tree.SetData(tree.AddChild(folder, "item" + std::to_string(i)), TLinkData("L" + std::to_string(i)));
    const std::string before = Shape(tree);
    const size_t live = tree.LiveNodes();
    TSubtree taken = tree.Detach(folder);
    EXPECT_EQ(tree.NodeCount(), 1u);
    EXPECT_EQ(tree.LiveNodes(), live); // kept for a way back
    EXPECT_EQ(tree.Attach(std::move(taken), top, nullptr), folder);
    EXPECT_EQ(Shape(tree), before);
    EXPECT_EQ(folder->Item(999)->Data()->Link, "L999");
    // Deleting and adding again, many times over, reuses the same nodes.
    for (int round = 0; round < 20; ++round) {
        tree.Delete(folder);
        folder = tree.AddChild(top, "folder");
        for (int i = 0; i < 1000; ++i) tree.AddChild(folder, "again");
    }
    EXPECT_EQ(tree.LiveNodes(), live);
    // A subtree still detached when the tree is emptied is simply gone.
    TSubtree orphan = tree.Detach(folder);
    tree.Clear();
    EXPECT_EQ(tree.LiveNodes(), 0u);
}

TEST(LinkTreeStorage, ALoadReplacesAnEditedDocument) {
    TLinksDocument doc;
    doc.LoadLinksText("_currentid=1\r\nA\\B=link={x};_id=\"0\"\r\n");
    doc.Tree.SetText(doc.Tree.Root(0), "Edited");
    doc.Tree.AddChild(nullptr, "extra");
    doc.LoadLinksText("_currentid=9\r\nP\\Q=link={q};_id=\"8\"\r\n");
    EXPECT_EQ(Shape(doc.Tree), "0P 1Q ");
    EXPECT_EQ(doc.Tree.LiveNodes(), 2u);
    EXPECT_EQ(doc.Tree.Root(0)->Item(0)->Data()->Link, "link={q};_id=\"8\"");
}
