// The string grid that TPalGrid extends: cells of text addressed by column and
// row, fixed (title) rows and columns counted with the others, column widths
// and row heights, scrolling by whole cells, a current cell moved by keyboard
// and mouse, and an in-place editor.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <vector>

class QScrollBar;

namespace elo {

// The grid's own options.
enum TGridOption : unsigned {
    goEditing = 1u << 0,
    goRowSelect = 1u << 1,
    goColSizing = 1u << 2,
    goRowSizing = 1u << 3,
    goAlwaysShowEditor = 1u << 4,
    goRangeSelect = 1u << 5,
    goVertLine = 1u << 6, // lines between columns (GridLineWidth wide)
    goHorzLine = 1u << 7, // lines between rows
};
using TGridOptions = unsigned;

enum TGridDrawStateFlag : unsigned { gdSelected = 1u, gdFocused = 2u, gdFixed = 4u };
using TGridDrawState = unsigned;

class TCustomStringGrid;

// The in-place editor of the current cell.
class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(TCustomStringGrid* grid);
    TCustomStringGrid* Grid() const { return FGrid; }
    // Loads the current cell's text and limit.
    virtual void UpdateContents();
    // Places the editor over rect (in the grid's coordinates) and shows it.
    virtual void Move(const QRect& rect);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The key handling itself, inside the event boundary.
    virtual void KeyDown(QKeyEvent* event);
    TCustomStringGrid* FGrid;
};

class TCustomStringGrid : public QWidget {
    Q_OBJECT
public:
    explicit TCustomStringGrid(QWidget* parent = nullptr);
    ~TCustomStringGrid() override;

    // Cells and their layout; counts include the fixed rows and columns.
    int ColCount() const { return FColCount; }
    int RowCount() const { return static_cast<int>(FRows.size()); }
    void SetColCount(int count);
    void SetRowCount(int count);
    int FixedCols() const { return FFixedCols; }
    int FixedRows() const { return FFixedRows; }
    void SetFixedCols(int count);
    void SetFixedRows(int count);
    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);
    int DefaultColWidth() const { return FDefaultColWidth; }
    void SetDefaultColWidth(int width);
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    void SetDefaultRowHeight(int height);
    int GridLineWidth() const { return FGridLineWidth; }
    void SetGridLineWidth(int width);
    // The room the lines take between columns and between rows: the line
    // width where the options draw those lines, else 0.
    int ColLineWidth() const { return (FGridOptions & goVertLine) ? FGridLineWidth : 0; }
    int RowLineWidth() const { return (FGridOptions & goHorzLine) ? FGridLineWidth : 0; }
    // Whether the horizontal scroll bar may appear at all.
    void SetHorizontalScrollBar(bool allowed);
    // The selected range (range selection): anchor and the cell it reaches to;
    // without range selection both are the current cell.
    QRect Selection() const;

    // The current cell.
    int Col() const { return FCol; }
    int Row() const { return FRow; }
    void SetCol(int col) { FocusCell(col, FRow); }
    void SetRow(int row) { FocusCell(FCol, row); }
    // Makes (col, row) current if SelectCell allows it; scrolls it into view
    // unless told not to.
    bool FocusCell(int col, int row, bool scroll = true);
    int TopRow() const { return FTopRow; }
    int LeftCol() const { return FLeftCol; }
    void SetTopRow(int row);
    int VisibleRowCount() const;

    TGridOptions GridOptions() const { return FGridOptions; }
    void SetGridOptions(TGridOptions options);

    // The editor: shown over the current cell while EditorMode is on.
    bool EditorMode() const { return FEditor && FEditor->isVisible(); }
    void SetEditorMode(bool on);
    TInplaceEdit* InplaceEditor() const { return FEditor; }
    void ShowEditor();
    void HideEditor();

    QRect CellRect(int col, int row) const; // empty when not visible
    bool MouseToCell(const QPoint& point, int& col, int& row) const;
    void InvalidateCell(int col, int row);
    // The area of the cells, inside the border and the scroll bars.
    QRect ClientArea() const;

    // Removes a row; the rows below move up.
    virtual void DeleteRow(int row);
    void MoveRowContents(int from, int to);

    // Events with the toolkit's meaning.
    std::function<void(TCustomStringGrid& sender, int col, int row, bool& canSelect)> OnSelectCell;
    std::function<void(TCustomStringGrid& sender, int col, int row, const QString& value)> OnSetEditText;
    // key can be set to 0 to consume the key.
    std::function<void(TCustomStringGrid& sender, int& key, Qt::KeyboardModifiers shift)> OnKeyDown;
    std::function<void(TCustomStringGrid& sender, int col, int row, const QRect& rect, TGridDrawState state)>
        OnDrawCell;

    // The text the editor shows for a cell, and the store of edited text.
    virtual QString GetEditText(int col, int row) const;
    virtual void SetEditText(int col, int row, const QString& value);

protected:
    // Whether (col, row) may become current: the toolkit asks OnSelectCell.
    virtual bool SelectCell(int col, int row);
    virtual bool CanEditShow() const;
    virtual int GetEditLimit() const { return 0; }
    virtual TInplaceEdit* CreateEditor();
    virtual void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state);
    virtual void PaintGrid(QPainter& painter);
    virtual void PaintBorder(QPainter& painter) { (void)painter; }
    virtual int BorderWidth() const { return 0; }
    virtual void ColWidthsChanged() {}
    virtual void SizeChanged() {} // the column or row count changed
    // Key handling of the toolkit: arrows and the like move the current cell;
    // F2 opens the editor; typing opens it with the character.
    virtual void KeyDown(QKeyEvent* event);
    virtual void KeyPress(QKeyEvent* event);
    // A key event as a whole (OnKeyDown, KeyDown, KeyPress), inside the event
    // boundary; the Qt overrides only call it through Guard.
    virtual void KeyEvent(QKeyEvent* event);
    virtual void MouseDown(QMouseEvent* event);
    virtual void MouseUp(QMouseEvent* event);
    virtual void MouseMove(QMouseEvent* event);
    virtual void Resized() {}
    // Toolkit mouse press handling without the grid's own additions.
    void DefaultMouseDown(QMouseEvent* event);
    void DefaultMouseUp(QMouseEvent* event);
    void DefaultKeyDown(QKeyEvent* event);
    bool FocusFromEditorPending() const { return false; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    void UpdateScrollBars();
    void ScrollIntoView(int col, int row);
    int ColumnAtSizingBorder(const QPoint& point) const; // -1 when none
    int RowAtSizingBorder(const QPoint& point) const;    // -1 when none

    std::vector<std::vector<QString>> FRows;
    std::vector<int> FColWidths, FRowHeights;
    int FColCount = 0;
    int FFixedCols = 0, FFixedRows = 0;
    int FDefaultColWidth = 64, FDefaultRowHeight = 24, FGridLineWidth = 1;
    int FCol = 0, FRow = 0;
    int FTopRow = 0, FLeftCol = 0;
    TGridOptions FGridOptions = goVertLine | goHorzLine;
    bool FHorizontalAllowed = true;
    int FAnchorCol = 0, FAnchorRow = 0; // the range's fixed corner
    bool FSelecting = false;            // a range is being dragged
    int FSizingRow = -1, FSizingStartY = 0, FSizingStartHeight = 0;
    TInplaceEdit* FEditor = nullptr;
    QScrollBar* FVScroll = nullptr;
    QScrollBar* FHScroll = nullptr;
    int FSizingCol = -1, FSizingStartX = 0, FSizingStartWidth = 0;
    bool FUpdatingScroll = false;
};

} // namespace elo
