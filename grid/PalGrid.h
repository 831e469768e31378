// TPalGrid: the editable grid of a tag's parameters. It adds to the string grid
// its own option set, per-cell edit styles (text, button, pick list, check
// box), cell and row enter/exit events with a key column, rows that append
// themselves and vanish again when left empty, Enter that walks to the next
// editable cell, its own in-place editor and drop-down list, and its own
// flat, lightly shaded painting.
#pragma once

#include <QListWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "PalPaint.h"
#include "StringGrid.h"

namespace elo {

// The options, bit n for member n.
enum TPalGridOption : uint16_t {
    dgeRowSizing = 1u << 0,
    dgeColSizing = 1u << 1,
    dgeEditing = 1u << 2,
    dgeRowSelect = 1u << 3,
    dgeProportionalColResize = 1u << 4,
    dgeRangeSelect = 1u << 5,
    dgeHideSelection = 1u << 6,
    dgeAlwaysShowEditor = 1u << 7,
    dgeAutoAppendRows = 1u << 8,
    dgeArrowKeyActive = 1u << 9,
};
using TPalGridOptions = uint16_t;

enum TEditStyle : int { edsText = 0, edsButton = 1, edsPickList = 2, edsCheckBox = 3 };
enum TGridStyle : int { gsNormal, gsMoney, gsWeb };
enum TBorderStyle : int { bsNone, bsSingle };

class TPalGrid;

// Alternating row colours; every change repaints the owner.
class TRowsEffect {
public:
    explicit TRowsEffect(TPalGrid* owner) : FOwner(owner) {}
    bool Active() const { return FActive; }
    void SetActive(bool on);
    QColor EvenColor() const { return FEven; }
    QColor OddColor() const { return FOdd; }
    void SetEvenColor(const QColor& c);
    void SetOddColor(const QColor& c);

private:
    TPalGrid* FOwner;
    bool FActive = false;
    QColor FEven{255, 255, 255}, FOdd{255, 255, 255};
};

// The colours of selected cells; every change repaints the owner.
class TSelectionEffect {
public:
    explicit TSelectionEffect(TPalGrid* owner);
    bool Beveled() const { return FBeveled; }
    void SetBeveled(bool on);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& c);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& c);

private:
    TPalGrid* FOwner;
    bool FBeveled = false;
    QColor FColor, FFontColor;
};

// The drop-down list of a pick-list cell: a top-most tool window that does not
// take the focus, with a 2-second incremental search.
class TPopupListbox : public QListWidget {
    Q_OBJECT
public:
    explicit TPopupListbox(QWidget* editor);
    QString SearchText;
    uint32_t SearchTime = 0;
    // The clock of the search (milliseconds); tests may replace it.
    std::function<uint32_t()> Clock;
    static constexpr int kItemHeight = 11;
    std::function<void(bool accept)> OnClose;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void KeyDown(QKeyEvent* event);
};

// The grid's in-place editor, with its four edit styles.
class TPalInplaceEdit : public TInplaceEdit {
    Q_OBJECT
public:
    explicit TPalInplaceEdit(TPalGrid* grid);
    TEditStyle EditStyle() const { return FEditStyle; }
    void SetEditStyle(TEditStyle style);
    int ButtonWidth() const { return FButtonWidth; }
    TPopupListbox* PickList() const { return FPickList; }
    TPopupListbox* ActiveList() const { return FActiveList; }
    bool DroppedDown() const { return FDroppedDown; }
    bool Tracking() const { return FTracking; }
    bool Pressed() const { return FPressed; }
    void UpdateContents() override;
    void Move(const QRect& rect) override;
    void DropDown();
    void CloseUp(bool accept);
    QRect ButtonRect() const;
    // Handles a key as the editor does; true when consumed.
    bool HandleKey(QKeyEvent* event);

protected:
    bool event(QEvent* event) override;
    void KeyDown(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    TPalGrid* PalGrid() const;
    void Paint(QPaintEvent* event);
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void TrackInList(const QPoint& global);
    TEditStyle FEditStyle = edsText;
    int FButtonWidth;
    TPopupListbox* FPickList = nullptr;
    TPopupListbox* FActiveList = nullptr;
    bool FDroppedDown = false, FTracking = false, FPressed = false;
    bool FListDragging = false; // a press on the button went on into the open list
};

class TPalGrid : public TCustomStringGrid {
    Q_OBJECT
public:
    explicit TPalGrid(QWidget* parent = nullptr);
    ~TPalGrid() override;

    TPalGridOptions Options() const { return FOptions; }
    void SetOptions(TPalGridOptions options);
    int KeyCol = -1; // the column whose text decides whether a row is empty; -1: all
    TGridStyle Style() const { return FStyle; }
    void SetStyle(TGridStyle style);
    TRowsEffect& RowsEffect() { return FRowsEffect; }
    TSelectionEffect& SelectionEffect() { return FSelectionEffect; }
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    Qt::Alignment FixedRowAlignment = Qt::AlignHCenter;
    bool DefaultDrawing = false; // stored only: painting is always the grid's own
    QColor Color;                // the cells' colour (the window colour)
    QColor FixedColor;           // the title cells' colour (the button face)

    // Cell bookkeeping.
    int EntryCol() const { return FEntryCol; }
    int EntryRow() const { return FEntryRow; }
    const QString& EntryText() const { return FEntryText; }
    // The current cell counts as entered with the text it has now: after its
    // text was set from outside, Escape restores that text.
    void TakeEntryText();
    const std::vector<double>& ColPercents() const { return FColPercents; }

    // The edit style of a cell (OnGetEditStyle), its read-only flag through readOnly.
    TEditStyle GetEditStyle(int col, int row, bool* readOnly = nullptr);
    bool IsCellEditable(int col, int row);
    bool IsRowEmpty(int row) const;
    // Stores text into the current cell as an edit would (OnSetEditText fires).
    void SetCellValue(const QString& text);
    // Toggles a check box cell: (value xor 1) and 127.
    void ToggleCheckBox();
    void AdvanceCell();
    // The Tab key from the editor: the focus moves on from the grid.
    void TabOut(bool forward);
    void DeleteRow(int row) override;
    void AppendRow();
    QString GetEditText(int col, int row) const override;
    void SetEditText(int col, int row, const QString& value) override;
    // The area of a check box cell that a click toggles, relative to the cell.
    static QRect CheckBoxArea(int width, int height);

    // Events.
    std::function<void(TPalGrid&, int col, int row, TEditStyle& style, bool& readOnly)> OnGetEditStyle;
    std::function<void(TPalGrid&, int col, int row, bool& canEdit)> OnCanEditCell;
    std::function<void(TPalGrid&, QStringList& items, std::vector<void*>& objects)> OnGetListItems;
    std::function<void(TPalGrid&, const QString& value, void* data)> OnListClick;
    std::function<void(TPalGrid&)> OnEditButtonClick;
    std::function<void(TPalGrid&, int& editLimit)> OnGetEditLimit;
    std::function<void(TPalGrid&, int col, int row, int& style)> OnGetDrawStyle;
    std::function<void(TPalGrid&, int col, int row)> OnCellEnter;
    std::function<void(TPalGrid&, int col, int row)> OnCellChanged;
    std::function<void(TPalGrid&, int col, int row)> OnCellExit;
    std::function<void(TPalGrid&, int row)> OnRowExit;
    std::function<void(TPalGrid&, int row)> OnDeleteRow;
    std::function<void(TPalGrid&, int col, int row)> OnTitleClick;
    std::function<void(TPalGrid&, int col, int row, const QRect& rect, TGridDrawState state)> OnDrawFixedCell;
    std::function<void(TPalGrid&)> OnColWidthsChanged;

    // Whether a form is still loading (no style events then).
    bool Loading = false;
    // The current cell counts as editable for the keyboard and mouse rules.
    bool CurrentCellEditable();
    // Fires OnCellChanged for the current cell if its text differs from
    // EntryText (used by the pick list).
    void CellChangedCheck();

protected:
    bool SelectCell(int col, int row) override;
    bool CanEditShow() const override;
    int GetEditLimit() const override;
    TInplaceEdit* CreateEditor() override;
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) override;
    void PaintGrid(QPainter& painter) override;
    void PaintBorder(QPainter& painter) override;
    int BorderWidth() const override { return FBorderStyle == bsSingle ? 1 : 0; }
    void ColWidthsChanged() override;
    void SizeChanged() override;
    void MouseDown(QMouseEvent* event) override;
    void MouseUp(QMouseEvent* event) override;
    void Resized() override;
    void KeyEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    friend class TPalInplaceEdit;
    void CellEntered(int col, int row);
    void CellExit(int col, int row);
    void RowExit(int row);
    void ApplyProportionalWidths();
    void LeaveGrid();
    // The focus went from the grid (or its editor) to another control of its window.
    bool FocusLeftGrid() const;
    void MoveFocusOn();
    // The steps of Enter (AdvanceCell): each returns whether the focus arrived
    // at a cell where the editor is to show.
    int EditableColAfter(int col, int row);
    bool AdvanceInRow(int next);
    bool AdvanceToNextRow();
    void LeaveRowForward();
    void ShowEditorOnArrival();
    // The steps of painting a cell.
    void DrawFixedCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state);
    void DrawLowColourBevel(QPainter& painter, const QRect& rect);
    void DrawFixedCellLines(QPainter& painter, int col, int row, const QRect& rect);
    QRect DrawBodyBackground(QPainter& painter, int row, const QRect& rect, TGridDrawState state, QColor& fontColour);
    void DrawBodyContent(QPainter& painter, int col, int row, const QRect& inner, const QColor& fontColour);
    // The grid's key handling before the toolkit's: true when consumed.
    bool HandleKeyDown(QKeyEvent* event);
    void ToolkitKeyDown(QKeyEvent* event);

    TPalGridOptions FOptions = 0;
    TGridStyle FStyle = gsWeb;
    TRowsEffect FRowsEffect;
    TSelectionEffect FSelectionEffect;
    TBorderStyle FBorderStyle = bsSingle;
    int FEntryCol = 0, FEntryRow = 0;
    QString FEntryText;
    std::vector<double> FColPercents;
    bool FApplyingWidths = false;
    bool FInSetCellValue = false;
    bool FProportional = false;
    bool FExitsDone = false;
    int FPressCol = -1, FPressRow = -1;
};

} // namespace elo
