// The tag list and its grid as a person uses them for hours: the pointer
// resting anywhere, rows deleted and abandoned, tags made, links only looked
// at, broken links repaired. Whatever happens, the link stored when it is left
// holds what the person did and everything they did not touch, and reads back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <random>

#include "UiFixture.h"
#include "links/Find.h"
#include "links/LinkDef.h"
#include "qtedge/EventBoundary.h"
#include "qtedge/QtText.h"
#include "support/TestFiles.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"
#include "ui/TreeModel.h"

using namespace elo;
using namespace elo::test;

namespace {

const char* const kFile =
    "_currentid=40\r\n"
    "A\\Tres=link={Mod.Tres&pointer=\"p\";Caption=\"Abrir\",link={Mod.Tres.X};_id=\"3\"};_id=\"4\";"
    "Caption=\"Tres\"\r\n"
    "A\\Dois=link={M&param=[periodo=mes];dias=30,q=x};_id=\"5\";Caption=\"Dois\";Extra=sim,"
    "outro=\"1\"\r\n"
    "A\\Um=link={U};_id=\"6\";Caption=\"Um\"\r\n"
    "B\\Quebrado=link={Q&a=};_id=\"7\";Caption=\"Quebrado\"\r\n"
    "B\\Regras=link={R};_id=\"8\";Caption=\"RULES\"\r\n"
    "B\\SemId=link={M&param=[periodo=mes];dias=30}\r\n";

// The main window on a file, with the editor's controls at hand.
struct Doc {
    explicit Doc(const std::string& text = kFile) : scratch("elo-tags") {
        main = std::make_unique<TfrmMain>();
        main->resize(900, 600);
        main->show();
        path = scratch.Write("tags.lnk", text);
        main->OpenFileNamed(path);
        Child<TLinkTreeView>(main, "TreeView1")->expandAll();
        QApplication::setActiveWindow(main.get());
        QApplication::processEvents();
    }
    ~Doc() {
        main->UndoStack().setClean();
        Ed(main)->ClearEdited();
        main.reset();
    }
    TfrmLkEdit* ed() const { return Ed(main); }
    TTagListView* list() const { return Child<TTagListView>(ed(), "ListView1"); }
    TPalGrid* grid() const { return Child<TPalGrid>(ed(), "StringGrid2"); }
    QTreeWidgetItem* row(int i) const { return list()->topLevelItem(i); }
    int rows() const { return list()->topLevelItemCount(); }
    std::string cell(int c, int r) const { return FromQString(grid()->Cells(c, r)); }
    TTreeNode* Node(const std::string& p) const { return const_cast<TTreeNode*>(NodeAtPath(main->Document().Tree, p)); }
    std::string Stored(const std::string& p) const { return std::string(Node(p)->Data()->Link); }
    // Selects a node as a click on it would; false when leaving was refused.
    bool Show(const std::string& p) {
        const bool moved = main->SelectNode(Node(p));
        QApplication::processEvents();
        return moved;
    }
    bool Leave() {
        const bool left = main->SelectNode(nullptr);
        QApplication::processEvents();
        return left;
    }
    void PointerOnRow(int i) const { PointerAt(list()->viewport(), list()->visualItemRect(row(i)).center()); }
    void ClickRow(int i) const {
        PointerOnRow(i);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, list()->visualItemRect(row(i)).center());
        QApplication::processEvents();
    }
    void ListKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) const {
        QApplication::setActiveWindow(main.get()); // back from a dialog
        list()->setFocus();
        QTest::keyClick(list(), static_cast<Qt::Key>(key), mods);
        QApplication::processEvents();
    }
    // Types into the focused widget (an in-place editor) and presses Return.
    static void TypeAndReturn(const std::string& text) {
        QWidget* editor = QApplication::focusWidget();
        if (!editor) {
            ADD_FAILURE() << "nothing has the focus to type into";
            return;
        }
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        if (text.empty()) QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, ToQString(text));
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
    }
    // Types a cell's text as a person does: F2 on the cell, the text, Return.
    void TypeCell(int col, int r, const std::string& text) const {
        QApplication::setActiveWindow(main.get()); // back from a dialog
        grid()->FocusCell(col, r);
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_F2);
        TypeAndReturn(text);
    }
    TTestDir scratch;
    std::string path;
    std::unique_ptr<TfrmMain> main;
};

// Runs action once a modal dialog is up, however it comes to be opened.
void WhenModalAppears(std::function<void(QWidget*)> action) {
    auto* poll = new QTimer;
    poll->setInterval(2);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            action(modal);
        }
    });
    poll->start();
}

} // namespace

TEST(TagList, DeleteWithThePointerOverTheListRemovesOnlyThatTag) {
    for (bool lastTag : {false, true}) {
        SCOPED_TRACE(lastTag);
        Doc d;
        ASSERT_TRUE(d.Show("A\\Tres"));
        ASSERT_EQ(d.rows(), 2);
        d.ClickRow(lastTag ? 1 : 0);
        // The pointer stays where it clicked; after the removal another row
        // lies under it, and nothing may be selected or written into it.
        d.ListKey(Qt::Key_Delete);
        EXPECT_EQ(d.rows(), 1);
        EXPECT_EQ(d.ed()->SelectedRow(), nullptr);
        EXPECT_EQ(d.ed()->GridRow(), nullptr);
        ASSERT_TRUE(d.Show("A\\Um"));
        EXPECT_EQ(d.Stored("A\\Tres"),
                  lastTag ? "link={Mod.Tres&pointer=\"p\";Caption=\"Abrir\"};_id=\"4\";Caption=\"Tres\""
                          : "link={Mod.Tres&link={Mod.Tres.X};_id=\"3\"};_id=\"4\";Caption=\"Tres\"");
    }
}

TEST(TagList, EscapeAfterDownTakesBackTheNewRowWhereverThePointerRests) {
    for (bool pointerOver : {false, true}) {
        SCOPED_TRACE(pointerOver);
        Doc d;
        ASSERT_TRUE(d.Show("A\\Tres"));
        d.ClickRow(1);
        if (!pointerOver) PointerAway();
        d.ListKey(Qt::Key_Down);
        ASSERT_EQ(d.rows(), 3);
        EXPECT_EQ(d.ed()->SelectedRow(), d.row(2));                   // the row just made, wherever the pointer is
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // ends the rename
        d.ListKey(Qt::Key_Escape);
        EXPECT_EQ(d.rows(), 2);
        EXPECT_EQ(d.ed()->SelectedRow(), nullptr);
        ASSERT_TRUE(d.Leave()); // never "List index out of bounds"
        EXPECT_EQ(d.Stored("A\\Tres"),
                  "link={Mod.Tres&pointer=\"p\";Caption=\"Abrir\",link={Mod.Tres.X};_id=\"3\"};_id=\"4\";"
                  "Caption=\"Tres\"");
    }
}

TEST(TagList, WhatIsTypedAfterDownGoesIntoTheNewTag) {
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    d.ClickRow(1);
    PointerAway();
    d.ListKey(Qt::Key_Down);
    Doc::TypeAndReturn("foo"); // the new tag's name
    EXPECT_EQ(d.row(2)->text(0), "foo");
    EXPECT_EQ(d.cell(1, 1), "foo");
    d.TypeCell(2, 1, "\"bar\"");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Tres"),
              "link={Mod.Tres&pointer=\"p\";Caption=\"Abrir\",link={Mod.Tres.X};_id=\"3\",foo=\"bar\"};"
              "_id=\"4\";Caption=\"Tres\"");
}

TEST(TagList, ALinkThatWouldNotReadBackIsNotStored) {
    ShownMessages shown;
    Doc d;
    ASSERT_TRUE(d.Show("A\\Um"));
    PointerAway();
    d.ListKey(Qt::Key_Down);
    Doc::TypeAndReturn("foo"); // a tag without a value: "foo=" does not parse
    EXPECT_TRUE(Child<QLabel>(d.ed(), "ParseStatus")->text().startsWith("Syntax error in command line"))
        << FromQString(Child<QLabel>(d.ed(), "ParseStatus")->text());
    EXPECT_FALSE(d.Leave());
    EXPECT_EQ(d.main->Selected(), d.Node("A\\Um"));
    ASSERT_FALSE(shown.texts.empty());
    EXPECT_NE(shown.texts.back().find("Syntax error in command line"), std::string::npos);
    EXPECT_EQ(d.Stored("A\\Um"), "link={U};_id=\"6\";Caption=\"Um\"");
    // Saving refuses the same way; the file stays as it was.
    const std::string before = ReadFile(d.path);
    EXPECT_FALSE(d.main->SaveFile());
    EXPECT_EQ(ReadFile(d.path), before);
    EXPECT_TRUE(d.main->Modified());
    // Given a value, it goes.
    d.TypeCell(2, 1, "1");
    EXPECT_EQ(FromQString(Child<QLabel>(d.ed(), "ParseStatus")->text()), "Par\xE2metros v\xE1lidos");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Um"), "link={U&foo=1};_id=\"6\";Caption=\"Um\"");
}

TEST(TagList, APasteThatIsNoTagTextLeavesTheTagAsItWas) {
    ShownMessages shown;
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    d.PointerOnRow(0);
    QGuiApplication::clipboard()->setText("a=");
    d.ListKey(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"Syntax error in command line"}));
    EXPECT_EQ(TfrmLkEdit::RowText(d.row(0)), "pointer=\"p\";Caption=\"Abrir\"");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Tres"),
              "link={Mod.Tres&pointer=\"p\";Caption=\"Abrir\",link={Mod.Tres.X};_id=\"3\"};_id=\"4\";"
              "Caption=\"Tres\"");
}

TEST(TagList, LookingAtALinkLosesNothing) {
    Doc d;
    const std::string dois = d.Stored("A\\Dois");
    ASSERT_TRUE(d.Show("A\\Dois"));
    EXPECT_EQ(d.cell(2, 1), "[periodo=mes]");
    d.ClickRow(1); // looked at its second tag too
    ASSERT_TRUE(d.Show("A\\Um"));
    EXPECT_EQ(d.Stored("A\\Dois"), dois); // byte for byte
    EXPECT_FALSE(d.main->Modified());
    // A link without an identifier gets the one showing drew, and keeps the rest.
    ASSERT_TRUE(d.Show("B\\SemId"));
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("B\\SemId"), "link={M&param=[periodo=mes];dias=30};_id=\"40\";Caption=\"SemId\"");
    // Editing one tag keeps the others' text, the items no field takes and
    // the later commands.
    ASSERT_TRUE(d.Show("A\\Dois"));
    d.ClickRow(1);
    d.TypeCell(2, 1, "y");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Dois"),
              "link={M&param=[periodo=mes];dias=30,q=y};_id=\"5\";Caption=\"Dois\";Extra=sim,outro=\"1\"");
}

TEST(TagList, TwoSiblingsNeverShareAPath) {
    ShownMessages shown;
    Doc d;
    // A rename to a sibling's name, in any letter case, is refused.
    ASSERT_TRUE(d.Show("A\\Um"));
    Guard([&] { d.main->TreeView1Edited(d.Node("A\\Um"), "dOIS"); });
    EXPECT_EQ(std::string(d.Node("A\\Um")->Text()), "Um");
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(shown.texts[0],
              "J\xE1 existe um n\xF3 com o caminho \"A\\dOIS\" (mai\xFAsculas e min\xFAsculas contam igual)");
    EXPECT_EQ(d.ed()->LinkCaption(), "Um");
    // A drop that would put a node beside one of its name, too.
    d.main->Document().Tree.SetText(d.Node("B\\Regras"), "Um");
    ASSERT_TRUE(d.Show("B\\Um"));
    const QRect target =
        Child<TLinkTreeView>(d.main, "TreeView1")->visualRect(d.main->Model()->IndexOf(d.Node("A\\Dois")));
    Guard([&] { d.main->TreeView1DragDrop(target.center().x(), target.top() + 1); });
    EXPECT_NE(d.Node("B\\Um"), nullptr);
    EXPECT_EQ(shown.texts.size(), 2u);
    // The file check names siblings that share a path in the open tree.
    ASSERT_TRUE(d.Leave());
    d.main->Document().Tree.SetText(d.Node("B\\Um"), "QUEBRADO");
    d.main->CheckFile();
    ASSERT_GT(Child<QListWidget>(d.main, "CheckList")->count(), 0);
    EXPECT_EQ(FromQString(Child<QListWidget>(d.main, "CheckList")->item(0)->text()),
              "J\xE1 existe um n\xF3 com o caminho \"B\\QUEBRADO\" (mai\xFAsculas e min\xFAsculas contam igual)");
}

TEST(TagList, EscapeNeverHidesTheEmbeddedEditor) {
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    Child<QPlainTextEdit>(d.ed(), "Memo1")->setFocus();
    QTest::keyClick(Child<QPlainTextEdit>(d.ed(), "Memo1"), Qt::Key_Escape);
    Child<QPushButton>(d.ed(), "Button4")->setFocus();
    QTest::keyClick(Child<QPushButton>(d.ed(), "Button4"), Qt::Key_Escape);
    d.grid()->setFocus();
    QTest::keyClick(d.grid(), Qt::Key_Escape);
    d.ListKey(Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(d.ed()->isVisible());
}

TEST(TagList, EscapeInTheNestedEditorCancelsUnlessAnInPlaceEditorIsOpen) {
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    d.ClickRow(1);
    int results = 0;
    // Escape in the grid's in-place editor closes the editor; the next one,
    // in the grid, cancels the dialog.
    WhenModal([&](QWidget* dialog) {
        auto* nested = qobject_cast<TfrmLkEdit*>(dialog);
        Child<TPalGrid>(nested, "StringGrid2")->FocusCell(2, 1);
        Child<TPalGrid>(nested, "StringGrid2")->setFocus();
        QTest::keyClick(Child<TPalGrid>(nested, "StringGrid2"), Qt::Key_F2);
        QWidget* inplace = Child<TPalGrid>(nested, "StringGrid2")->InplaceEditor();
        ASSERT_TRUE(Child<TPalGrid>(nested, "StringGrid2")->EditorMode());
        QTest::keyClicks(inplace, "zz");
        QTest::keyClick(inplace, Qt::Key_Escape);
        EXPECT_FALSE(Child<TPalGrid>(nested, "StringGrid2")->EditorMode());
        EXPECT_TRUE(dialog->isVisible());
        QTest::keyClick(Child<TPalGrid>(nested, "StringGrid2"), Qt::Key_Escape);
        ++results;
        if (dialog->isVisible()) {
            ADD_FAILURE() << "Escape in the grid did not cancel";
            nested->done(2);
        }
    });
    d.ed()->NestedEditing();
    // Escape in the nested tag list cancels too.
    Child<QLineEdit>(d.ed(), "Edit2")->setText("x"); // not the nested one's: a sign the dialog went
    WhenModal([&](QWidget* dialog) {
        auto* nested = qobject_cast<TfrmLkEdit*>(dialog);
        Child<TTagListView>(nested, "ListView1")->setFocus();
        QTest::keyClick(Child<TTagListView>(nested, "ListView1"), Qt::Key_Escape);
        ++results;
        if (dialog->isVisible()) {
            ADD_FAILURE() << "Escape in the tag list did not cancel";
            nested->done(2);
        }
    });
    d.ed()->NestedEditing();
    EXPECT_EQ(results, 2);
    EXPECT_EQ(TfrmLkEdit::RowText(d.row(1)), "link={Mod.Tres.X};_id=\"3\""); // cancelled: unchanged
}

TEST(TagList, ABrokenLinkShowsOnlyItselfAndIsRepairedInPlace) {
    ShownMessages shown;
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    d.Show("B\\Quebrado"); // its error is shown; the link is shown all the same
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"Syntax error in command line"}));
    EXPECT_EQ(d.main->Selected(), d.Node("B\\Quebrado"));
    EXPECT_TRUE(d.ed()->isVisible());
    EXPECT_EQ(d.rows(), 0);
    EXPECT_EQ(Child<QLineEdit>(d.ed(), "Edit2")->text(), "");
    EXPECT_FALSE(d.list()->isEnabled());
    EXPECT_FALSE(Child<QPlainTextEdit>(d.ed(), "Memo1")->isReadOnly());
    EXPECT_EQ(FromQString(Child<QLabel>(d.ed(), "ParseStatus")->text()), "Syntax error in command line");
    // Left as it is, it is kept as it came.
    ASSERT_TRUE(d.Show("A\\Um"));
    EXPECT_EQ(d.Stored("B\\Quebrado"), "link={Q&a=};_id=\"7\";Caption=\"Quebrado\"");
    EXPECT_FALSE(d.main->Modified());
    // Repaired: the status follows every key, a text that still fails is not
    // stored, the mended one is, as typed, as one undo step.
    d.Show("B\\Quebrado");
    Child<QPlainTextEdit>(d.ed(), "Memo1")->setFocus();
    Child<QPlainTextEdit>(d.ed(), "Memo1")->setPlainText("link={Q&a=};_id=\"7\";Caption=\"Quebrado\";x=");
    EXPECT_EQ(FromQString(Child<QLabel>(d.ed(), "ParseStatus")->text()), "Syntax error in command line");
    EXPECT_FALSE(d.Leave());
    Child<QPlainTextEdit>(d.ed(), "Memo1")->setPlainText("link={Q&a=1};_id=\"7\";Caption=\"Quebrado\"");
    EXPECT_TRUE(Child<QLabel>(d.ed(), "ParseStatus")->text().startsWith(QString::fromUtf8("Link v\u00E1lido")));
    const int steps = d.main->UndoStack().count();
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("B\\Quebrado"), "link={Q&a=1};_id=\"7\";Caption=\"Quebrado\"");
    EXPECT_EQ(d.main->UndoStack().count(), steps + 1);
    // F4 opens any link's text for editing; Ctrl+Enter applies it.
    ASSERT_TRUE(d.Show("A\\Um"));
    QApplication::setActiveWindow(d.main.get());
    d.list()->setFocus();
    QTest::keyClick(d.list(), Qt::Key_F4);
    ASSERT_TRUE(d.ed()->RawEditing());
    EXPECT_FALSE(d.list()->isEnabled());
    Child<QPlainTextEdit>(d.ed(), "Memo1")->setPlainText("link={U&k=2};_id=\"6\";Caption=\"Um\"");
    QTest::keyClick(Child<QPlainTextEdit>(d.ed(), "Memo1"), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(d.rows(), 1);
    EXPECT_EQ(d.row(0)->text(0), "k");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Um"), "link={U&k=2};_id=\"6\";Caption=\"Um\"");
}

TEST(TagList, ARenameOfTheShownNodeNeverFailsBecauseOfTheTags) {
    ShownMessages shown;
    Doc d;
    ASSERT_TRUE(d.Show("A\\Um"));
    PointerAway();
    d.ListKey(Qt::Key_Down);
    Doc::TypeAndReturn("foo"); // a tag that cannot be stored yet
    Guard([&] { d.main->TreeView1Edited(d.Node("A\\Um"), "Novo nome"); });
    EXPECT_TRUE(shown.texts.empty());
    EXPECT_NE(d.Node("A\\Novo nome"), nullptr);
    EXPECT_EQ(d.ed()->LinkCaption(), "Novo nome");
    d.TypeCell(2, 1, "1");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Novo nome"), "link={U&foo=1};_id=\"6\";Caption=\"Novo nome\"");
}

TEST(TagList, ANewLinkTagOpensTheNestedEditor) {
    Doc d;
    ASSERT_TRUE(d.Show("A\\Um"));
    PointerAway();
    d.ListKey(Qt::Key_Down);
    bool opened = false;
    WhenModalAppears([&](QWidget* dialog) {
        opened = true;
        auto* nested = qobject_cast<TfrmLkEdit*>(dialog);
        ASSERT_NE(nested, nullptr);
        EXPECT_EQ(Child<QLineEdit>(nested, "Edit4")->text(), "40"); // drawn from the document's counter
        nested->RenameLink("dentro");
        dialog->findChild<QPushButton*>("Button1")->click();
    });
    Doc::TypeAndReturn("link"); // the 1 ms timer opens it
    QTest::qWait(20);
    EXPECT_TRUE(opened);
    ASSERT_EQ(d.rows(), 1);
    EXPECT_EQ(TfrmLkEdit::RowText(d.row(0)), "link={};_id=\"40\";Caption=\"dentro\"");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Um"), "link={U&link={};_id=\"40\";Caption=\"dentro\"};_id=\"6\";Caption=\"Um\"");
}

namespace {

// What the person did to the tags of the link on show, kept beside the
// window: each tag's text as the stored link must hold it.
struct TagModel {
    TLinkDefinition shown;          // the link as it was shown
    std::vector<std::string> texts; // every tag's text, in list order
    int selected = -1;
    bool newFlag = false;

    void Show(const std::string& link) {
        shown = TLinkDefinition();
        DecodeLink(shown, link, nullptr);
        texts.clear();
        for (const TLinkTag& tag : shown.Tags) texts.push_back(tag.Written);
        selected = texts.empty() ? -1 : 0;
        newFlag = false;
    }
    // The link that leaving must store.
    std::string Expected(const std::string& raw) const {
        std::vector<std::string> before;
        for (const TLinkTag& tag : shown.Tags) before.push_back(tag.Written);
        if (before == texts) return raw;
        TLinkDefinition r = shown;
        r.Tags.clear();
        for (const std::string& t : texts) r.Tags.push_back({"", "", t, t});
        return EncodeLink(r);
    }
    // A parameter's value typed into the grid.
    static std::string WithValue(const std::string& text, size_t row, const std::string& value) {
        std::vector<TTagParameter> params = WrittenParametersFromTagText(text);
        params[row].Source = value;
        return TagTextFromParameters(params) + LaterCommandsOfTagText(text);
    }
};

const char* const kModelFile =
    "_currentid=90\r\n"
    "X\\Um=link={A&p=[v=w];n=30;s='q',link={In&k=1};_id=\"50\",z=\"a b\"};_id=\"51\";Caption=\"Um\";Mais=1,cmd=2\r\n"
    "X\\Dois=link={B&pointer=\"frm\";Caption=\"Abrir\"};_id=\"52\";_tag=\"6\";Caption=\"Dois\"\r\n";

} // namespace

TEST(TagList, RandomUseKeepsEveryEditAndEverythingUntouched) {
    const char* const values[] = {"1", "\"x y\"", "[a=b]", "w", "{t}", "'z'"};
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        ShownMessages shown;
        Doc d(kModelFile);
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        std::string path = "X\\Um";
        TagModel m;
        ASSERT_TRUE(d.Show(path));
        m.Show(d.Stored(path));
        // The pointer rests over the list or away from it, as a person leaves it.
        auto pointerSomewhere = [&] {
            if (pick(2) && d.rows() > 0)
                d.PointerOnRow(pick(d.rows()));
            else
                PointerAway();
        };
        auto check = [&](int step) {
            SCOPED_TRACE(step);
            ASSERT_EQ(d.rows(), static_cast<int>(m.texts.size()));
            const QTreeWidgetItem* sel = d.ed()->SelectedRow();
            ASSERT_EQ(sel ? d.list()->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(sel)) : -1, m.selected);
            // The grid shows the selected tag, or nothing when none is.
            ASSERT_EQ(d.ed()->GridRow(), sel);
        };
        for (int step = 0; step < 300; ++step) {
            SCOPED_TRACE(step);
            const int n = static_cast<int>(m.texts.size());
            const int op = pick(10);
            switch (op) {
            case 0: // a click on a row
                if (n > 0) {
                    const int i = pick(n);
                    d.ClickRow(i);
                    if (i != m.selected) m.newFlag = false; // the grid filled from a stored text
                    m.selected = i;
                }
                break;
            case 1: // a value typed into a parameter of the selected tag
            case 2: {
                const std::string v = values[pick(static_cast<int>(std::size(values)))];
                if (m.selected < 0) {
                    d.TypeCell(2, 1, v); // no tag shown: it goes nowhere
                    break;
                }
                const auto params = WrittenParametersFromTagText(m.texts[static_cast<size_t>(m.selected)]);
                if (params.empty()) break;
                const size_t row = static_cast<size_t>(pick(static_cast<int>(params.size())));
                d.TypeCell(2, static_cast<int>(row) + 1, v);
                m.texts[static_cast<size_t>(m.selected)] =
                    TagModel::WithValue(m.texts[static_cast<size_t>(m.selected)], row, v);
                break;
            }
            case 3: { // Down: on the last tag (or with none selected) a new tag
                pointerSomewhere();
                const bool over = d.list()->itemAt(d.list()->viewport()->mapFromGlobal(QCursor::pos())) != nullptr;
                d.ListKey(Qt::Key_Down);
                if (m.newFlag || !(m.selected < 0 || m.selected == n - 1)) {
                    // The selection moves as usual, under the pointer only.
                    if (over && m.selected >= 0 && m.selected < n - 1) {
                        ++m.selected;
                        m.newFlag = false;
                    }
                    break;
                }
                m.texts.push_back("");
                m.selected = n;
                m.newFlag = true;
                if (pick(3) == 0) {
                    if (QWidget* renamer = QApplication::focusWidget()) QTest::keyClick(renamer, Qt::Key_Escape);
                    pointerSomewhere();
                    d.ListKey(Qt::Key_Escape); // the row is taken back
                    m.texts.pop_back();
                    m.selected = -1;
                    m.newFlag = false;
                    break;
                }
                const std::string name = "t" + std::to_string(step);
                Doc::TypeAndReturn(name);
                const std::string v = values[pick(static_cast<int>(std::size(values)))];
                d.TypeCell(2, 1, v);
                m.texts.back() = name + "=" + v;
                break;
            }
            case 4: // Delete, the pointer anywhere
                pointerSomewhere();
                d.ListKey(Qt::Key_Delete);
                if (m.selected >= 0) {
                    m.texts.erase(m.texts.begin() + m.selected);
                    m.selected = -1;
                    m.newFlag = false;
                }
                break;
            case 5: // Escape in the list: takes back a new row, else nothing
                pointerSomewhere();
                d.ListKey(Qt::Key_Escape);
                if (m.newFlag) {
                    m.texts.erase(m.texts.begin() + m.selected);
                    m.selected = -1;
                    m.newFlag = false;
                }
                break;
            case 6: { // Up: moves only under the pointer
                pointerSomewhere();
                const bool over = d.list()->itemAt(d.list()->viewport()->mapFromGlobal(QCursor::pos())) != nullptr;
                d.ListKey(Qt::Key_Up);
                // From no row at all the view goes to the first.
                if (over && m.selected != 0 && n > 0) {
                    m.selected = m.selected < 0 ? 0 : m.selected - 1;
                    m.newFlag = false;
                }
                break;
            }
            case 7: // a tag's text copied onto another
                if (n > 1) {
                    const int from = pick(n), to = pick(n);
                    d.ClickRow(from);
                    d.ListKey(Qt::Key_C, Qt::ControlModifier);
                    d.ClickRow(to);
                    d.ListKey(Qt::Key_V, Qt::ControlModifier);
                    m.texts[static_cast<size_t>(to)] = m.texts[static_cast<size_t>(from)];
                    m.selected = to;
                    m.newFlag = false;
                }
                break;
            case 8: { // a "link" tag in the nested editor: OK with a new caption, or Cancel
                int link = -1;
                for (int i = 0; i < n; ++i)
                    if (d.row(i)->text(0) == "link") link = i;
                if (link < 0) break;
                d.ClickRow(link);
                if (link != m.selected) m.newFlag = false;
                m.selected = link;
                const bool ok = pick(2);
                WhenModal([&](QWidget* dialog) {
                    auto* nested = qobject_cast<TfrmLkEdit*>(dialog);
                    if (ok) nested->RenameLink("N" + std::to_string(step));
                    dialog->findChild<QPushButton*>(ok ? "Button1" : "Button2")->click();
                });
                d.ed()->NestedEditing();
                if (ok) {
                    m.newFlag = false;
                    TLinkDefinition r;
                    DecodeLink(r, m.texts[static_cast<size_t>(link)], nullptr);
                    r.Caption = "N" + std::to_string(step);
                    for (TLinkTag& tag : r.Tags) tag.Text = tag.Written;
                    m.texts[static_cast<size_t>(link)] = EncodeLink(r);
                }
                break;
            }
            default: { // the link left for the other one, and what it stored checked
                const std::string raw = d.Stored(path);
                const std::string expected = m.Expected(raw);
                ASSERT_TRUE(d.Show(path == "X\\Um" ? "X\\Dois" : "X\\Um")) << shown.texts.back();
                ASSERT_EQ(d.Stored(path), expected);
                ASSERT_EQ(LinkReadBackProblem(expected), "");
                path = path == "X\\Um" ? "X\\Dois" : "X\\Um";
                m.Show(d.Stored(path));
                break;
            }
            }
            check(step);
            if (HasFailure()) return;
        }
        EXPECT_TRUE(shown.texts.empty()) << shown.texts.front();
    }
}

TEST(TagList, ARenameBoxOpenedByAClickNeverEmptiesOrMovesATag) {
    ShownMessages shown;
    Doc d;
    const std::string tres = d.Stored("A\\Tres");
    ASSERT_TRUE(d.Show("A\\Tres"));
    // The rename box of the selected tag, its name deleted, the link left.
    d.list()->editItem(d.row(0), 0);
    QWidget* box = QApplication::focusWidget();
    ASSERT_NE(box, d.list());
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    ASSERT_TRUE(d.Show("A\\Um")); // the box closes with an empty name
    EXPECT_EQ(d.Stored("A\\Tres"), tres);
    // Closed with the name it had: the focus stays in the list.
    ASSERT_TRUE(d.Show("A\\Tres"));
    d.list()->editItem(d.row(0), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(d.grid()->hasFocus());
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Tres"), tres);
    EXPECT_TRUE(shown.texts.empty());
}

TEST(TagList, EscapeInTheFirstParameterCellRestoresItsNameAndTheTags) {
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    d.ClickRow(1); // "link": its grid shows link = {...}
    d.ClickRow(0); // and back to "pointer", the grid's cell still the first
    d.grid()->FocusCell(1, 1);
    d.grid()->setFocus();
    QTest::keyClick(d.grid(), Qt::Key_F2);
    QWidget* cell = d.grid()->InplaceEditor();
    QTest::keyClick(cell, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(cell, "zzz");
    EXPECT_EQ(d.row(0)->text(0), "zzz"); // the tag follows every key
    QTest::keyClick(cell, Qt::Key_Escape);
    EXPECT_EQ(d.cell(1, 1), "pointer");
    EXPECT_EQ(d.row(0)->text(0), "pointer");
    ASSERT_TRUE(d.Leave());
    EXPECT_EQ(d.Stored("A\\Tres"),
              "link={Mod.Tres&pointer=\"p\";Caption=\"Abrir\",link={Mod.Tres.X};_id=\"3\"};_id=\"4\";"
              "Caption=\"Tres\"");
}

TEST(TagList, APartOfATagThatWouldNotBeReadIsRefused) {
    ShownMessages shown;
    Doc d;
    ASSERT_TRUE(d.Show("A\\Tres"));
    // A parameter without a name: the parser would pass over it.
    d.TypeCell(1, 1, "");
    EXPECT_FALSE(d.Leave());
    ASSERT_FALSE(shown.texts.empty());
    EXPECT_NE(shown.texts.back().find("n\xE3o seriam lidas"), std::string::npos) << shown.texts.back();
    EXPECT_NE(FromQString(Child<QLabel>(d.ed(), "ParseStatus")->text()).find("n\xE3o seriam lidas"), std::string::npos);
    d.TypeCell(1, 1, "pointer");
    ASSERT_TRUE(d.Leave());
    // Copying an empty tag keeps the clipboard; a paste is one whole tag.
    ASSERT_TRUE(d.Show("A\\Um"));
    QGuiApplication::clipboard()->setText("GUARDADO");
    PointerAway();
    d.ListKey(Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // the rename box
    d.ListKey(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "GUARDADO");
    const size_t before = shown.texts.size();
    for (const char* paste : {"   ", "=\"p\";Caption=\"A\"", "p=\"a\",q=\"b\""}) {
        QGuiApplication::clipboard()->setText(paste);
        d.ListKey(Qt::Key_V, Qt::ControlModifier);
    }
    EXPECT_EQ(shown.texts.size(), before + 3);
    EXPECT_EQ(TfrmLkEdit::RowText(d.row(0)), "=");
}

TEST(TagList, LinesTheReadingPassedOverAreListedWhenTheFileOpens) {
    Doc d("_currentid=9\r\nA\\Um=link={U1};_id=\"1\";Caption=\"Um\"\r\na\\um=link={U2};_id=\"2\";Caption=\"um\"\r\n");
    ASSERT_TRUE(Child<QDockWidget>(d.main, "CheckDock")->isVisible());
    ASSERT_GT(Child<QListWidget>(d.main, "CheckList")->count(), 0);
    EXPECT_EQ(FromQString(Child<QListWidget>(d.main, "CheckList")->item(0)->text()),
              "Ao abrir, linha 3: Linha ignorada: o caminho j\xE1 tem um link (n\xE3o estar\xE1 no arquivo salvo)");
}
