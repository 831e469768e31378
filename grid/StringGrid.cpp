#include "StringGrid.h"

#include "PalPaint.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>

#include "qtedge/EventBoundary.h"

namespace elo {

// ---- TInplaceEdit --------------------------------------------------------------------

TInplaceEdit::TInplaceEdit(TCustomStringGrid* grid) : QLineEdit(grid), FGrid(grid) {
    setFrame(false);
    // Not a stop of the Tab key: Tab leaves the grid (see TPalInplaceEdit).
    setFocusPolicy(Qt::ClickFocus);
    hide();
    connect(this, &QLineEdit::textEdited, this,
            [this](const QString& text) { Guard([&] { FGrid->SetEditText(FGrid->Col(), FGrid->Row(), text); }); });
}

void TInplaceEdit::UpdateContents() {
    const QSignalBlocker quiet(this);
    setText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
}

void TInplaceEdit::Move(const QRect& rect) {
    setGeometry(rect);
    show();
}

void TInplaceEdit::keyPressEvent(QKeyEvent* event) {
    Guard([&] { KeyDown(event); });
}

void TInplaceEdit::KeyDown(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Escape:
        QApplication::sendEvent(FGrid, event);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QApplication::sendEvent(FGrid, event);
        return;
    case Qt::Key_Left:
        if (cursorPosition() == 0 && !hasSelectedText()) {
            QApplication::sendEvent(FGrid, event);
            return;
        }
        break;
    case Qt::Key_Right:
        if (cursorPosition() == text().size() && !hasSelectedText()) {
            QApplication::sendEvent(FGrid, event);
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

// ---- TCustomStringGrid ------------------------------------------------------------------

TCustomStringGrid::TCustomStringGrid(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FVScroll = new QScrollBar(Qt::Vertical, this);
    FHScroll = new QScrollBar(Qt::Horizontal, this);
    FVScroll->hide();
    FHScroll->hide();
    connect(FVScroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (FUpdatingScroll) return;
        FTopRow = value;
        if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
        update();
    });
    connect(FHScroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (FUpdatingScroll) return;
        FLeftCol = value;
        if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
        update();
    });
    SetColCount(5);
    SetRowCount(5);
    SetFixedCols(1);
    SetFixedRows(1);
}

TCustomStringGrid::~TCustomStringGrid() = default;

void TCustomStringGrid::SetColCount(int count) {
    count = std::max(count, 1);
    FColCount = count;
    for (auto& row : FRows) row.resize(static_cast<size_t>(count));
    FColWidths.resize(static_cast<size_t>(count), FDefaultColWidth);
    FFixedCols = std::min(FFixedCols, count - 1 < 0 ? 0 : count);
    if (FCol >= count) FCol = count - 1;
    FLeftCol = std::clamp(FLeftCol, FFixedCols, std::max(FFixedCols, count - 1));
    UpdateScrollBars();
    SizeChanged();
    update();
}

void TCustomStringGrid::SetRowCount(int count) {
    count = std::max(count, 1);
    FRows.resize(static_cast<size_t>(count));
    for (auto& row : FRows) row.resize(static_cast<size_t>(FColCount));
    FRowHeights.resize(static_cast<size_t>(count), FDefaultRowHeight);
    if (FRow >= count) FRow = count - 1;
    FTopRow = std::clamp(FTopRow, FFixedRows, std::max(FFixedRows, count - 1));
    UpdateScrollBars();
    SizeChanged();
    if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
    update();
}

void TCustomStringGrid::SetFixedCols(int count) {
    const int old = FFixedCols;
    FFixedCols = std::clamp(count, 0, FColCount - 1);
    if (FCol < FFixedCols) FCol = FFixedCols;
    // The first scrolling column follows the fixed ones: with fewer fixed
    // columns the view starts at the first column that is free again.
    if (FLeftCol == old || FLeftCol < FFixedCols) FLeftCol = FFixedCols;
    UpdateScrollBars();
    update();
}

void TCustomStringGrid::SetFixedRows(int count) {
    const int old = FFixedRows;
    FFixedRows = std::clamp(count, 0, RowCount() - 1);
    if (FRow < FFixedRows) FRow = FFixedRows;
    if (FTopRow == old || FTopRow < FFixedRows) FTopRow = FFixedRows;
    UpdateScrollBars();
    update();
}

QString TCustomStringGrid::Cells(int col, int row) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= FColCount) return {};
    return FRows[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

void TCustomStringGrid::SetCells(int col, int row, const QString& text) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= FColCount) return;
    FRows[static_cast<size_t>(row)][static_cast<size_t>(col)] = text;
    if (EditorMode() && col == FCol && row == FRow) FEditor->UpdateContents();
    InvalidateCell(col, row);
}

int TCustomStringGrid::ColWidths(int col) const {
    return col >= 0 && col < FColCount ? FColWidths[static_cast<size_t>(col)] : 0;
}

void TCustomStringGrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= FColCount) return;
    FColWidths[static_cast<size_t>(col)] = std::max(width, 0);
    UpdateScrollBars();
    ColWidthsChanged();
    if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
    update();
}

int TCustomStringGrid::RowHeights(int row) const {
    return row >= 0 && row < RowCount() ? FRowHeights[static_cast<size_t>(row)] : 0;
}

void TCustomStringGrid::SetRowHeights(int row, int height) {
    if (row < 0 || row >= RowCount()) return;
    FRowHeights[static_cast<size_t>(row)] = std::max(height, 0);
    UpdateScrollBars();
    update();
}

void TCustomStringGrid::SetDefaultColWidth(int width) {
    FDefaultColWidth = width;
    std::fill(FColWidths.begin(), FColWidths.end(), width);
    UpdateScrollBars();
    update();
}

void TCustomStringGrid::SetDefaultRowHeight(int height) {
    FDefaultRowHeight = height;
    std::fill(FRowHeights.begin(), FRowHeights.end(), height);
    UpdateScrollBars();
    update();
}

void TCustomStringGrid::SetGridLineWidth(int width) {
    FGridLineWidth = std::max(width, 0);
    UpdateScrollBars();
    update();
}

void TCustomStringGrid::SetGridOptions(TGridOptions options) {
    FGridOptions = options;
    if (!(options & goEditing))
        HideEditor();
    else if ((options & goAlwaysShowEditor) && hasFocus())
        ShowEditor();
    update();
}

QRect TCustomStringGrid::ClientArea() const {
    const int b = BorderWidth();
    QRect r = rect().adjusted(b, b, -b, -b);
    if (FVScroll->isVisible()) r.setRight(r.right() - FVScroll->width());
    if (FHScroll->isVisible()) r.setBottom(r.bottom() - FHScroll->height());
    return r;
}

QRect TCustomStringGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= FColCount || row < 0 || row >= RowCount()) return {};
    const QRect area = ClientArea();
    auto position = [&](int index, int fixed, int first, const std::vector<int>& sizes, int line, int start,
                        int limit) {
        int at = start;
        if (index < fixed) {
            for (int i = 0; i < index; ++i) at += sizes[static_cast<size_t>(i)] + line;
            return at;
        }
        for (int i = 0; i < fixed; ++i) at += sizes[static_cast<size_t>(i)] + line;
        if (index < first) return limit + 1; // scrolled out of view
        for (int i = first; i < index && at <= limit; ++i) at += sizes[static_cast<size_t>(i)] + line;
        return at;
    };
    const int x = position(col, FFixedCols, FLeftCol, FColWidths, ColLineWidth(), area.left(), area.right());
    const int y = position(row, FFixedRows, FTopRow, FRowHeights, RowLineWidth(), area.top(), area.bottom());
    if (x > area.right() || y > area.bottom()) return {};
    return QRect(x, y, ColWidths(col), RowHeights(row));
}

bool TCustomStringGrid::MouseToCell(const QPoint& point, int& col, int& row) const {
    const QRect area = ClientArea();
    if (!area.contains(point)) return false;
    auto find = [&](int coordinate, int fixed, int first, const std::vector<int>& sizes, int line, int start,
                    int count) {
        int at = start;
        for (int i = 0; i < count; ++i) {
            if (i >= fixed && i < first) continue;
            const int next = at + sizes[static_cast<size_t>(i)] + line;
            if (coordinate >= at && coordinate < next) return i;
            at = next;
        }
        return -1;
    };
    col = find(point.x(), FFixedCols, FLeftCol, FColWidths, ColLineWidth(), area.left(), FColCount);
    row = find(point.y(), FFixedRows, FTopRow, FRowHeights, RowLineWidth(), area.top(), RowCount());
    return col >= 0 && row >= 0;
}

void TCustomStringGrid::InvalidateCell(int col, int row) {
    const QRect r = CellRect(col, row);
    if (!r.isEmpty()) update(r.adjusted(-1, -1, 1, 1));
}

int TCustomStringGrid::VisibleRowCount() const {
    const QRect area = ClientArea();
    int y = area.top();
    for (int i = 0; i < FFixedRows; ++i) y += RowHeights(i) + RowLineWidth();
    int n = 0;
    for (int r = FTopRow; r < RowCount() && y + RowHeights(r) <= area.bottom() + 1; ++r, ++n)
        y += RowHeights(r) + RowLineWidth();
    return n;
}

void TCustomStringGrid::UpdateScrollBars() {
    if (!FVScroll) return;
    FUpdatingScroll = true;
    const int b = BorderWidth();
    const QRect all = rect().adjusted(b, b, -b, -b);
    auto extent = [&](const std::vector<int>& sizes, int from, int line) {
        int total = 0;
        for (size_t i = static_cast<size_t>(from); i < sizes.size(); ++i) total += sizes[i] + line;
        return total;
    };
    auto fixedExtent = [&](const std::vector<int>& sizes, int fixed, int line) {
        int total = 0;
        for (int i = 0; i < fixed; ++i) total += sizes[static_cast<size_t>(i)] + line;
        return total;
    };
    const int rowLine = RowLineWidth(), colLine = ColLineWidth();
    const int sb = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int allRows = fixedExtent(FRowHeights, FFixedRows, rowLine) + extent(FRowHeights, FFixedRows, rowLine);
    const int allCols = fixedExtent(FColWidths, FFixedCols, colLine) + extent(FColWidths, FFixedCols, colLine);
    bool needV = allRows > all.height();
    bool needH = FHorizontalAllowed && allCols > all.width() - (needV ? sb : 0);
    if (needH && !needV) needV = allRows > all.height() - sb;
    FVScroll->setVisible(needV);
    FHScroll->setVisible(needH);
    FVScroll->setGeometry(all.right() - sb + 1, all.top(), sb, all.height() - (needH ? sb : 0));
    FHScroll->setGeometry(all.left(), all.bottom() - sb + 1, all.width() - (needV ? sb : 0), sb);
    // The largest first row (column) that still fills the view.
    auto maxFirst = [&](const std::vector<int>& sizes, int fixed, int line, int room) {
        int last = static_cast<int>(sizes.size()) - 1;
        int used = 0;
        int first = last;
        for (int i = last; i >= fixed; --i) {
            used += sizes[static_cast<size_t>(i)] + line;
            if (used > room) break;
            first = i;
        }
        return std::max(first, fixed);
    };
    const QRect area = ClientArea();
    const int maxTop =
        maxFirst(FRowHeights, FFixedRows, rowLine, area.height() - fixedExtent(FRowHeights, FFixedRows, rowLine));
    const int maxLeft =
        maxFirst(FColWidths, FFixedCols, colLine, area.width() - fixedExtent(FColWidths, FFixedCols, colLine));
    FTopRow = std::clamp(FTopRow, FFixedRows, std::max(FFixedRows, maxTop));
    FLeftCol = std::clamp(FLeftCol, FFixedCols, std::max(FFixedCols, maxLeft));
    FVScroll->setRange(FFixedRows, std::max(FFixedRows, maxTop));
    FVScroll->setValue(FTopRow);
    FHScroll->setRange(FFixedCols, std::max(FFixedCols, maxLeft));
    FHScroll->setValue(FLeftCol);
    FUpdatingScroll = false;
}

void TCustomStringGrid::SetHorizontalScrollBar(bool allowed) {
    FHorizontalAllowed = allowed;
    UpdateScrollBars();
    update();
}

QRect TCustomStringGrid::Selection() const {
    if (!(FGridOptions & goRangeSelect)) return QRect(QPoint(FCol, FRow), QPoint(FCol, FRow));
    return QRect(QPoint(std::min(FAnchorCol, FCol), std::min(FAnchorRow, FRow)),
                 QPoint(std::max(FAnchorCol, FCol), std::max(FAnchorRow, FRow)));
}

void TCustomStringGrid::SetTopRow(int row) {
    FTopRow = std::clamp(row, FFixedRows, std::max(FFixedRows, RowCount() - 1));
    UpdateScrollBars();
    if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
    update();
}

void TCustomStringGrid::ScrollIntoView(int col, int row) {
    const QRect area = ClientArea();
    if (row >= FFixedRows) {
        if (row < FTopRow) FTopRow = row;
        for (;;) {
            const QRect r = CellRect(FCol == col ? col : FFixedCols, row);
            if (FTopRow >= row || (!r.isEmpty() && r.bottom() <= area.bottom())) break;
            ++FTopRow;
        }
    }
    if (col >= FFixedCols) {
        if (col < FLeftCol) FLeftCol = col;
        for (;;) {
            const QRect r = CellRect(col, FFixedRows < RowCount() ? FFixedRows : 0);
            if (FLeftCol >= col || (!r.isEmpty() && r.right() <= area.right())) break;
            ++FLeftCol;
        }
    }
    UpdateScrollBars();
}

bool TCustomStringGrid::SelectCell(int col, int row) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(*this, col, row, can);
    return can;
}

bool TCustomStringGrid::FocusCell(int col, int row, bool scroll) {
    col = std::clamp(col, FFixedCols, FColCount - 1);
    row = std::clamp(row, FFixedRows, RowCount() - 1);
    if (col == FCol && row == FRow) {
        if (scroll) ScrollIntoView(col, row);
        return true;
    }
    if (!SelectCell(col, row)) return false;
    const bool editing = EditorMode();
    if (editing) HideEditor();
    InvalidateCell(FCol, FRow);
    if (FGridOptions & goRowSelect) update();
    FCol = col;
    FRow = row;
    if (!FSelecting) {
        FAnchorCol = col;
        FAnchorRow = row;
    }
    if (FGridOptions & goRangeSelect) update(); // the range changed
    if (scroll) ScrollIntoView(col, row);
    InvalidateCell(FCol, FRow);
    update();
    if ((FGridOptions & goAlwaysShowEditor) && (FGridOptions & goEditing)) ShowEditor();
    return true;
}

bool TCustomStringGrid::CanEditShow() const {
    return (FGridOptions & goEditing) && !(FGridOptions & goRowSelect) && FCol >= FFixedCols && FRow >= FFixedRows;
}

TInplaceEdit* TCustomStringGrid::CreateEditor() {
    return new TInplaceEdit(this);
}

void TCustomStringGrid::ShowEditor() {
    if (!CanEditShow()) return;
    if (!FEditor) FEditor = CreateEditor();
    FEditor->UpdateContents();
    const int limit = GetEditLimit();
    FEditor->setMaxLength(limit > 0 ? limit : 32767);
    ScrollIntoView(FCol, FRow);
    FEditor->Move(CellRect(FCol, FRow));
    // The editor takes the focus only from the grid: a grid that was left
    // keeps the focus where the person put it.
    if (hasFocus() || FEditor->hasFocus()) FEditor->setFocus();
    FEditor->selectAll();
}

void TCustomStringGrid::HideEditor() {
    if (!FEditor || !FEditor->isVisible()) return;
    const bool hadFocus = FEditor->hasFocus();
    FEditor->hide();
    if (hadFocus) setFocus();
    InvalidateCell(FCol, FRow);
}

void TCustomStringGrid::SetEditorMode(bool on) {
    if (on)
        ShowEditor();
    else
        HideEditor();
}

QString TCustomStringGrid::GetEditText(int col, int row) const {
    return Cells(col, row);
}

void TCustomStringGrid::SetEditText(int col, int row, const QString& value) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= FColCount) return;
    FRows[static_cast<size_t>(row)][static_cast<size_t>(col)] = value;
    if (OnSetEditText) OnSetEditText(*this, col, row, value);
    InvalidateCell(col, row);
}

void TCustomStringGrid::MoveRowContents(int from, int to) {
    FRows[static_cast<size_t>(to)] = FRows[static_cast<size_t>(from)];
}

void TCustomStringGrid::DeleteRow(int row) {
    if (row < 0 || row >= RowCount() || RowCount() <= 1) return;
    FRows.erase(FRows.begin() + row);
    FRowHeights.erase(FRowHeights.begin() + row);
    if (FRow >= RowCount()) FRow = RowCount() - 1;
    if (FRow < FFixedRows) FRow = std::min(FFixedRows, RowCount() - 1);
    UpdateScrollBars();
    SizeChanged();
    update();
}

// ---- painting ---------------------------------------------------------------------------

void TCustomStringGrid::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) {
    painter.fillRect(rect, (state & gdFixed)      ? palette().button()
                           : (state & gdSelected) ? palette().highlight()
                                                  : palette().base());
    painter.setPen((state & gdSelected) && !(state & gdFixed) ? palette().highlightedText().color()
                                                              : palette().text().color());
    painter.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     VisiblePart(Cells(col, row), rect.width()));
    if (OnDrawCell) OnDrawCell(*this, col, row, rect, state);
}

void TCustomStringGrid::PaintGrid(QPainter& painter) {
    const QRect area = ClientArea();
    painter.setClipRect(area);
    painter.fillRect(area, palette().base());
    auto visibleRows = [&] {
        std::vector<int> rows;
        for (int r = 0; r < FFixedRows; ++r) rows.push_back(r);
        for (int r = FTopRow; r < RowCount(); ++r) {
            const QRect c = CellRect(FFixedCols < FColCount ? FFixedCols : 0, r);
            if (c.isEmpty() && r > FTopRow) break;
            rows.push_back(r);
        }
        return rows;
    };
    std::vector<int> cols;
    for (int c = 0; c < FFixedCols; ++c) cols.push_back(c);
    for (int c = FLeftCol; c < FColCount; ++c) {
        const QRect cell = CellRect(c, 0);
        if (cell.isEmpty() && c > FLeftCol) break;
        cols.push_back(c);
    }
    const QRect range = (FGridOptions & goRangeSelect) ? Selection() : QRect();
    for (int r : visibleRows()) {
        for (int c : cols) {
            const QRect cell = CellRect(c, r);
            if (cell.isEmpty() || cell.height() == 0) continue;
            TGridDrawState state = 0;
            if (c < FFixedCols || r < FFixedRows)
                state |= gdFixed;
            else if ((r == FRow && (c == FCol || (FGridOptions & goRowSelect))) || range.contains(c, r))
                state |= gdSelected;
            if (c == FCol && r == FRow && hasFocus() && !(state & gdFixed)) state |= gdFocused;
            DrawCell(painter, c, r, cell, state);
            painter.setPen(palette().mid().color());
            if (const int w = ColLineWidth())
                painter.fillRect(cell.right() + 1, cell.top(), w, cell.height() + RowLineWidth(), palette().mid());
            if (const int h = RowLineWidth())
                painter.fillRect(cell.left(), cell.bottom() + 1, cell.width() + ColLineWidth(), h, palette().mid());
        }
    }
    painter.setClipping(false);
}

void TCustomStringGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Guard([&] {
        PaintGrid(painter);
        PaintBorder(painter);
    });
}

void TCustomStringGrid::resizeEvent(QResizeEvent*) {
    Guard([&] {
        UpdateScrollBars();
        Resized();
        if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
    });
}

// ---- keyboard -----------------------------------------------------------------------------

void TCustomStringGrid::DefaultKeyDown(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        FocusCell(FCol, FRow - 1);
        break;
    case Qt::Key_Down:
        if (FRow < RowCount() - 1) FocusCell(FCol, FRow + 1);
        break;
    case Qt::Key_Left:
        if (!(FGridOptions & goRowSelect)) FocusCell(FCol - 1, FRow);
        break;
    case Qt::Key_Right:
        if (!(FGridOptions & goRowSelect)) FocusCell(FCol + 1, FRow);
        break;
    case Qt::Key_PageUp:
        FocusCell(FCol, FRow - std::max(1, VisibleRowCount()));
        break;
    case Qt::Key_PageDown:
        FocusCell(FCol, FRow + std::max(1, VisibleRowCount()));
        break;
    case Qt::Key_Home:
        if (ctrl)
            FocusCell(FCol, FFixedRows);
        else
            FocusCell(FFixedCols, FRow);
        break;
    case Qt::Key_End:
        if (ctrl)
            FocusCell(FCol, RowCount() - 1);
        else
            FocusCell(FColCount - 1, FRow);
        break;
    case Qt::Key_F2:
        ShowEditor();
        break;
    default:
        break;
    }
}

void TCustomStringGrid::KeyDown(QKeyEvent* event) {
    DefaultKeyDown(event);
}

void TCustomStringGrid::KeyPress(QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty() || !text.at(0).isPrint() || !(FGridOptions & goEditing)) return;
    if (!EditorMode()) ShowEditor();
    // The key that opens the editor types its character, unless the cell is read-only.
    if (!EditorMode() || FEditor->isReadOnly()) return;
    FEditor->insert(text);
    SetEditText(FCol, FRow, FEditor->text());
}

void TCustomStringGrid::keyPressEvent(QKeyEvent* event) {
    Guard([&] { KeyEvent(event); });
}

void TCustomStringGrid::KeyEvent(QKeyEvent* event) {
    int key = event->key();
    if (OnKeyDown) OnKeyDown(*this, key, event->modifiers());
    if (key == 0) return;
    KeyDown(event);
    if (!event->text().isEmpty()) KeyPress(event);
}

// ---- mouse ----------------------------------------------------------------------------------

int TCustomStringGrid::ColumnAtSizingBorder(const QPoint& point) const {
    if (!(FGridOptions & goColSizing)) return -1;
    int col = -1, row = -1;
    if (!MouseToCell(point, col, row) || row >= FFixedRows) return -1;
    for (int c = 0; c < FColCount; ++c) {
        const QRect r = CellRect(c, row);
        if (!r.isEmpty() && std::abs(point.x() - (r.right() + 1)) <= 3) return c;
    }
    return -1;
}

int TCustomStringGrid::RowAtSizingBorder(const QPoint& point) const {
    if (!(FGridOptions & goRowSizing)) return -1;
    int col = -1, row = -1;
    if (!MouseToCell(point, col, row) || col >= FFixedCols) return -1;
    for (int r = std::max(0, row - 1); r <= row; ++r) {
        const QRect rect = CellRect(col, r);
        if (!rect.isEmpty() && std::abs(point.y() - (rect.bottom() + 1)) <= 3) return r;
    }
    return -1;
}

void TCustomStringGrid::DefaultMouseDown(QMouseEvent* event) {
    setFocus();
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    FSizingCol = ColumnAtSizingBorder(p);
    if (FSizingCol >= 0) {
        FSizingStartX = p.x();
        FSizingStartWidth = ColWidths(FSizingCol);
        return;
    }
    FSizingRow = RowAtSizingBorder(p);
    if (FSizingRow >= 0) {
        FSizingStartY = p.y();
        FSizingStartHeight = RowHeights(FSizingRow);
        return;
    }
    int col = -1, row = -1;
    if (!MouseToCell(p, col, row) || col < FFixedCols || row < FFixedRows) return;
    if (FGridOptions & goRangeSelect) {
        // A press starts a range at the cell (Shift extends the range there is).
        const bool extend = event->modifiers() & Qt::ShiftModifier;
        if (!extend) {
            FAnchorCol = col;
            FAnchorRow = row;
        }
        FSelecting = true;
        FocusCell(col, row);
        update();
        return;
    }
    if (col == FCol && row == FRow) {
        if (FGridOptions & goEditing) ShowEditor();
        return;
    }
    FocusCell(col, row);
}

void TCustomStringGrid::DefaultMouseUp(QMouseEvent*) {
    FSelecting = false;
    if (FSizingCol >= 0) {
        FSizingCol = -1;
        ColWidthsChanged();
    }
    FSizingRow = -1;
}

void TCustomStringGrid::MouseDown(QMouseEvent* event) {
    DefaultMouseDown(event);
}
void TCustomStringGrid::MouseUp(QMouseEvent* event) {
    DefaultMouseUp(event);
}

void TCustomStringGrid::MouseMove(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (FSizingCol >= 0) {
        FColWidths[static_cast<size_t>(FSizingCol)] = std::max(1, FSizingStartWidth + p.x() - FSizingStartX);
        UpdateScrollBars();
        if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
        update();
        return;
    }
    if (FSizingRow >= 0) {
        SetRowHeights(FSizingRow, std::max(1, FSizingStartHeight + p.y() - FSizingStartY));
        if (EditorMode()) FEditor->Move(CellRect(FCol, FRow));
        return;
    }
    if (FSelecting && (event->buttons() & Qt::LeftButton) && (FGridOptions & goRangeSelect)) {
        int col = -1, row = -1;
        if (MouseToCell(p, col, row) && col >= FFixedCols && row >= FFixedRows && (col != FCol || row != FRow))
            FocusCell(col, row); // the anchor stays: the range grows or shrinks
        return;
    }
    if (ColumnAtSizingBorder(p) >= 0)
        setCursor(Qt::SplitHCursor);
    else if (RowAtSizingBorder(p) >= 0)
        setCursor(Qt::SplitVCursor);
    else
        setCursor(Qt::ArrowCursor);
}

void TCustomStringGrid::mousePressEvent(QMouseEvent* event) {
    Guard([&] { MouseDown(event); });
}
void TCustomStringGrid::mouseReleaseEvent(QMouseEvent* event) {
    Guard([&] { MouseUp(event); });
}
void TCustomStringGrid::mouseMoveEvent(QMouseEvent* event) {
    Guard([&] { MouseMove(event); });
}
void TCustomStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    Guard([&] { MouseDown(event); });
}

void TCustomStringGrid::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) Guard([&] { SetTopRow(FTopRow - steps); });
}

} // namespace elo
