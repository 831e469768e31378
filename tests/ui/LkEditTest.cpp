// The link editor driven as a person drives it, embedded in a window and as
// the nested dialog.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <random>

#include "UiFixture.h"
#include "platform/Exceptions.h"
#include "qtedge/QtText.h"
#include "support/LinkCorpus.h"
#include "ui/Images.h"
#include "ui/LkEdit.h"

using namespace elo;
using namespace elo::test;

namespace {

// An embedded editor in a window of its own, with a counter behind its
// new-identifier provider.
struct Editor {
    Editor() {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        edit = new TfrmLkEdit(window.get(), true);
        layout->addWidget(edit);
        edit->OnGetNewId = [this](void*, int32_t& id) { id = next++; };
        window->resize(700, 520);
        window->show();
        QApplication::processEvents();
    }
    TTagListView* list() const { return Child<TTagListView>(edit, "ListView1"); }
    TPalGrid* grid() const { return Child<TPalGrid>(edit, "StringGrid2"); }
    QTreeWidgetItem* row(int i) const { return list()->topLevelItem(i); }
    int rows() const { return list()->topLevelItemCount(); }
    std::string cell(int col, int row) const { return FromQString(grid()->Cells(col, row)); }
    // The pointer over a row of the tag list, as when a person clicks it.
    void PointerOnRow(int i) const { PointerAt(list()->viewport(), list()->visualItemRect(row(i)).center()); }
    void ClickRow(int i) const {
        PointerOnRow(i);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, list()->visualItemRect(row(i)).center());
        QApplication::processEvents();
    }
    void ListKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) const {
        list()->setFocus();
        QTest::keyClick(list(), static_cast<Qt::Key>(key), mods);
        QApplication::processEvents();
    }
    std::unique_ptr<QWidget> window;
    TfrmLkEdit* edit;
    int32_t next = 100;
};

const char* const kTwoTags = "link={T&pointer=\"frm\";Caption=\"Abrir\",p=[v=w];q=x};_id=\"7\";Caption=\"L\"";

} // namespace

TEST(LinkEditor, ShowsTheFirstTagWithItsParametersAndTheRecordInItsFields) {
    Editor e;
    e.edit->DecodeLink(kTwoTags);
    EXPECT_EQ(FromQString(Child<QPlainTextEdit>(e.edit, "Memo1")->toPlainText()), kTwoTags);
    ASSERT_EQ(e.rows(), 2);
    EXPECT_EQ(e.edit->SelectedRow(), e.row(0));
    EXPECT_EQ(e.row(0)->text(0), "pointer");
    EXPECT_EQ(e.row(0)->text(1), "Abrir");
    EXPECT_EQ(e.grid()->RowCount(), 3); // headings and two parameters
    EXPECT_EQ(e.cell(1, 1), "pointer");
    EXPECT_EQ(e.cell(2, 1), "\"frm\"");
    EXPECT_EQ(e.cell(0, 1), "0");
    EXPECT_EQ(FromQString(e.grid()->Cells(1, 0)), "\xCDtem");
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit4")->text(), "7");
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit2")->text(), "T");
    EXPECT_EQ(e.edit->LinkCaption(), "L");
    EXPECT_EQ(e.next, 100); // it had an identifier: none drawn
    // A link without tags: the headings and one empty row.
    e.edit->DecodeLink("link={U};_id=\"\"");
    EXPECT_EQ(e.rows(), 0);
    EXPECT_EQ(e.grid()->RowCount(), 2);
    EXPECT_EQ(e.cell(1, 1), "");
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit4")->text(), "100"); // drawn, last
    EXPECT_EQ(e.edit->EncodeLink(), "link={U};_id=\"100\"");     // its caption: none
}

TEST(LinkEditor, ALinkDecodedOnlyInPartShowsOnlyItselfAndIsKeptAsItCame) {
    Editor e;
    e.edit->DecodeLink("link={A&p=1};_id=\"1\";_tag=\"6\";Caption=\"Antes\"");
    EXPECT_EQ(Child<QComboBox>(e.edit, "ComboBox1")->currentIndex(), 5);
    // "RULES" ends decoding after the first step: nothing of the link before
    // stays on show, the tags cannot be edited, the reason is said.
    e.edit->DecodeLink("link={B};_id=\"2\";Caption=\"RULES\"");
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit2")->text(), "");
    EXPECT_EQ(Child<QComboBox>(e.edit, "ComboBox1")->currentIndex(), 0);
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit4")->text(), "");
    EXPECT_EQ(e.rows(), 0);
    EXPECT_FALSE(Child<TTagListView>(e.edit, "ListView1")->isEnabled());
    EXPECT_FALSE(Child<TPalGrid>(e.edit, "StringGrid2")->isEnabled());
    EXPECT_TRUE(e.edit->RawEditing());
    EXPECT_TRUE(Child<QLabel>(e.edit, "ParseStatus")->text().contains("RULES"));
    EXPECT_EQ(e.edit->LinkToStore(), "link={B};_id=\"2\";Caption=\"RULES\""); // kept as it came
    // A "_tag" that is no integer raises; no identifier is drawn.
    EXPECT_THROW(e.edit->DecodeLink("link={C};_tag=\"x\""), EConvertError);
    EXPECT_EQ(e.next, 100);
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit2")->text(), "");
    EXPECT_EQ(Child<QLabel>(e.edit, "ParseStatus")->text(), "'x' is not a valid integer value");
    EXPECT_EQ(e.edit->LinkToStore(), "link={C};_tag=\"x\"");
}

TEST(LinkEditor, BracketParametersShowAsWrittenAndTheVarColumnIsNotStored) {
    Editor e;
    e.edit->DecodeLink(kTwoTags);
    e.ClickRow(1);
    ASSERT_EQ(e.edit->SelectedRow(), e.row(1));
    EXPECT_EQ(e.cell(1, 1), "p");
    EXPECT_EQ(e.cell(2, 1), "[v=w]"); // as written, its parameter with it
    EXPECT_EQ(e.cell(0, 1), "1");
    e.grid()->FocusCell(0, 1);
    e.grid()->ToggleCheckBox(); // Var 1 -> 0 changes nothing stored
    e.edit->Commit();
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(1)), "p=[v=w];q=x");
    e.edit->FillGrid(e.row(1));
    EXPECT_EQ(e.cell(0, 1), "1"); // derived from the text again
    // Nothing changed: the link comes back as it came.
    EXPECT_EQ(e.edit->LinkToStore(), kTwoTags);
    // The other parameter changed: the bracket stays, and so does the first tag.
    e.grid()->SetCells(2, 2, "y");
    EXPECT_EQ(e.edit->LinkToStore(), "link={T&pointer=\"frm\";Caption=\"Abrir\",p=[v=w];q=y};_id=\"7\";Caption=\"L\"");
}

TEST(LinkEditor, TheSelectionMovesOnlyUnderThePointerAndCommitsFirst) {
    Editor e;
    e.edit->DecodeLink(kTwoTags);
    e.grid()->SetCells(2, 1, "\"novo\"");
    PointerAway();
    EXPECT_FALSE(e.edit->SelectRow(e.row(1))); // not over a row: refused
    EXPECT_EQ(e.edit->SelectedRow(), e.row(0));
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(0)), "pointer=\"novo\";Caption=\"Abrir\""); // committed all the same
    // A click below the rows keeps the selection.
    QTest::mouseClick(e.list()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 150));
    EXPECT_EQ(e.edit->SelectedRow(), e.row(0));
    e.ClickRow(1);
    EXPECT_EQ(e.edit->SelectedRow(), e.row(1));
}

TEST(LinkEditor, DownAppendsOneNewTagAndEscapeDeletesIt) {
    Editor e;
    e.edit->DecodeLink(kTwoTags);
    e.ClickRow(1);
    e.PointerOnRow(1);
    e.ListKey(Qt::Key_Down);
    ASSERT_EQ(e.rows(), 3);
    EXPECT_EQ(e.row(2)->text(0), "<novo>");
    EXPECT_TRUE(e.edit->NewTag());
    EXPECT_EQ(e.edit->SelectedRow(), e.row(2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // ends the rename
    e.ListKey(Qt::Key_Down);
    EXPECT_EQ(e.rows(), 3); // not a second one
    e.ListKey(Qt::Key_Escape);
    EXPECT_EQ(e.rows(), 2);
    EXPECT_FALSE(e.edit->NewTag());
}

TEST(LinkEditor, RenamesOfTagsAndTheirImages) {
    Editor e;
    e.edit->DecodeLink("link={T&link={U};_id=\"1\",x=1};_id=\"2\"");
    ASSERT_EQ(e.rows(), 2);
    // A "link" row is never renamed in place.
    e.list()->editItem(e.row(0), 0);
    for (QLineEdit* editor : e.list()->viewport()->findChildren<QLineEdit*>()) EXPECT_FALSE(editor->isVisible());
    // A new tag renamed "pointer": its image, the grid's first name, the focus.
    e.ClickRow(1);
    e.PointerOnRow(1);
    e.ListKey(Qt::Key_Down);
    QWidget* renamer = QApplication::focusWidget();
    ASSERT_NE(renamer, e.list());
    QTest::keyClicks(renamer, "pointer");
    QTest::keyClick(renamer, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(e.row(2)->text(0), "pointer");
    EXPECT_EQ(e.row(2)->icon(0).cacheKey(), TagImage(imgPointerTag).cacheKey());
    EXPECT_EQ(e.cell(1, 1), "pointer");
    EXPECT_TRUE(e.grid()->hasFocus() || e.grid()->isAncestorOf(QApplication::focusWidget()));
    EXPECT_EQ(e.grid()->Col(), 0);
    EXPECT_EQ(e.row(0)->icon(0).cacheKey(), TagImage(imgLinkTag).cacheKey());
}

TEST(LinkEditor, TheFirstParameterNamesTheTagAndDeleteMovesRowsUp) {
    Editor e;
    e.edit->DecodeLink("link={T&a=1;b=2;c=3};_id=\"1\"");
    e.grid()->FocusCell(1, 1);
    e.grid()->setFocus();
    QTest::keyClick(e.grid(), Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), "bc");
    EXPECT_EQ(e.row(0)->text(0), "abc"); // on every keystroke
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    e.grid()->FocusCell(1, 1);
    QTest::keyClick(e.grid(), Qt::Key_Delete);
    EXPECT_EQ(e.grid()->RowCount(), 3);
    EXPECT_EQ(e.cell(1, 1), "b");
    EXPECT_EQ(e.row(0)->text(0), "b"); // the tag takes the new first name
    QTest::keyClick(e.grid(), Qt::Key_Delete);
    QTest::keyClick(e.grid(), Qt::Key_Delete); // two rows: row 1 is emptied
    EXPECT_EQ(e.grid()->RowCount(), 2);
    EXPECT_EQ(e.cell(1, 1), "");
}

TEST(LinkEditor, EmptyRowsBetweenParametersAreNotCommitted) {
    Editor e;
    e.edit->DecodeLink("link={T&a=1;b=2};_id=\"1\"");
    e.grid()->SetRowCount(4);
    e.grid()->SetCells(1, 3, "b");
    e.grid()->SetCells(2, 3, "2");
    e.grid()->SetCells(1, 2, "");
    e.grid()->SetCells(2, 2, "");
    e.edit->Commit();
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(0)), "a=1;b=2"); // parses again
    // A grid whose only row is empty gives "=", and no tag next time.
    e.grid()->SetRowCount(2);
    e.grid()->SetCells(1, 1, "");
    e.grid()->SetCells(2, 1, "");
    e.edit->Commit();
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(0)), "=");
    const std::string link = e.edit->EncodeLink();
    e.edit->DecodeLink(link);
    EXPECT_EQ(e.rows(), 0);
}

TEST(LinkEditor, ClipboardCopiesAndPastesTagTexts) {
    Editor e;
    e.edit->DecodeLink(kTwoTags);
    e.PointerOnRow(0);
    e.ListKey(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "pointer=\"frm\";Caption=\"Abrir\"");
    QGuiApplication::clipboard()->setText("z=9;y=\"8\"");
    e.ListKey(Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier); // either letter case
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(0)), "z=9;y=\"8\"");
    EXPECT_EQ(e.row(0)->text(0), "pointer"); // name and label stay
    EXPECT_EQ(e.cell(1, 1), "z");
    // A text that is no command list fails when the grid is filled.
    ShownMessages shown;
    QGuiApplication::clipboard()->setText("a=");
    e.ListKey(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"Syntax error in command line"}));
}

TEST(LinkEditor, ARowWithoutSubItemsCannotBeEncoded) {
    Editor e;
    e.edit->DecodeLink("link={T};_id=\"1\"");
    // A row that never received its sub-items (the window gives every row it
    // makes its sub-items before anything reads them).
    auto* bare = new QTreeWidgetItem(e.list(), QStringList{"x"});
    EXPECT_FALSE(TfrmLkEdit::HasSubItems(bare));
    try {
        e.edit->EncodeLink();
        FAIL();
    } catch (const EListError& error) {
        EXPECT_EQ(error.Message, "List index out of bounds (1)");
    }
    EXPECT_THROW(TfrmLkEdit::SetRowText(bare, "x=1"), EListError);
    EXPECT_FALSE(TfrmLkEdit::HasSubItems(bare)); // nothing changed
}

namespace {
// Presses a button of the nested editor that is up.
void Press(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(button);
    ASSERT_NE(b, nullptr);
    b->click();
}
} // namespace

TEST(LinkEditor, NestedEditorsForLinkTags) {
    Editor e;
    e.edit->DecodeLink("link={T&link={U&p=1};_id=\"1\"};_id=\"2\"");
    ASSERT_EQ(e.rows(), 1);
    // OK: the tag gets the nested editor's link; a nested editor inside it.
    WhenModal([&](QWidget* dialog) {
        auto* nested = qobject_cast<TfrmLkEdit*>(dialog);
        ASSERT_NE(nested, nullptr);
        EXPECT_EQ(nested->windowTitle(), "Editar Link");
        EXPECT_TRUE(Child<QWidget>(nested, "Panel2")->isVisible());
        EXPECT_EQ(Child<QLineEdit>(nested, "Edit2")->text(), "U");
        Child<TPalGrid>(nested, "StringGrid2")->SetCells(2, 1, "2");
        Press(dialog, "Button1");
    });
    e.edit->NestedEditing();
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(0)), "link={U&p=2};_id=\"1\"");
    EXPECT_EQ(e.cell(1, 1), "link");

    // Cancel keeps a row that has a text.
    WhenModal([](QWidget* dialog) { Press(dialog, "Button2"); });
    e.edit->NestedEditing();
    EXPECT_EQ(e.rows(), 1);

    // A new "link" row cancelled with an empty text goes; identifiers drawn stay drawn.
    QTreeWidgetItem* fresh = new QTreeWidgetItem(e.list());
    e.edit->SetRowCaption(fresh, "link");
    TfrmLkEdit::GiveSubItems(fresh);
    e.PointerOnRow(1);
    ASSERT_TRUE(e.edit->SelectRow(fresh));
    TfrmLkEdit::SetRowText(fresh, "");
    WhenModal([&](QWidget* dialog) {
        auto* nested = qobject_cast<TfrmLkEdit*>(dialog);
        EXPECT_EQ(Child<QLineEdit>(nested, "Edit4")->text(), "100");
        Press(dialog, "Button2");
    });
    e.edit->NestedEditing();
    EXPECT_EQ(e.rows(), 1);
    EXPECT_EQ(e.next, 101);
}

TEST(LinkEditor, NestedInsideNestedAndAnOkThatCannotEncodeStaysOpen) {
    Editor e;
    e.edit->DecodeLink("link={T&link={U&link={V};_id=\"1\"};_id=\"2\"};_id=\"3\"");
    ShownMessages shown;
    WhenModal([&](QWidget* outer) {
        auto* nested = qobject_cast<TfrmLkEdit*>(outer);
        ASSERT_EQ(Child<TTagListView>(nested, "ListView1")->topLevelItemCount(), 1);
        WhenModal([&](QWidget* inner) {
            EXPECT_NE(inner, outer);
            EXPECT_EQ(Child<QLineEdit>(inner, "Edit2")->text(), "V");
            Press(inner, "Button1");
            // Back in the outer dialog: a row without sub-items makes OK fail.
            QTimer::singleShot(0, [&, outer, nested] {
                new QTreeWidgetItem(Child<TTagListView>(nested, "ListView1"), QStringList{"x"});
                Press(outer, "Button1");
                EXPECT_TRUE(outer->isVisible()); // the error was shown, the dialog stays
                Press(outer, "Button2");
            });
        });
        nested->NestedEditing();
    });
    e.edit->NestedEditing();
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"List index out of bounds (1)"}));
    EXPECT_EQ(TfrmLkEdit::RowText(e.row(0)), "link={U&link={V};_id=\"1\"};_id=\"2\""); // cancelled outside
}

TEST(LinkEditor, TheFieldsTakeNoInputYetTheirTextCanBeCopiedAndTheKeywordButtonIsReachable) {
    Editor e;
    e.edit->DecodeLink(kTwoTags);
    EXPECT_TRUE(Child<QPushButton>(e.edit, "Button4")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(e.edit, "Button4")->isVisible());
    EXPECT_NE(Child<QPushButton>(e.edit, "Button4")->focusPolicy() & Qt::TabFocus, 0);
    // Typed into, a field keeps its text; selected, it is copied.
    Child<QLineEdit>(e.edit, "Edit2")->setFocus();
    QTest::keyClicks(Child<QLineEdit>(e.edit, "Edit2"), "xyz");
    EXPECT_EQ(Child<QLineEdit>(e.edit, "Edit2")->text(), "T");
    EXPECT_TRUE(Child<QLineEdit>(e.edit, "Edit2")->isReadOnly());
    QTest::keyClick(Child<QLineEdit>(e.edit, "Edit2"), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Child<QLineEdit>(e.edit, "Edit2"), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "T");
    EXPECT_FALSE(Child<QComboBox>(e.edit, "ComboBox1")->isEnabled());                   // no choice to make
    EXPECT_EQ(Child<QPlainTextEdit>(e.edit, "Memo1")->focusPolicy() & Qt::TabFocus, 0); // skipped by Tab
    EXPECT_FALSE(e.edit->Edited());
}

TEST(LinkEditor, EveryLinkOfTheCorpusLookedAtComesBackAsItCame) {
    Editor e;
    std::mt19937 rng(7);
    for (int i = 0; i < 150; ++i) {
        const std::string link = RandomLink(rng, {.Canonical = i % 3 == 0});
        SCOPED_TRACE(link);
        e.edit->DecodeLink(link);
        // Every tag looked at, its parameters shown in the grid.
        for (int r = 0; r < e.rows(); ++r) e.ClickRow(r);
        EXPECT_EQ(e.edit->LinkToStore(), link);
        // The raw text box opened and closed again changes nothing either.
        e.edit->SetRawEditing(true);
        EXPECT_EQ(FromQString(Child<QPlainTextEdit>(e.edit, "Memo1")->toPlainText()), link);
        EXPECT_EQ(e.edit->LinkToStore(), link);
        e.edit->SetRawEditing(false);
    }
}
