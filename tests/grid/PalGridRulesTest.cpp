// The grid's rules where the link editor leans on them: leaving the grid,
// which cells count as editable, the order of key handling, and the life of
// rows that append themselves.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "GridFixture.h"
#include "platform/Exceptions.h"

using namespace elo;
using namespace elo::test;

namespace {
void MouseTo(QWidget* widget, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}
} // namespace

// ---- leaving the grid -------------------------------------------------------------

TEST(PalGridLeaving, AClickElsewhereFromAnEmptyAppendedRowKeepsTheFocusThere) {
    Fixture f;
    int exits = 0;
    f.grid->OnRowExit = [&](TPalGrid&, int) { ++exits; };
    f.grid->SetCells(1, 1, "p");
    f.grid->SetCells(2, 1, "v");
    f.grid->FocusCell(2, 1);
    f.Key(Qt::Key_F2);
    f.Key(Qt::Key_Return); // last parameter: a new empty row, its editor open
    ASSERT_EQ(f.grid->RowCount(), 3);
    ASSERT_TRUE(f.grid->EditorMode());
    exits = 0;
    QTest::mouseClick(f.after, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(f.grid->RowCount(), 2); // the empty row went
    EXPECT_TRUE(f.after->hasFocus()); // and the focus stayed where it was put
    EXPECT_EQ(exits, 1);
}

TEST(PalGridLeaving, ARaisingExitHandlerTakesTheFocusBack) {
    Fixture f;
    f.grid->SetCells(1, 1, "p");
    f.grid->FocusCell(1, 1);
    f.Key(Qt::Key_F2);
    ShownMessages shown;
    f.grid->OnCellExit = [](TPalGrid&, int, int) { throw Exception("stay"); };
    QTest::mouseClick(f.after, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"stay"}));
    EXPECT_FALSE(f.after->hasFocus());
    EXPECT_TRUE(f.grid->EditorMode());
}

// ---- which cells count as editable ----------------------------------------------

TEST(PalGridEditability, AVetoedCheckBoxCellIgnoresClicksAndTheCurrentCellIsNotSelectedAgain) {
    Fixture f;
    f.grid->SetCells(0, 1, "0");
    f.grid->FocusCell(0, 1);
    int selects = 0;
    f.grid->OnSelectCell = [&](TCustomStringGrid&, int, int, bool&) { ++selects; };
    f.grid->OnCanEditCell = [](TPalGrid&, int, int, bool& can) { can = false; };
    f.Click(0, 1);
    EXPECT_EQ(f.grid->Cells(0, 1), "0");
    EXPECT_EQ(selects, 0); // a click on the current cell asks nobody to select it
    f.grid->OnCanEditCell = nullptr;
    f.grid->SetOptions(dgeEditing | dgeRowSelect);
    f.Click(0, 1);
    EXPECT_EQ(f.grid->Cells(0, 1), "0"); // rows selected whole: nothing is edited
    f.grid->SetOptions(dgeEditing);
    f.Click(0, 1);
    EXPECT_EQ(f.grid->Cells(0, 1), "1");
}

TEST(PalGridEditability, TypingOnAReadOnlyCellChangesNothing) {
    Fixture f;
    f.grid->OnGetEditStyle = [](TPalGrid&, int, int, TEditStyle&, bool& readOnly) { readOnly = true; };
    f.grid->SetCells(1, 1, "keep");
    f.grid->FocusCell(1, 1);
    f.Type("x");
    EXPECT_EQ(f.grid->Cells(1, 1), "keep");
    EXPECT_TRUE(f.grid->EditorMode()); // shown, read-only
}

// ---- key order and forwarding -------------------------------------------------------

TEST(PalGridKeys, TheKeyHandlerRunsAfterTheGridsOwnSteps) {
    Fixture f;
    f.grid->SetCells(1, 1, "p");
    f.grid->FocusCell(1, 1);
    int rowsSeen = 0;
    QString textSeen;
    f.grid->OnKeyDown = [&](TCustomStringGrid& g, int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Down) rowsSeen = g.RowCount();
        if (key == Qt::Key_Escape) textSeen = g.Cells(1, 1);
    };
    f.Key(Qt::Key_Down);
    EXPECT_EQ(rowsSeen, 3); // the new empty row was there before the handler ran
    f.grid->FocusCell(1, 1);
    f.Key(Qt::Key_F2);
    f.Type("qq");
    f.Key(Qt::Key_Escape);
    EXPECT_EQ(textSeen, "p"); // Escape's restore came first
}

TEST(PalGridKeys, TheCheckBoxEditorPassesItsKeysOnToTheGrid) {
    Fixture f;
    f.grid->SetRowCount(4);
    f.grid->SetCells(0, 1, "1");
    std::vector<int> keys;
    f.grid->OnKeyDown = [&](TCustomStringGrid&, int& key, Qt::KeyboardModifiers) {
        if (key != Qt::Key_Control) keys.push_back(key);
    };
    f.Click(0, 1);
    f.Click(0, 1, QPoint(2, 2)); // the check box editor is open now, the box untouched
    ASSERT_TRUE(f.grid->EditorMode());
    ASSERT_TRUE(f.grid->InplaceEditor()->hasFocus());
    f.Key(Qt::Key_Delete);
    f.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Delete, Qt::Key_End}));
    EXPECT_EQ(f.grid->Row(), 3);
    EXPECT_EQ(f.grid->Cells(0, 1), "1"); // no typing into the box
}

// ---- the rows' life ----------------------------------------------------------------

TEST(PalGridRows, EnterRemovesItsUnusedRowWithTheRowDeletionSteps) {
    Fixture f;
    f.grid->SetCells(2, 1, "v");
    f.grid->FocusCell(2, 1);
    std::vector<int> deleted;
    f.grid->OnDeleteRow = [&](TPalGrid&, int row) { deleted.push_back(row); };
    // The next row is not editable: Enter appends, leaves the cell, and the
    // exit handler refuses.
    f.grid->OnCanEditCell = [](TPalGrid&, int, int row, bool& can) { can = row < 2; };
    f.grid->OnCellExit = [](TPalGrid&, int, int) { throw EAbort(); };
    f.Key(Qt::Key_Return);
    EXPECT_EQ(f.grid->RowCount(), 2);
    EXPECT_EQ(deleted, (std::vector<int>{2}));
}

TEST(PalGridRows, NoGridLinesAndNoHorizontalBarWithProportionalColumns) {
    TPalGrid grid;
    EXPECT_EQ(grid.GridLineWidth(), 1); // the toolkit's width is kept ...
    grid.SetColCount(3);
    grid.SetFixedCols(0);
    grid.SetColWidths(0, 30);
    grid.resize(400, 200);
    EXPECT_EQ(grid.CellRect(1, 1).left() - grid.CellRect(0, 1).left(), 30); // ... but no line is drawn
    grid.SetOptions(dgeProportionalColResize | dgeEditing);
    grid.show();
    grid.SetColWidths(1, 900); // wider than the grid
    grid.resize(300, 200);
    QApplication::processEvents();
    for (QScrollBar* bar : grid.findChildren<QScrollBar*>()) {
        if (bar->orientation() == Qt::Horizontal) {
            EXPECT_FALSE(bar->isVisible());
        }
    }
}

TEST(PalGridRows, RowsSizeByMouseInTheFixedColumnAndRangesSelectByDragging) {
    Fixture f;
    f.grid->SetRowCount(4);
    f.grid->SetFixedCols(1);
    f.grid->SetOptions(dgeRowSizing | dgeEditing | dgeRangeSelect);
    const QRect first = f.grid->CellRect(0, 1);
    const QPoint border(first.center().x(), first.bottom() + 1);
    QTest::mousePress(f.grid, Qt::LeftButton, Qt::NoModifier, border);
    MouseTo(f.grid, border + QPoint(0, 15), Qt::LeftButton);
    QTest::mouseRelease(f.grid, Qt::LeftButton, Qt::NoModifier, border + QPoint(0, 15));
    EXPECT_EQ(f.grid->RowHeights(1), 35);

    QTest::mousePress(f.grid, Qt::LeftButton, Qt::NoModifier, f.grid->CellRect(1, 1).center());
    MouseTo(f.grid, f.grid->CellRect(2, 3).center(), Qt::LeftButton);
    QTest::mouseRelease(f.grid, Qt::LeftButton, Qt::NoModifier, f.grid->CellRect(2, 3).center());
    EXPECT_EQ(f.grid->Selection(), QRect(QPoint(1, 1), QPoint(2, 3)));
    EXPECT_FALSE(f.grid->GridOptions() & goEditing); // released elsewhere: still selecting ranges
    f.Click(1, 2);
    EXPECT_TRUE(f.grid->GridOptions() & goEditing); // a click on one cell: editing again
}

TEST(PalGridRows, APickListSelectsByDraggingFromItsButton) {
    Fixture f;
    f.grid->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
        if (col == 2) style = edsPickList;
    };
    f.grid->OnGetListItems = [](TPalGrid&, QStringList& list, std::vector<void*>&) { list = {"a", "b", "c"}; };
    f.grid->FocusCell(2, 1);
    f.Key(Qt::Key_F2);
    auto* editor = static_cast<TPalInplaceEdit*>(f.grid->InplaceEditor());
    const QPoint button = editor->ButtonRect().center();
    QTest::mousePress(editor, Qt::LeftButton, Qt::NoModifier, button);
    ASSERT_TRUE(editor->DroppedDown());
    TPopupListbox* list = editor->ActiveList();
    const QRect third = list->visualItemRect(list->item(2));
    const QPoint over = editor->mapFromGlobal(list->viewport()->mapToGlobal(third.center()));
    MouseTo(editor, over, Qt::LeftButton);
    QTest::mouseRelease(editor, Qt::LeftButton, Qt::NoModifier, over);
    EXPECT_FALSE(editor->DroppedDown());
    EXPECT_EQ(f.grid->Cells(2, 1), "c");
}
