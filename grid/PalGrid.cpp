#include "PalGrid.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>

#include <cmath>

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/MessageHook.h"
#include "platform/Text.h"
#include "qtedge/EventBoundary.h"

namespace elo {

namespace {
// The private message that repaints the titles of two columns.
const QEvent::Type kTitlesEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
class TTitlesEvent : public QEvent {
public:
    TTitlesEvent(int oldCol, int newCol) : QEvent(kTitlesEvent), OldCol(oldCol), NewCol(newCol) {}
    int OldCol, NewCol;
};

int RoundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// The number in a check box cell; empty or non-numeric text counts as 0.
int CellNumber(const QString& text) {
    int32_t v = 0;
    return TryStrToInt(text.toStdString(), v) ? v : 0;
}
} // namespace

// ---- effects ---------------------------------------------------------------------------

void TRowsEffect::SetActive(bool on) {
    FActive = on;
    FOwner->update();
}
void TRowsEffect::SetEvenColor(const QColor& c) {
    FEven = c;
    FOwner->update();
}
void TRowsEffect::SetOddColor(const QColor& c) {
    FOdd = c;
    FOwner->update();
}

TSelectionEffect::TSelectionEffect(TPalGrid* owner)
    : FOwner(owner), FColor(QApplication::palette().color(QPalette::Highlight)),
      FFontColor(QApplication::palette().color(QPalette::HighlightedText)) {}
void TSelectionEffect::SetBeveled(bool on) {
    FBeveled = on;
    FOwner->update();
}
void TSelectionEffect::SetColor(const QColor& c) {
    FColor = c;
    FOwner->update();
}
void TSelectionEffect::SetFontColor(const QColor& c) {
    FFontColor = c;
    FOwner->update();
}

// ---- TPopupListbox ---------------------------------------------------------------------

TPopupListbox::TPopupListbox(QWidget* editor) : QListWidget(editor), Clock([] { return GetTickCount(); }) {
    // Owned by the editor (freed with it), yet a window of its own.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setUniformItemSizes(true);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setStyleSheet(QString("QListWidget::item { height: %1px; padding: 0px; margin: 0px; }").arg(kItemHeight));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TPopupListbox::keyPressEvent(QKeyEvent* event) {
    Guard([&] { KeyDown(event); });
}

void TPopupListbox::KeyDown(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Escape) {
        SearchText.clear();
        return;
    }
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).unicode() >= 32 && text.at(0).unicode() <= 255) {
        const uint32_t now = Clock();
        if (now - SearchTime > 2000) SearchText.clear();
        SearchTime = now;
        if (SearchText.size() < 32) SearchText += text;
        for (int i = 0; i < count(); ++i) {
            if (item(i)->text().startsWith(SearchText, Qt::CaseInsensitive)) {
                setCurrentRow(i);
                break;
            }
        }
        return; // the character is consumed
    }
    QListWidget::keyPressEvent(event);
}

void TPopupListbox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    const bool inside = rect().contains(event->position().toPoint());
    if (inside) {
        if (QListWidgetItem* it = itemAt(event->position().toPoint())) setCurrentItem(it);
    }
    if (OnClose) Guard([&] { OnClose(inside); });
}

// ---- TPalInplaceEdit ------------------------------------------------------------------------

TPalInplaceEdit::TPalInplaceEdit(TPalGrid* grid)
    : TInplaceEdit(grid), FButtonWidth(QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2) {}

TPalGrid* TPalInplaceEdit::PalGrid() const {
    return static_cast<TPalGrid*>(FGrid);
}

void TPalInplaceEdit::SetEditStyle(TEditStyle style) {
    if (style == FEditStyle) return;
    FEditStyle = style;
    if (style == edsPickList) {
        if (!FPickList) {
            FPickList = new TPopupListbox(this);
            FPickList->hide();
            FPickList->OnClose = [this](bool accept) { CloseUp(accept); };
        }
        FActiveList = FPickList;
    } else {
        FActiveList = nullptr;
    }
    update();
}

QRect TPalInplaceEdit::ButtonRect() const {
    if (FEditStyle != edsButton && FEditStyle != edsPickList) return {};
    if (layoutDirection() == Qt::RightToLeft) return QRect(0, 0, FButtonWidth, height());
    return QRect(width() - FButtonWidth, 0, FButtonWidth, height());
}

void TPalInplaceEdit::UpdateContents() {
    TPalGrid* grid = PalGrid();
    bool readOnly = false;
    SetEditStyle(grid->GetEditStyle(grid->Col(), grid->Row(), &readOnly));
    setReadOnly(readOnly || !(grid->Options() & dgeEditing));
    TInplaceEdit::UpdateContents();
    QPalette p = palette();
    p.setColor(QPalette::Base, FEditStyle == edsCheckBox ? grid->SelectionEffect().Color() : grid->Color);
    setPalette(p);
    // The text area: 2 pixels in, and the button's width on its side.
    const int button = (FEditStyle == edsButton || FEditStyle == edsPickList) ? FButtonWidth : 0;
    if (layoutDirection() == Qt::RightToLeft)
        setTextMargins(2 + button, 2, 2, 0);
    else
        setTextMargins(2, 2, 2 + button, 0);
    setCursor(FEditStyle == edsCheckBox ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void TPalInplaceEdit::Move(const QRect& rect) {
    // In the web style the shown editor is a pixel narrower and shorter.
    QRect r = rect;
    if (PalGrid()->Style() == gsWeb) r.adjust(0, 0, -1, -1);
    TInplaceEdit::Move(r);
}

void TPalInplaceEdit::DropDown() {
    if (!FActiveList || FDroppedDown) return;
    TPalGrid* grid = PalGrid();
    FActiveList->setFixedWidth(width());
    FActiveList->setFont(font());
    QStringList items;
    std::vector<void*> objects;
    for (int i = 0; i < FActiveList->count(); ++i) {
        items << FActiveList->item(i)->text();
        objects.push_back(FActiveList->item(i)->data(Qt::UserRole).value<void*>());
    }
    if (grid->OnGetListItems) grid->OnGetListItems(*grid, items, objects);
    FActiveList->clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QListWidgetItem(items[i], FActiveList);
        item->setSizeHint(QSize(0, TPopupListbox::kItemHeight));
        item->setData(Qt::UserRole, QVariant::fromValue<void*>(static_cast<size_t>(i) < objects.size()
                                                                   ? objects[static_cast<size_t>(i)]
                                                                   : nullptr));
    }
    FActiveList->setFixedHeight(std::min(static_cast<int>(items.size()), 8) * TPopupListbox::kItemHeight + 4);
    const QList<QListWidgetItem*> current = FActiveList->findItems(text(), Qt::MatchExactly);
    FActiveList->setCurrentItem(current.isEmpty() ? nullptr : current.first());
    int widest = width();
    for (const QString& s : items) widest = std::max(widest, fontMetrics().horizontalAdvance(s) + 8);
    FActiveList->setFixedWidth(widest);
    QPoint at = mapToGlobal(QPoint(0, height()));
    const QScreen* screen = this->screen();
    if (screen && at.y() + FActiveList->height() > screen->geometry().bottom())
        at = mapToGlobal(QPoint(0, -FActiveList->height()));
    FActiveList->move(at);
    FActiveList->SearchText.clear();
    FActiveList->show();
    FDroppedDown = true;
    update();
    setFocus();
}

void TPalInplaceEdit::CloseUp(bool accept) {
    if (!FDroppedDown || !FActiveList) return;
    FTracking = false;
    FPressed = false;
    FListDragging = false;
    QListWidgetItem* item = FActiveList->currentItem();
    const QString value = item ? item->text() : QString();
    void* data = item ? item->data(Qt::UserRole).value<void*>() : nullptr;
    FActiveList->hide();
    FDroppedDown = false;
    update();
    TPalGrid* grid = PalGrid();
    if (accept && item && !isReadOnly()) {
        grid->SetCellValue(value);
        if (grid->OnListClick) grid->OnListClick(*grid, value, data);
        grid->CellChangedCheck();
    }
}

bool TPalInplaceEdit::HandleKey(QKeyEvent* event) {
    TPalGrid* grid = PalGrid();
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (FEditStyle == edsCheckBox && key == Qt::Key_Space) {
        grid->ToggleCheckBox();
        return true;
    }
    if (FEditStyle == edsPickList) {
        if (FDroppedDown && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) &&
            !(mods & Qt::AltModifier)) {
            CloseUp(key != Qt::Key_Escape);
            return true;
        }
        if (!FDroppedDown && key == Qt::Key_Down && mods != Qt::ControlModifier) {
            DropDown();
            return true;
        }
        if (FDroppedDown) {
            QApplication::sendEvent(FActiveList, event); // typing searches the list
            return true;
        }
    }
    if (FEditStyle == edsButton && key == Qt::Key_Down && mods == Qt::NoModifier) {
        if (grid->OnEditButtonClick) grid->OnEditButtonClick(*grid);
        return true;
    }
    const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
    if ((arrow && (mods == Qt::ControlModifier || (grid->Options() & dgeArrowKeyActive))) || key == Qt::Key_Return ||
        key == Qt::Key_Enter) {
        // Passed to the grid's key-down and then to its character handling.
        QApplication::sendEvent(grid, event);
        return true;
    }
    if (key == Qt::Key_Escape) {
        QApplication::sendEvent(grid, event);
        return true;
    }
    if (FEditStyle == edsCheckBox && key != Qt::Key_Tab && key != Qt::Key_Backtab) {
        // No typing: the pending character is dropped, the key itself goes on
        // to the grid (Delete, Home, End, PgUp, PgDn, F2 ...).
        QKeyEvent keyOnly(QEvent::KeyPress, key, event->modifiers());
        QApplication::sendEvent(grid, &keyOnly);
        return true;
    }
    return false;
}

bool TPalInplaceEdit::event(QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            Guard([&] { PalGrid()->TabOut(k->key() == Qt::Key_Tab && !(k->modifiers() & Qt::ShiftModifier)); });
            return true;
        }
    }
    return TInplaceEdit::event(e);
}

void TPalInplaceEdit::KeyDown(QKeyEvent* event) {
    if (HandleKey(event)) return;
    QLineEdit::keyPressEvent(event);
}

void TPalInplaceEdit::paintEvent(QPaintEvent* event) {
    Guard([&] { Paint(event); });
}

void TPalInplaceEdit::Paint(QPaintEvent* event) {
    if (FEditStyle == edsCheckBox) {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Base));
        QRect r = rect().adjusted(1, 1, -1, -1);
        if (r.width() > 12 && r.height() > 12) {
            const int in = (r.height() - 13) / 2;
            r.adjust(0, in, 0, -in);
        }
        DrawCheckBox(p, r, CellNumber(text()) & 127);
        if (hasFocus()) {
            p.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        return;
    }
    QLineEdit::paintEvent(event);
    const QRect button = ButtonRect();
    if (button.isEmpty()) return;
    QPainter p(this);
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.rect = button;
    option.subControls = QStyle::SC_ComboBoxArrow;
    option.state = QStyle::State_Enabled;
    if (FPressed) option.state |= QStyle::State_Sunken;
    if (FEditStyle == edsPickList && !FActiveList) option.state &= ~QStyle::State_Enabled;
    p.fillRect(button, palette().color(QPalette::Button));
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &p, this);
}

void TPalInplaceEdit::mousePressEvent(QMouseEvent* event) {
    Guard([&] { MouseDown(event); });
}

void TPalInplaceEdit::mouseMoveEvent(QMouseEvent* event) {
    Guard([&] { MouseMove(event); });
}

void TPalInplaceEdit::mouseReleaseEvent(QMouseEvent* event) {
    Guard([&] { MouseUp(event); });
}

void TPalInplaceEdit::MouseDown(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && FEditStyle == edsCheckBox) {
        FTracking = true;
        return;
    }
    if (event->button() == Qt::LeftButton && FEditStyle != edsText && ButtonRect().contains(pos)) {
        if (FDroppedDown) {
            CloseUp(false);
            return;
        }
        FTracking = true;
        FPressed = true;
        update();
        if (FActiveList) DropDown();
        return;
    }
    TInplaceEdit::mousePressEvent(event);
}

void TPalInplaceEdit::MouseMove(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FListDragging) {
        TrackInList(mapToGlobal(pos));
        return;
    }
    if (FTracking && FEditStyle != edsCheckBox) {
        if (FDroppedDown && FActiveList && FActiveList->geometry().contains(mapToGlobal(pos))) {
            // The press goes on in the list: dragging over it selects, the
            // release accepts the item under the pointer.
            FTracking = false;
            FPressed = false;
            FListDragging = true;
            update();
            TrackInList(mapToGlobal(pos));
            return;
        }
        const bool over = ButtonRect().contains(pos);
        if (over != FPressed) {
            FPressed = over;
            update();
        }
        return;
    }
    setCursor(ButtonRect().contains(pos) || FEditStyle == edsCheckBox ? Qt::ArrowCursor : Qt::IBeamCursor);
    TInplaceEdit::mouseMoveEvent(event);
}

void TPalInplaceEdit::TrackInList(const QPoint& global) {
    if (!FActiveList) return;
    const QPoint at = FActiveList->viewport()->mapFromGlobal(global);
    if (QListWidgetItem* item = FActiveList->itemAt(at)) FActiveList->setCurrentItem(item);
}

void TPalInplaceEdit::MouseUp(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FListDragging && event->button() == Qt::LeftButton) {
        FListDragging = false;
        const QPoint global = mapToGlobal(pos);
        const bool inside = FActiveList && FActiveList->geometry().contains(global);
        if (inside) TrackInList(global);
        CloseUp(inside);
        return;
    }
    if (FTracking && event->button() == Qt::LeftButton) {
        FTracking = false;
        const bool wasPressed = FPressed;
        FPressed = false;
        update();
        TPalGrid* grid = PalGrid();
        if (FEditStyle == edsCheckBox) {
            // The editor covers the cell: the check box area is the cell's.
            if (TPalGrid::CheckBoxArea(width(), height()).contains(pos) && !isReadOnly()) grid->ToggleCheckBox();
        } else if (FEditStyle == edsButton && wasPressed && ButtonRect().contains(pos)) {
            if (grid->OnEditButtonClick) grid->OnEditButtonClick(*grid);
        }
        return;
    }
    TInplaceEdit::mouseReleaseEvent(event);
}

void TPalInplaceEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (FEditStyle == edsCheckBox) {
        mousePressEvent(event); // a double click acts as a single press
        return;
    }
    TInplaceEdit::mouseDoubleClickEvent(event);
}

void TPalInplaceEdit::focusOutEvent(QFocusEvent* event) {
    Guard([&] { CloseUp(false); });
    TInplaceEdit::focusOutEvent(event);
    TPalGrid* grid = PalGrid();
    if (!grid->FExitsDone && grid->FocusLeftGrid()) Guard([&] { grid->LeaveGrid(); });
}

void TPalInplaceEdit::focusInEvent(QFocusEvent* event) {
    if (FEditStyle == edsCheckBox) {
        QWidget::focusInEvent(event); // the check box editor does not react to the focus
        update();
        return;
    }
    TInplaceEdit::focusInEvent(event);
}

// ---- TPalGrid -------------------------------------------------------------------------------

TPalGrid::TPalGrid(QWidget* parent) : TCustomStringGrid(parent), FRowsEffect(this), FSelectionEffect(this) {
    Color = palette().color(QPalette::Base);
    FixedColor = palette().color(QPalette::Button);
    SetOptions(0);
    SetDefaultRowHeight(20);
    FEntryCol = Col();
    FEntryRow = Row();
    FEntryText = Cells(FEntryCol, FEntryRow);
}

TPalGrid::~TPalGrid() = default;

void TPalGrid::SetOptions(TPalGridOptions options) {
    FOptions = options;
    TGridOptions toolkit = 0;
    if (options & dgeEditing) toolkit |= goEditing;
    if (options & dgeRowSelect) toolkit |= goRowSelect;
    if (options & dgeColSizing) toolkit |= goColSizing;
    if (options & dgeAlwaysShowEditor) toolkit |= goAlwaysShowEditor;
    if (options & dgeRowSizing) toolkit |= goRowSizing;
    SetGridOptions(toolkit);
    FProportional = options & dgeProportionalColResize;
    SetHorizontalScrollBar(!FProportional);
    ColWidthsChanged();
}

void TPalGrid::SetStyle(TGridStyle style) {
    FStyle = style;
    SetOptions(FOptions);
    update();
}

void TPalGrid::SetBorderStyle(TBorderStyle style) {
    FBorderStyle = style;
    UpdateScrollBars();
    update();
}

// ---- cells, rows and their events ---------------------------------------------------------

TEditStyle TPalGrid::GetEditStyle(int col, int row, bool* readOnly) {
    TEditStyle style = edsText;
    bool ro = false;
    if (!Loading && OnGetEditStyle) OnGetEditStyle(*this, col, row, style, ro);
    if (readOnly) *readOnly = ro;
    return style;
}

bool TPalGrid::IsCellEditable(int col, int row) {
    if (col < FixedCols() || row < FixedRows() || col >= ColCount() || row >= RowCount()) return false;
    bool can = TCustomStringGrid::SelectCell(col, row);
    if (OnCanEditCell) OnCanEditCell(*this, col, row, can);
    return can;
}

bool TPalGrid::CurrentCellEditable() {
    if (!(FOptions & dgeEditing) || (FOptions & dgeRowSelect)) return false;
    bool can = true;
    if (OnCanEditCell) OnCanEditCell(*this, Col(), Row(), can);
    return can;
}

bool TPalGrid::IsRowEmpty(int row) const {
    if (KeyCol == -1) {
        for (int c = FixedCols(); c < ColCount(); ++c)
            if (!Cells(c, row).isEmpty()) return false;
        return true;
    }
    return Cells(KeyCol, row).isEmpty();
}

void TPalGrid::CellEntered(int col, int row) {
    if (col == FEntryCol && row == FEntryRow) return;
    FEntryCol = col;
    FEntryRow = row;
    FEntryText = Cells(col, row);
}

void TPalGrid::TakeEntryText() {
    FEntryCol = Col();
    FEntryRow = Row();
    FEntryText = Cells(FEntryCol, FEntryRow);
}

void TPalGrid::CellExit(int col, int row) {
    if (OnCellChanged && Cells(col, row) != FEntryText) {
        OnCellChanged(*this, col, row);
        FEntryText = Cells(col, row);
    }
    if (OnCellExit) OnCellExit(*this, col, row);
}

void TPalGrid::CellChangedCheck() {
    if (Cells(Col(), Row()) != FEntryText) {
        if (OnCellChanged) OnCellChanged(*this, Col(), Row());
        FEntryText = Cells(Col(), Row());
    }
}

void TPalGrid::RowExit(int row) {
    if ((FOptions & dgeAutoAppendRows) && row == RowCount() - 1 && RowCount() - FixedRows() > 1 && IsRowEmpty(row))
        DeleteRow(row);
    if (OnRowExit) OnRowExit(*this, row);
}

void TPalGrid::SizeChanged() {
    // After every change of the row or column count, for the current cell.
    CellEntered(Col(), Row());
}

bool TPalGrid::SelectCell(int col, int row) {
    if (!TCustomStringGrid::SelectCell(col, row)) return false;
    const int oldCol = FEntryCol;
    if (col != FEntryCol || row != FEntryRow) {
        try {
            CellExit(FEntryCol, FEntryRow);
            if (row != FEntryRow) RowExit(FEntryRow);
            CellEntered(col, row);
            if (OnCellEnter) OnCellEnter(*this, col, row);
        } catch (const EAbort&) {
            return false;
        } catch (const std::exception& e) {
            if (!isVisible()) throw;
            ShowException(e);
            return false;
        }
    }
    if (col != oldCol) QApplication::postEvent(this, new TTitlesEvent(oldCol, col));
    return true;
}

bool TPalGrid::event(QEvent* e) {
    if (e->type() == kTitlesEvent) {
        auto* t = static_cast<TTitlesEvent*>(e);
        Guard([&] {
            for (int r = 0; r < FixedRows(); ++r) {
                InvalidateCell(t->OldCol, r);
                InvalidateCell(t->NewCol, r);
            }
        });
        return true;
    }
    return TCustomStringGrid::event(e);
}

bool TPalGrid::CanEditShow() const {
    bool can = TCustomStringGrid::CanEditShow();
    if (OnCanEditCell) OnCanEditCell(const_cast<TPalGrid&>(*this), Col(), Row(), can);
    return can;
}

int TPalGrid::GetEditLimit() const {
    int limit = 0;
    if (OnGetEditLimit) OnGetEditLimit(const_cast<TPalGrid&>(*this), limit);
    return limit;
}

TInplaceEdit* TPalGrid::CreateEditor() {
    return new TPalInplaceEdit(this);
}

QString TPalGrid::GetEditText(int col, int row) const {
    return Cells(col, row);
}

void TPalGrid::SetEditText(int col, int row, const QString& value) {
    // Only a text that differs reaches the store, so no change is announced
    // for a value stored again.
    if (value == Cells(col, row)) return;
    TCustomStringGrid::SetEditText(col, row, value);
}

void TPalGrid::SetCellValue(const QString& text) {
    if (FInSetCellValue) return;
    const QScopedValueRollback inside(FInSetCellValue, true);
    SetEditText(Col(), Row(), text);
    if (InplaceEditor()) {
        const QSignalBlocker quiet(InplaceEditor());
        InplaceEditor()->setText(text);
        InplaceEditor()->update();
    }
}

void TPalGrid::ToggleCheckBox() {
    const int value = (CellNumber(Cells(Col(), Row())) ^ 1) & 127;
    SetCellValue(QString::number(value));
}

void TPalGrid::AppendRow() {
    SetRowCount(RowCount() + 1);
}

void TPalGrid::DeleteRow(int row) {
    const int current = Row();
    const bool editing = EditorMode();
    HideEditor();
    if (OnDeleteRow) OnDeleteRow(*this, row);
    TCustomStringGrid::DeleteRow(row);
    if (current < RowCount() && current != row) FocusCell(Col(), current);
    CellEntered(Col(), Row());
    if (editing) ShowEditor();
}

// ---- focus, keys and mouse ------------------------------------------------------------------

void TPalGrid::MoveFocusOn() {
    // The cell and row have been left already: the focus change that follows
    // does not leave them a second time.
    const QScopedValueRollback exitsDone(FExitsDone, true);
    focusNextPrevChild(true);
}

void TPalGrid::TabOut(bool forward) {
    HideEditor(); // the focus is back in the grid, and moves on from there
    focusNextPrevChild(forward);
}

bool TPalGrid::FocusLeftGrid() const {
    QWidget* to = QApplication::focusWidget();
    return to && to != InplaceEditor() && to != this && !isAncestorOf(to) && to->window() == window() &&
           to->isVisible();
}

void TPalGrid::LeaveGrid() {
    const bool editing = EditorMode();
    try {
        CellExit(Col(), Row());
        RowExit(Row());
    } catch (...) {
        setFocus();
        if (editing) ShowEditor();
        throw;
    }
}

void TPalGrid::focusOutEvent(QFocusEvent* event) {
    TCustomStringGrid::focusOutEvent(event);
    // Leaving the grid means the focus went to another control of the same
    // window: not into the grid's own editor, not to another window, and not
    // away because the window is being hidden or destroyed.
    if (!FExitsDone && FocusLeftGrid()) Guard([&] { LeaveGrid(); });
}

void TPalGrid::focusInEvent(QFocusEvent* event) {
    TCustomStringGrid::focusInEvent(event);
    update();
}

bool TPalGrid::HandleKeyDown(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return true; // ignored here
    if (key == Qt::Key_Escape && EditorMode()) {
        // Back to the text the cell had when it was entered.
        if (FEntryCol < ColCount() && FEntryRow < RowCount()) {
            SetCells(FEntryCol, FEntryRow, FEntryText);
            if (FEntryCol == Col() && FEntryRow == Row()) {
                const QSignalBlocker quiet(InplaceEditor());
                InplaceEditor()->setText(FEntryText);
            }
        }
    }
    const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
    if (arrow) {
        if ((mods & Qt::ControlModifier) || (FOptions & dgeArrowKeyActive)) {
            if (key == Qt::Key_Down && (FOptions & dgeAutoAppendRows) && Row() == RowCount() - 1 && !IsRowEmpty(Row()))
                AppendRow();
            // The shift state is cleared: a plain move follows.
            QKeyEvent plain(QEvent::KeyPress, key, Qt::NoModifier);
            if (!CurrentCellEditable()) {
                ToolkitKeyDown(&plain);
                HideEditor();
            } else {
                ToolkitKeyDown(&plain);
                if (FOptions & dgeAlwaysShowEditor) ShowEditor();
            }
            return true;
        }
        if (FOptions & dgeEditing) return true; // ignored entirely
    }
    if (!CurrentCellEditable()) {
        ToolkitKeyDown(event);
        HideEditor();
        return key != Qt::Key_Return && key != Qt::Key_Enter && event->text().isEmpty();
    }
    if (key == Qt::Key_Space && (FOptions & dgeArrowKeyActive) && GetEditStyle(Col(), Row()) == edsCheckBox) {
        ShowEditor();
        ToggleCheckBox();
        return true; // the pending character is discarded
    }
    ToolkitKeyDown(event);
    if (key == Qt::Key_Escape && EditorMode() && !(FOptions & dgeAlwaysShowEditor)) HideEditor();
    if ((FOptions & dgeAlwaysShowEditor) && !EditorMode()) ShowEditor();
    return false;
}

void TPalGrid::ToolkitKeyDown(QKeyEvent* event) {
    // The toolkit's key handling carries OnKeyDown: the handler sees the key
    // after the grid's own steps (Escape's restore, the arrow's append), and a
    // key it clears moves nothing.
    int key = event->key();
    if (OnKeyDown) OnKeyDown(*this, key, event->modifiers());
    if (key != 0) DefaultKeyDown(event);
}

void TPalGrid::KeyEvent(QKeyEvent* event) {
    const int key = event->key();
    // Escape closes an open in-place editor; with none open it is not the
    // grid's, and goes on to the window (a dialog's cancel).
    if (key == Qt::Key_Escape && !EditorMode()) {
        event->ignore();
        return;
    }
    if (HandleKeyDown(event)) return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        AdvanceCell();
        return;
    }
    if (key == Qt::Key_Escape) return;
    if (CurrentCellEditable() && GetEditStyle(Col(), Row()) != edsCheckBox) KeyPress(event);
}

int TPalGrid::EditableColAfter(int col, int row) {
    for (int c = col + 1; c < ColCount(); ++c)
        if (IsCellEditable(c, row)) return c;
    return -1;
}

void TPalGrid::LeaveRowForward() {
    RowExit(Row());
    MoveFocusOn();
}

// Enter: the next editable cell of the row, else the first of the next row
// (appending one when asked), else the focus moves on from the grid.
void TPalGrid::AdvanceCell() {
    SetEditorMode(false);
    const int next = EditableColAfter(Col(), Row());
    const bool arrived = next >= 0 ? AdvanceInRow(next) : AdvanceToNextRow();
    if (arrived) ShowEditorOnArrival();
}

bool TPalGrid::AdvanceInRow(int next) {
    if (KeyCol == -1 || KeyCol >= next || !Cells(KeyCol, Row()).isEmpty()) {
        FocusCell(next, Row());
        return true;
    }
    // The key column lies behind and is empty: the row is left, unless
    // leaving the cell filled it.
    CellExit(Col(), Row());
    if (!Cells(KeyCol, Row()).isEmpty())
        AdvanceCell();
    else
        LeaveRowForward();
    return false;
}

bool TPalGrid::AdvanceToNextRow() {
    bool appended = false;
    if ((FOptions & dgeAutoAppendRows) && Row() == RowCount() - 1) {
        AppendRow();
        appended = true;
    }
    const int first = EditableColAfter(FixedCols() - 1, Row());
    auto nextRowEditable = [&] { return first >= 0 && Row() + 1 < RowCount() && IsCellEditable(first, Row() + 1); };
    if (!nextRowEditable()) {
        try {
            CellExit(Col(), Row());
        } catch (...) {
            if (appended) DeleteRow(RowCount() - 1);
            throw;
        }
        // Leaving the cell may have made the next row editable after all.
        if (nextRowEditable())
            AdvanceCell();
        else
            LeaveRowForward();
        return false;
    }
    FocusCell(first, Row() + 1, false);
    // A row appended for the move that was not moved into goes again.
    if (appended && Row() != RowCount() - 1 && RowCount() - FixedRows() > 1) DeleteRow(RowCount() - 1);
    return true;
}

void TPalGrid::ShowEditorOnArrival() {
    bool readOnly = false;
    const TEditStyle style = GetEditStyle(Col(), Row(), &readOnly);
    if (IsCellEditable(Col(), Row()) && !readOnly) {
        ShowEditor();
        if (style != edsCheckBox && InplaceEditor()) InplaceEditor()->selectAll();
    }
}

QRect TPalGrid::CheckBoxArea(int width, int height) {
    const int x = (width - height - 2) / 2; // integer division toward zero
    return QRect(QPoint(x, 1), QPoint(x + height - 2 - 1, height - 2 - 1));
}

void TPalGrid::MouseDown(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    int col = -1, row = -1;
    const bool onCell = MouseToCell(p, col, row);
    FPressCol = col;
    FPressRow = row;
    if (onCell && (FOptions & dgeRangeSelect)) SetGridOptions((GridOptions() | goRangeSelect) & ~goEditing);
    DefaultMouseDown(event);
    if (!onCell || row < FixedRows()) {
        if (OnTitleClick) OnTitleClick(*this, col, row);
        return;
    }
    if (col == Col() && row == Row() && GetEditStyle(col, row) == edsCheckBox) {
        if (CanEditShow()) ShowEditor();
    } else if ((FOptions & dgeAlwaysShowEditor) && CanEditShow()) {
        ShowEditor();
    } else if (!CanEditShow()) {
        HideEditor();
    }
}

void TPalGrid::MouseUp(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    int col = -1, row = -1;
    const bool onCell = MouseToCell(p, col, row);
    if (onCell && col == FPressCol && row == FPressRow && (FOptions & dgeEditing) && !(GridOptions() & goEditing))
        SetGridOptions((GridOptions() & ~goRangeSelect) | goEditing);
    DefaultMouseUp(event);
    if (!CurrentCellEditable())
        HideEditor();
    else if (FOptions & dgeAlwaysShowEditor)
        ShowEditor();
    if (onCell && col == Col() && row == Row()) {
        bool readOnly = false;
        if (GetEditStyle(col, row, &readOnly) == edsCheckBox && CurrentCellEditable() && !readOnly) {
            const QRect cell = CellRect(col, row);
            if (CheckBoxArea(cell.width(), cell.height()).contains(p - cell.topLeft())) ToggleCheckBox();
        }
    }
}

// ---- proportional widths ----------------------------------------------------------------

void TPalGrid::ColWidthsChanged() {
    if (FApplyingWidths) return;
    if (FProportional) {
        double sum = 0;
        for (int c = 0; c < ColCount(); ++c) sum += ColWidths(c);
        FColPercents.assign(static_cast<size_t>(ColCount()), 0);
        if (sum > 0)
            for (int c = 0; c < ColCount(); ++c)
                FColPercents[static_cast<size_t>(c)] = RoundHalfEven(ColWidths(c) * 100.0 / sum);
        ApplyProportionalWidths();
    }
    if (!Loading && OnColWidthsChanged) OnColWidthsChanged(*this);
}

void TPalGrid::ApplyProportionalWidths() {
    if (!FProportional || FColPercents.size() != static_cast<size_t>(ColCount())) return;
    const QScopedValueRollback applying(FApplyingWidths, true);
    const int client = ClientArea().width();
    int sum = 0;
    for (int c = 0; c + 1 < ColCount(); ++c) {
        const int w = RoundHalfEven(client * FColPercents[static_cast<size_t>(c)] / 100.0);
        SetColWidths(c, w);
        sum += w;
    }
    SetColWidths(ColCount() - 1, std::max(0, client - sum));
}

void TPalGrid::Resized() {
    ApplyProportionalWidths();
}

// ---- painting ---------------------------------------------------------------------------

void TPalGrid::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) {
    if (rect.height() == 0) return;
    painter.setFont(font());
    if (state & gdFixed) {
        DrawFixedCell(painter, col, row, rect, state);
        return;
    }
    QColor fontColour;
    const QRect inner = DrawBodyBackground(painter, row, rect, state, fontColour);
    if (OnDrawCell) OnDrawCell(*this, col, row, inner, state);
    DrawBodyContent(painter, col, row, inner, fontColour);
    if (state & gdFocused) {
        painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

// A title cell: a gradient with an amber band under the current column (or a
// flat face on low-colour displays), its text, and its bevel.
void TPalGrid::DrawFixedCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) {
    const QColor face = palette().color(QPalette::Button);
    const bool low = LowColor();
    QColor base = FStyle == gsNormal ? FixedColor : Darken(face, 5);
    if (!low) base = Darken(base, 5);
    QColor fontColour;
    if (FStyle == gsNormal)
        fontColour = palette().color(QPalette::ButtonText);
    else
        fontColour = (base.red() + base.green() + base.blue()) / 3.0 >= 127.5 ? Qt::black : Qt::white;
    if (OnDrawFixedCell) OnDrawFixedCell(*this, col, row, rect, state);
    if (low) {
        painter.fillRect(rect, face);
    } else {
        GradientRect(painter, Lighten(face, 40), face, 0,
                     QRect(rect.left(), rect.top(), rect.width(), rect.height() - 4));
        GradientRect(painter, face, col == Col() ? AmberBand() : Darken(face, 20), 0,
                     QRect(rect.left(), rect.bottom() - 3, rect.width(), 4));
    }
    painter.setPen(fontColour);
    Qt::Alignment align = Qt::AlignHCenter;
    QRect textRect = rect.adjusted(0, 1, 0, 0);
    if (col == 0) { // only the first column follows FixedRowAlignment
        if (FixedRowAlignment & Qt::AlignLeft) {
            align = Qt::AlignLeft;
            textRect.setLeft(rect.left() + 5);
        } else if (FixedRowAlignment & Qt::AlignRight) {
            align = Qt::AlignRight;
            textRect.setRight(rect.right() - 5);
        }
    }
    painter.drawText(textRect, align | Qt::AlignTop, VisiblePart(Cells(col, row), textRect.width()));
    if (low)
        DrawLowColourBevel(painter, rect);
    else
        DrawFixedCellLines(painter, col, row, rect);
}

void TPalGrid::DrawLowColourBevel(QPainter& painter, const QRect& rect) {
    const QRect f = rect.adjusted(-1, -1, 0, 0);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(f.topLeft(), f.topRight());
    painter.drawLine(f.topLeft(), f.bottomLeft());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(f.bottomLeft(), f.bottomRight());
    painter.drawLine(f.topRight(), f.bottomRight());
}

// Light at the top and left, dark at the bottom and right; the side lines
// stop short of the corners except at the grid's edges.
void TPalGrid::DrawFixedCellLines(QPainter& painter, int col, int row, const QRect& rect) {
    const QColor face = palette().color(QPalette::Button);
    painter.setPen(Lighten(face, 80));
    if (col == 0)
        painter.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
    else
        painter.drawLine(rect.left(), rect.top() + 3, rect.left(), rect.bottom() - 4);
    painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
    painter.setPen(Darken(face, 20));
    const bool full = col == ColCount() - 1 || (row >= FixedRows() && col == FixedCols() - 1);
    if (full)
        painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    else
        painter.drawLine(rect.right(), rect.top() + 3, rect.right(), rect.bottom() - 4);
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
}

// A body cell's background: a light line at its bottom and right, the rest
// in the row's or the selection's colour. Returns the area left for the
// content; fontColour is the colour to write it in.
QRect TPalGrid::DrawBodyBackground(QPainter& painter, int row, const QRect& rect, TGridDrawState state,
                                   QColor& fontColour) {
    const QColor face = palette().color(QPalette::Button);
    painter.setPen(Lighten(face, 30));
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    QRect inner = rect.adjusted(0, 0, -1, -1);
    const bool selected = (state & gdSelected) && !((FOptions & dgeHideSelection) && !hasFocus() &&
                                                    !(InplaceEditor() && InplaceEditor()->hasFocus()));
    QColor colour;
    fontColour = palette().color(QPalette::Text);
    if (!selected) {
        colour = FRowsEffect.Active() ? Lighten(FixedColor, row % 2 ? 60 : 90) : Color;
    } else {
        colour = FSelectionEffect.Color();
        fontColour = FSelectionEffect.FontColor();
        if (FSelectionEffect.Beveled()) {
            painter.setPen(Qt::black);
            painter.drawLine(inner.left(), inner.bottom(), inner.right(), inner.bottom());
            painter.drawLine(inner.right(), inner.top(), inner.right(), inner.bottom());
            painter.setPen(palette().color(QPalette::Light));
            painter.drawLine(inner.left(), inner.top(), inner.right(), inner.top());
            painter.drawLine(inner.left(), inner.top(), inner.left(), inner.bottom());
            inner.adjust(1, 1, -1, -1);
        }
    }
    if (LowColor())
        painter.fillRect(inner, palette().color(QPalette::Base));
    else if (fontColour.lightness() > colour.lightness())
        // Light text on a dark cell (a dark palette): the gradient stays near
        // the cell's colour, so that the text keeps its contrast.
        GradientRect(painter, Lighten(colour, 12), colour, 0, inner);
    else
        GradientRect(painter, Lighten(colour, 40), Lighten(colour, 10), 0, inner);
    return inner;
}

// A body cell's content as its draw style asks: a check box, or the text
// formatted and aligned.
void TPalGrid::DrawBodyContent(QPainter& painter, int col, int row, const QRect& inner, const QColor& fontColour) {
    int drawStyle = drsText;
    if (!Loading && OnGetDrawStyle) OnGetDrawStyle(*this, col, row, drawStyle);
    if (drawStyle == drsNone) return;
    const QString text = Cells(col, row);
    if (GetEditStyle(col, row) == edsCheckBox) {
        if (text.isEmpty()) return;
        QRect box = inner.adjusted(1, 1, -1, -1);
        if (box.width() > 12 && box.height() > 12) {
            const int in = (box.height() - 13) / 2;
            box.adjust(0, in, 0, -in);
        }
        DrawCheckBox(painter, box, CellNumber(text) & 127);
        return;
    }
    bool right = false;
    const QString shown = FormatByDrawStyle(text, drawStyle, right);
    painter.save();
    painter.setClipRect(inner);
    painter.setPen(fontColour);
    if (right)
        painter.drawText(inner.adjusted(0, 2, -2, 0), Qt::AlignRight | Qt::AlignTop,
                         VisiblePart(shown, inner.width(), true));
    else
        painter.drawText(inner.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, VisiblePart(shown, inner.width()));
    painter.restore();
}

void TPalGrid::PaintGrid(QPainter& painter) {
    TCustomStringGrid::PaintGrid(painter);
    if (EditorMode() && (FOptions & dgeEditing)) {
        // The current cell once more, plain, behind the editor.
        const QRect cell = CellRect(Col(), Row());
        if (!cell.isEmpty()) {
            painter.setClipRect(ClientArea());
            DrawCell(painter, Col(), Row(), cell, 0);
            painter.setClipping(false);
        }
    }
}

void TPalGrid::PaintBorder(QPainter& painter) {
    if (FBorderStyle != bsSingle) return;
    painter.setPen(LowColor() ? palette().color(QPalette::Dark) : BorderColour());
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace elo
