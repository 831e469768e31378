// The main window driven as a person drives it: files opened and saved,
// links shown and left, the tree edited, nodes dropped.
#include <gtest/gtest.h>

#include <set>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <memory>

#include "UiFixture.h"
#include "cmdlang/LnkUtils.h"
#include "qtedge/QtText.h"
#include "support/TestFiles.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"
#include "ui/TreeModel.h"

using namespace elo;
using namespace elo::test;

namespace {

const char* const kFile = "_currentid=10\r\n"
                          "A\\B=link={T&p=\"1\"};_id=\"5\";Caption=\"B\"\r\n"
                          "A\\C=link={U};_id=\"6\";Caption=\"C\"\r\n"
                          "A\\F\\G=link={V};_id=\"7\";Caption=\"G\"\r\n"
                          "A\\F\\G\\H=link={W};_id=\"8\";Caption=\"H\"\r\n"
                          "D=link={X};_id=\"9\";Caption=\"D\"\r\n";

struct Window {
    Window() : scratch("elo-main") {
        main = std::make_unique<TfrmMain>();
        main->show();
        QApplication::processEvents();
    }
    ~Window() {
        // Nothing asks on the way out of a test.
        main->UndoStack().setClean();
        main.reset();
    }
    std::string Open(const std::string& text = kFile) {
        const std::string path = scratch.Write("menu.lnk", text);
        main->OpenFileNamed(path);
        Child<TLinkTreeView>(main, "TreeView1")->expandAll();
        QApplication::processEvents();
        return path;
    }
    TTreeNode* Node(const std::string& path) const {
        TTreeNode* found = nullptr;
        main->Document().Tree.ForEach([&](const TTreeNode* n) {
            if (TLinksDocument::NodePath(n) == path) found = const_cast<TTreeNode*>(n);
        });
        return found;
    }
    QRect RowOf(TTreeNode* node) const {
        return Child<TLinkTreeView>(main, "TreeView1")->visualRect(main->Model()->IndexOf(node));
    }
    void Click(TTreeNode* node) {
        QTest::mouseClick(Child<TLinkTreeView>(main, "TreeView1")->viewport(), Qt::LeftButton, Qt::NoModifier,
                          RowOf(node).center());
        QApplication::processEvents();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target =
            QApplication::focusWidget() ? QApplication::focusWidget() : Child<TLinkTreeView>(main, "TreeView1");
        QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
        QApplication::processEvents();
    }
    std::string Shape() const {
        std::string s;
        main->Document().Tree.ForEach(
            [&](const TTreeNode* n) { s += std::to_string(n->Level()) + std::string(n->Text()) + " "; });
        return s;
    }
    TTestDir scratch;
    std::unique_ptr<TfrmMain> main;
};

} // namespace

TEST(MainWindow, OpenEditLeaveSaveAndReadBack) {
    Window w;
    const std::string path = w.Open();
    EXPECT_EQ(w.main->windowTitle(), QString::fromUtf8("Editor de links \u2014 menu.lnk[*]"));
    EXPECT_FALSE(w.main->isWindowModified());
    EXPECT_FALSE(Ed(w.main)->isVisible());
    w.Click(w.Node("A\\B"));
    ASSERT_TRUE(Ed(w.main)->isVisible());
    EXPECT_EQ(Child<QLineEdit>(Ed(w.main), "Edit2")->text(), "T");
    // Edit the parameter's content in the grid, as typed.
    TPalGrid* grid = Child<TPalGrid>(Ed(w.main), "StringGrid2");
    grid->setFocus();
    grid->FocusCell(2, 1);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "\"2\"");
    w.Click(w.Node("A\\C"));
    EXPECT_EQ(w.Node("A\\B")->Data()->Link, "link={T&p=\"2\"};_id=\"5\";Caption=\"B\"");
    EXPECT_TRUE(w.main->Modified());
    w.Key(Qt::Key_S, Qt::ControlModifier); // the Save button is hidden, its key is not
    EXPECT_FALSE(w.main->Modified());
    const std::string saved = ReadFile(path);
    EXPECT_NE(saved.find("A\\B=link={T&p=\"2\"};_id=\"5\";Caption=\"B\"\r\n"), std::string::npos);
    TLinksDocument back;
    back.LoadLinksFile(path);
    EXPECT_EQ(back.LinksText(), saved);
}

TEST(MainWindow, RenamingALinkWritesItsCaption) {
    Window w;
    w.Open();
    w.Click(w.Node("A\\C"));
    w.Key(Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(qobject_cast<QLineEdit*>(editor), nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "Novo nome");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Ed(w.main)->LinkCaption(), "Novo nome");
    w.Click(w.Node("D"));
    EXPECT_EQ(w.Node("A\\Novo nome")->Data()->Link, "link={U};_id=\"6\";Caption=\"Novo nome\"");
    // A name holding "\" or "=" would read back as another path: refused.
    EXPECT_THROW(w.main->TreeView1Edited(w.Node("D"), "x\\y"), ELinksFileError);
    EXPECT_NE(w.Node("D"), nullptr);
}

TEST(MainWindow, ABadNameIsRefusedWithItsReason) {
    Window w;
    w.Open();
    w.Click(w.Node("D"));
    ShownMessages shown;
    w.Key(Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "a=b");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_NE(shown.texts[0].find("n\xE3o pode conter"), std::string::npos);
    EXPECT_NE(w.Node("D"), nullptr); // the old text stays
}

TEST(MainWindow, NewItemsDrawTheirIdentifiers) {
    Window w;
    w.Open();
    w.Click(w.Node("D"));
    for (int i = 0; i < 10; ++i) {
        w.main->N2Click();                                            // "Ítem Raíz": before the selected node
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // the rename ends
    }
    EXPECT_EQ(w.main->Document().CurrentId, 20);
    // The new items are root items, each selected in turn; numbered, so that
    // no two share a path (reading would keep only the first).
    std::set<std::string> items;
    for (int r = 0; r < w.main->Document().Tree.RootCount(); ++r)
        if (std::string text(w.main->Document().Tree.Root(r)->Text()); text.starts_with("<novo \xEDtem>"))
            items.insert(text);
    EXPECT_EQ(items.size(), 10u);
    EXPECT_EQ(items.count("<novo \xEDtem>"), 1u);
    EXPECT_EQ(items.count("<novo \xEDtem> (2)"), 1u);
    // With nothing selected, "Pasta" makes a root folder; F2, Delete, Insert do nothing.
    w.main->SelectNode(nullptr);
    const size_t before = w.main->Document().Tree.NodeCount();
    Child<TLinkTreeView>(w.main, "TreeView1")->setFocus();
    w.Key(Qt::Key_Insert);
    w.Key(Qt::Key_Delete);
    EXPECT_EQ(w.main->Document().Tree.NodeCount(), before);
    w.main->Pasta1Click();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(w.main->Document().Tree.Root(w.main->Document().Tree.RootCount() - 1)->Text(), "<nova pasta>");
}

TEST(MainWindow, DeletingAFolderTakesEverythingBelowAndUndoBringsItBack) {
    Window w;
    w.Open();
    const std::string before = w.Shape();
    w.Click(w.Node("A\\F"));
    w.Key(Qt::Key_Delete);
    EXPECT_EQ(w.Node("A\\F\\G"), nullptr);
    EXPECT_EQ(w.Shape(), "0A 1B 1C 0D ");
    EXPECT_TRUE(w.main->Modified());
    w.Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.Shape(), before);
    EXPECT_FALSE(w.main->Modified()); // back to the state that was opened
    w.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(w.Shape(), "0A 1B 1C 0D ");
}

TEST(MainWindow, DropsFollowTheRowHalves) {
    Window w;
    w.Open("_currentid=1\r\nR\\a=link={a}\r\nR\\b=link={b}\r\nR\\c=link={c}\r\nR\\F\\G\\H=link={h}\r\nS=link={s}\r\n");
    auto drop = [&](TTreeNode* moving, TTreeNode* target, int dy) {
        w.main->SelectNode(moving);
        const QRect row = w.RowOf(target);
        w.main->TreeView1DragDrop(row.center().x(), row.top() + dy);
    };
    const QRect rowA = w.RowOf(w.Node("R\\a"));
    const int middle = rowA.height() / 2;
    drop(w.Node("R\\c"), w.Node("R\\a"), middle); // the exact middle: before
    EXPECT_EQ(w.Shape(), "0R 1c 1a 1b 1F 2G 3H 0S ");
    drop(w.Node("R\\c"), w.Node("R\\a"), middle + 1); // lower half: after
    EXPECT_EQ(w.Shape(), "0R 1a 1c 1b 1F 2G 3H 0S ");
    drop(w.Node("R\\a"), w.Node("S"), rowA.height() - 1); // lower half of the last sibling: at the end
    EXPECT_EQ(w.Shape(), "0R 1c 1b 1F 2G 3H 0S 0a ");
    drop(w.Node("a"), w.Node("R\\F\\G\\H"), 0); // a link item lands beside the node itself
    EXPECT_EQ(w.Shape(), "0R 1c 1b 1F 2G 3a 3H 0S ");
    TTreeNode* folder = w.Node("S");
    w.main->Document().Tree.SetData(folder, std::nullopt); // S becomes a folder
    drop(folder, w.Node("R\\F\\G\\H"), 0); // a folder climbs to the level-1 ancestor (below its row: after it)
    EXPECT_EQ(w.Shape(), "0R 1c 1b 1F 2G 3a 3H 1S ");
    const std::string before = w.Shape();
    drop(w.Node("R\\F"), w.Node("R\\F\\G\\H"), 0); // on a node below itself: nothing
    drop(w.Node("R\\b"), w.Node("R\\b"), 0);       // on itself: nothing
    w.main->SelectNode(w.Node("R\\c"));
    w.main->TreeView1DragDrop(5, Child<TLinkTreeView>(w.main, "TreeView1")->viewport()->height() -
                                     2); // outside every node
    EXPECT_EQ(w.Shape(), before);
    // A move is no selection change: the shown link stays, nothing is left.
    w.main->SelectNode(w.Node("R\\c"));
    Child<TPalGrid>(Ed(w.main), "StringGrid2")->SetCells(1, 1, "edited");
    drop(w.Node("R\\c"), w.Node("R\\b"), w.RowOf(w.Node("R\\b")).height() - 1);
    EXPECT_EQ(w.main->Selected(), w.Node("R\\c"));
    EXPECT_EQ(Child<TPalGrid>(Ed(w.main), "StringGrid2")->Cells(1, 1), "edited");
}

TEST(MainWindow, AFailingLeaveKeepsTheSelection) {
    Window w;
    w.Open();
    w.Click(w.Node("A\\B"));
    // A tag row that never received its sub-items cannot be encoded.
    new QTreeWidgetItem(Child<TTagListView>(Ed(w.main), "ListView1"), QStringList{"novo"});
    ShownMessages shown;
    w.Click(w.Node("D"));
    EXPECT_EQ(w.main->Selected(), w.Node("A\\B"));
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"List index out of bounds (1)"}));
}

TEST(MainWindow, UnsavedChangesAreAskedAbout) {
    Window w;
    TestDialogs dialogs;
    const std::string path = w.Open();
    // Nothing changed: nothing asked.
    dialogs.openNames = {path};
    w.main->OpenFile();
    EXPECT_EQ(dialogs.asked, 0);
    w.Click(w.Node("D"));
    w.Key(Qt::Key_Delete);
    // Cancelar keeps everything.
    dialogs.answers = {IDialogs::TAnswer::Cancel};
    w.main->NewFile();
    EXPECT_EQ(w.Node("D"), nullptr);
    EXPECT_EQ(w.main->Document().FileName, path);
    // Não drops the change.
    dialogs.answers = {IDialogs::TAnswer::No};
    dialogs.openNames = {path};
    w.main->OpenFile();
    EXPECT_NE(w.Node("D"), nullptr);
    // Sim saves first (and a new document asks where).
    w.Click(w.Node("D"));
    w.Key(Qt::Key_Delete);
    dialogs.answers = {IDialogs::TAnswer::Yes};
    w.main->NewFile();
    EXPECT_EQ(ReadFile(path).find("\r\nD="), std::string::npos);
    EXPECT_EQ(w.main->Document().Tree.RootCount(), 0);
    w.main->Pasta1Click();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    dialogs.answers = {IDialogs::TAnswer::Yes};
    dialogs.saveNames = {""}; // the save dialog cancelled: nothing closes
    QCloseEvent close;
    QApplication::sendEvent(w.main.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_EQ(dialogs.asked, 4);
}

TEST(MainWindow, AFileThatCannotBeOpenedShowsTheErrorAndAPartialReadIsNotSavedOverIt) {
    Window w;
    EXPECT_THROW(w.main->OpenFileNamed((w.scratch.Path() / "none.lnk").string()), EFOpenError);
    EXPECT_EQ(w.main->Document().Tree.RootCount(), 0);
    const std::string raw = w.scratch.Write("raw.lnk", "A=T&p=1\r\nB=T&p=1;\r\nC=T\r\n");
    EXPECT_THROW(w.main->OpenFileNamed(raw), ESyntaxError);
    EXPECT_EQ(w.Shape(), "0A 0B ");
    EXPECT_EQ(w.main->Document().FileName, ""); // a save asks for a name
}

TEST(MainWindow, ACounterThatIsNoNumberIsSaidOnceWithItsLine) {
    Window w;
    ShownMessages shown;
    w.Open("_currentid=x1\r\nA=link={T};_id=\"30\"\r\nB=link={U};_id=\"4\"\r\n");
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(shown.texts[0].rfind("Linha 1: Contador inv\xE1lido", 0), 0u) << shown.texts[0];
    EXPECT_EQ(w.main->Document().CurrentId, 31);
    w.main->tem1Click(); // a new item never takes an identifier of the file
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(Child<QLineEdit>(Ed(w.main), "Edit4")->text(), "31");
}
