// The palette grid driven as a person drives it: QTest keys and clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

#include "GridFixture.h"
#include "grid/PalGrid.h"
#include "platform/Exceptions.h"
#include "platform/MessageHook.h"

using namespace elo;
using namespace elo::test;

TEST(PalGrid, DownAppendsARowOnlyFromAFilledLastRowAndLeavingItEmptyRemovesIt) {
    Fixture f;
    f.grid->FocusCell(1, 1);
    f.Key(Qt::Key_Down); // the only row is empty: nothing to append
    EXPECT_EQ(f.grid->RowCount(), 2);
    EXPECT_EQ(f.grid->Row(), 1);
    f.grid->SetCells(1, 1, "pointer");
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.grid->RowCount(), 3);
    EXPECT_EQ(f.grid->Row(), 2);
    f.Key(Qt::Key_Down); // the new row is empty: no further row
    EXPECT_EQ(f.grid->RowCount(), 3);
    f.Key(Qt::Key_Up); // leaving it empty removes it
    EXPECT_EQ(f.grid->RowCount(), 2);
    EXPECT_EQ(f.grid->Row(), 1);
    // The only row stays, empty or not.
    f.grid->SetCells(1, 1, "");
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.grid->RowCount(), 2);
}

TEST(PalGrid, TheKeyColumnDecidesWhetherARowIsEmpty) {
    Fixture f;
    f.grid->KeyCol = 1;
    f.grid->SetCells(2, 1, "value only");
    EXPECT_TRUE(f.grid->IsRowEmpty(1));
    f.grid->FocusCell(2, 1);
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.grid->RowCount(), 2); // its key cell is empty
    f.grid->KeyCol = -1;
    EXPECT_FALSE(f.grid->IsRowEmpty(1));
}

TEST(PalGrid, EnterWalksToTheNextEditableCellAndAppendsAtTheEnd) {
    Fixture f;
    f.grid->FocusCell(1, 1);
    f.Type("name");
    f.Key(Qt::Key_Return);
    EXPECT_EQ(f.grid->Col(), 2);
    EXPECT_TRUE(f.grid->EditorMode());
    f.Type("value");
    f.Key(Qt::Key_Return); // last editable cell of the last row
    EXPECT_EQ(f.grid->RowCount(), 3);
    EXPECT_EQ(f.grid->Row(), 2);
    EXPECT_EQ(f.grid->Col(), 0); // the first editable column
    EXPECT_EQ(f.grid->Cells(1, 1), "name");
    EXPECT_EQ(f.grid->Cells(2, 1), "value");
}

TEST(PalGrid, EnterBehindAnEmptyKeyColumnLeavesTheGrid) {
    Fixture f(4);
    f.grid->KeyCol = 1;
    f.grid->SetOptions(dgeEditing | dgeArrowKeyActive); // no appending
    std::vector<std::string> events;
    f.grid->OnCellExit = [&](TPalGrid&, int c, int r) {
        events.push_back("exit " + std::to_string(c) + "," + std::to_string(r));
    };
    f.grid->OnRowExit = [&](TPalGrid&, int r) { events.push_back("row " + std::to_string(r)); };
    f.grid->FocusCell(2, 1);
    f.grid->setFocus();
    QApplication::processEvents();
    events.clear();
    f.Key(Qt::Key_Return);
    EXPECT_EQ(events, (std::vector<std::string>{"exit 2,1", "row 1"}));
    EXPECT_EQ(QApplication::focusWidget(), f.after);
    // Leaving by Tab from the editor runs the same events once.
    f.grid->setFocus();
    f.grid->FocusCell(1, 1);
    f.Key(Qt::Key_F2);
    events.clear();
    f.Key(Qt::Key_Tab);
    EXPECT_EQ(events, (std::vector<std::string>{"exit 1,1", "row 1"}));
}

TEST(PalGrid, CheckBoxesToggleByClickInsideTheirBoxOrBySpace) {
    Fixture f;
    f.grid->SetRowCount(5);
    const char* before[] = {"1", "0", "2", ""};
    const char* after[] = {"0", "1", "3", "1"};
    for (int i = 0; i < 4; ++i) {
        f.grid->SetCells(0, i + 1, before[i]);
        f.Click(0, i + 1);
        EXPECT_EQ(f.grid->Cells(0, i + 1), after[i]) << i;
    }
    EXPECT_EQ(TPalGrid::CheckBoxArea(23, 20), QRect(QPoint(0, 1), QPoint(17, 17)));
    // A wider cell: a click beside its box changes nothing.
    f.grid->SetColWidths(0, 80);
    QApplication::processEvents();
    f.grid->FocusCell(1, 1);
    f.grid->SetCells(0, 1, "1");
    f.Click(0, 1, QPoint(3, 10));
    EXPECT_EQ(f.grid->Cells(0, 1), "1");
    f.Click(0, 1, QPoint(40, 10));
    EXPECT_EQ(f.grid->Cells(0, 1), "0");
    // Space toggles from the keyboard.
    f.grid->setFocus();
    f.Key(Qt::Key_Space);
    EXPECT_EQ(f.grid->Cells(0, 1), "1");
}

TEST(PalGrid, EscapeRestoresTheTextTheCellHadWhenEntered) {
    Fixture f;
    f.grid->SetCells(1, 1, "original");
    f.grid->FocusCell(2, 1);
    f.grid->FocusCell(1, 1);
    f.Key(Qt::Key_F2);
    ASSERT_TRUE(f.grid->EditorMode());
    f.Type("changed");
    EXPECT_EQ(f.grid->Cells(1, 1), "changed");
    f.Key(Qt::Key_Escape);
    EXPECT_EQ(f.grid->Cells(1, 1), "original");
}

TEST(PalGrid, OnlyChangedTextsAreStored) {
    Fixture f;
    std::vector<QString> stored;
    f.grid->OnSetEditText = [&](TCustomStringGrid&, int, int, const QString& v) { stored.push_back(v); };
    f.grid->FocusCell(1, 1);
    f.grid->SetCellValue("abc");
    f.grid->SetCellValue("abc");
    EXPECT_EQ(stored.size(), 1u);
    f.Key(Qt::Key_F2);
    f.Type("de");
    EXPECT_EQ(stored.size(), 3u); // every keystroke that changes the text
    EXPECT_EQ(stored.back(), f.grid->Cells(1, 1));
}

TEST(PalGrid, CellAndRowEventsComeInOrder) {
    Fixture f;
    f.grid->SetRowCount(3);
    std::vector<std::string> events;
    auto at = [](int c, int r) { return std::to_string(c) + "," + std::to_string(r); };
    f.grid->OnCellChanged = [&](TPalGrid&, int c, int r) { events.push_back("changed " + at(c, r)); };
    f.grid->OnCellExit = [&](TPalGrid&, int c, int r) { events.push_back("exit " + at(c, r)); };
    f.grid->OnRowExit = [&](TPalGrid&, int r) { events.push_back("row " + std::to_string(r)); };
    f.grid->OnCellEnter = [&](TPalGrid&, int c, int r) { events.push_back("enter " + at(c, r)); };
    f.grid->FocusCell(1, 1);
    events.clear();
    f.grid->SetCells(1, 1, "x");
    f.grid->FocusCell(2, 2);
    EXPECT_EQ(events, (std::vector<std::string>{"changed 1,1", "exit 1,1", "row 1", "enter 2,2"}));
    events.clear();
    f.grid->FocusCell(1, 2); // same row: no row exit, no change
    EXPECT_EQ(events, (std::vector<std::string>{"exit 2,2", "enter 1,2"}));
}

TEST(PalGrid, ARefusedSelectionStaysWhereItWas) {
    Fixture f;
    f.grid->SetRowCount(3);
    f.grid->FocusCell(1, 1);
    f.grid->OnCellExit = [](TPalGrid&, int, int) { throw EAbort(); };
    EXPECT_FALSE(f.grid->FocusCell(1, 2));
    EXPECT_EQ(f.grid->Row(), 1);
}

TEST(PalGrid, PickListHeightAndIncrementalSearch) {
    Fixture f;
    QStringList items = {"alpha", "abacus", "beta"};
    f.grid->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
        if (col == 2) style = edsPickList;
    };
    f.grid->OnGetListItems = [&](TPalGrid&, QStringList& list, std::vector<void*>&) { list = items; };
    QString clicked;
    f.grid->OnListClick = [&](TPalGrid&, const QString& v, void*) { clicked = v; };
    f.grid->FocusCell(2, 1);
    f.Key(Qt::Key_F2);
    auto* editor = static_cast<TPalInplaceEdit*>(f.grid->InplaceEditor());
    ASSERT_EQ(editor->EditStyle(), edsPickList);
    editor->DropDown();
    TPopupListbox* list = editor->ActiveList();
    ASSERT_TRUE(editor->DroppedDown());
    EXPECT_EQ(list->height(), 3 * 11 + 4);
    uint32_t now = 10000;
    list->Clock = [&] { return now; };
    QTest::keyClick(list, Qt::Key_A);
    EXPECT_EQ(list->currentItem()->text(), "alpha");
    now += 500;
    QTest::keyClick(list, Qt::Key_B);
    EXPECT_EQ(list->currentItem()->text(), "abacus"); // "ab" within 2 seconds
    now += 2500;
    QTest::keyClick(list, Qt::Key_B);
    EXPECT_EQ(list->currentItem()->text(), "beta"); // a pause starts a new prefix
    editor->CloseUp(true);
    EXPECT_EQ(f.grid->Cells(2, 1), "beta");
    EXPECT_EQ(clicked, "beta");

    items.clear();
    for (int i = 0; i < 20; ++i) items << QString("item %1").arg(i);
    editor->DropDown();
    EXPECT_EQ(editor->ActiveList()->height(), 8 * 11 + 4);
    editor->CloseUp(false);
    EXPECT_EQ(f.grid->Cells(2, 1), "beta");
}

TEST(PalGrid, OptionsMapOntoTheGridsOwn) {
    Fixture f;
    f.grid->SetOptions(dgeRowSizing);
    f.grid->SetOptions(dgeRowSizing | dgeEditing);
    EXPECT_TRUE(f.grid->GridOptions() & goRowSizing);
    EXPECT_TRUE(f.grid->GridOptions() & goEditing);
    EXPECT_FALSE(f.grid->GridOptions() & goColSizing);
    EXPECT_EQ(f.grid->DefaultRowHeight(), 20);
    EXPECT_EQ(f.grid->KeyCol, -1);
    EXPECT_EQ(f.grid->Style(), gsWeb);
}

TEST(PalGrid, ProportionalColumnsKeepTheirShares) {
    Fixture f;
    int changes = 0;
    f.grid->OnColWidthsChanged = [&](TPalGrid&) { ++changes; };
    f.grid->SetColWidths(0, 100);
    f.grid->SetColWidths(1, 100);
    f.grid->SetColWidths(2, 200);
    f.grid->SetOptions(dgeProportionalColResize | dgeEditing);
    ASSERT_EQ(f.grid->ColPercents().size(), 3u);
    EXPECT_EQ(f.grid->ColPercents()[2], 50);
    f.window->resize(800, 260);
    QApplication::processEvents();
    const int client = f.grid->ClientArea().width();
    EXPECT_EQ(f.grid->ColWidths(0) + f.grid->ColWidths(1) + f.grid->ColWidths(2), client);
    EXPECT_NEAR(f.grid->ColWidths(2), client / 2, 1);
    EXPECT_GT(changes, 0);
}

TEST(PalGrid, ExceptionsFromHandlersStopAtTheEventBoundary) {
    Fixture f;
    f.grid->SetOptions(dgeEditing | dgeArrowKeyActive); // no row to move on to
    f.grid->SetCells(2, 1, "x");
    f.grid->FocusCell(2, 1);
    ShownMessages shown;
    // Enter in the last cell of the last row leaves the cell directly.
    f.grid->OnCellExit = [](TPalGrid&, int, int) { throw Exception("no way out"); };
    f.Key(Qt::Key_Return);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"no way out"}));
    EXPECT_EQ(f.grid->Col(), 2);
    EXPECT_EQ(f.grid->Row(), 1);
    EXPECT_FALSE(f.after->hasFocus());
    // The silent veto shows nothing.
    f.grid->OnCellExit = [](TPalGrid&, int, int) { throw EAbort(); };
    f.Key(Qt::Key_Return);
    EXPECT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(f.grid->Row(), 1);
    // A key handler's error: shown, and the grid goes on.
    f.grid->OnKeyDown = [](TCustomStringGrid&, int&, Qt::KeyboardModifiers) { throw Exception("key"); };
    f.Key(Qt::Key_Up);
    EXPECT_EQ(shown.texts.back(), "key");
}

TEST(PalGrid, ThePickListGoesWithItsEditor) {
    QPointer<TPopupListbox> list;
    {
        Fixture f;
        f.grid->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
            if (col == 2) style = edsPickList;
        };
        f.grid->FocusCell(2, 1);
        f.Key(Qt::Key_F2);
        auto* editor = static_cast<TPalInplaceEdit*>(f.grid->InplaceEditor());
        list = editor->PickList();
        ASSERT_TRUE(list);
        EXPECT_TRUE(list->isWindow()); // a window of its own, yet owned
    }
    EXPECT_TRUE(list.isNull());
}
