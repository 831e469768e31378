// The grid as the link editor configures it, in a window with a line edit
// after it for the focus to move to; driven with QTest keys and clicks.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

#include "grid/PalGrid.h"
#include "platform/MessageHook.h"
#include "support/ShownMessages.h"

namespace elo::test {

// A window with the grid as the link editor configures it, and a line edit
// after it for the focus to move to.
struct Fixture {
    explicit Fixture(int cols = 3) {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        grid = new TPalGrid;
        after = new QLineEdit;
        layout->addWidget(grid);
        layout->addWidget(after);
        grid->SetColCount(cols);
        grid->SetFixedCols(0);
        grid->SetRowCount(2);
        grid->SetFixedRows(1);
        grid->SetGridLineWidth(0);
        const int widths[] = {23, 85, 191, 80};
        for (int c = 0; c < cols; ++c) grid->SetColWidths(c, widths[c % 4]);
        grid->SetOptions(dgeColSizing | dgeEditing | dgeAutoAppendRows | dgeArrowKeyActive);
        grid->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
            if (col == 0) style = edsCheckBox;
        };
        grid->SetCells(0, 0, "Var");
        grid->SetCells(1, 0, "Item");
        grid->SetCells(2, 0, "Conteudo");
        window->resize(500, 260);
        window->show();
        grid->setFocus();
        QApplication::processEvents();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid;
        QTest::keyClick(target, key, mods);
        QApplication::processEvents();
    }
    void Type(const QString& text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid;
        QTest::keyClicks(target, text);
        QApplication::processEvents();
    }
    void Click(int col, int row, QPoint offset = QPoint(-1, -1)) {
        const QRect r = grid->CellRect(col, row);
        const QPoint at = offset.x() < 0 ? r.center() : r.topLeft() + offset;
        QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, at);
        QApplication::processEvents();
    }
    std::unique_ptr<QWidget> window;
    TPalGrid* grid;
    QLineEdit* after;
};

} // namespace elo::test
