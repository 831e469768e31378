#include "LkEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

#include "Images.h"
#include "Splitters.h"
#include "VetoSelection.h"
#include "cmdlang/LnkUtils.h"
#include "grid/EventBoundary.h"
#include "grid/QtText.h"
#include "keyw.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"

namespace elo {

namespace {

// Where a row keeps its sub-items: whether it has them, and its Text (the
// system's bytes). Its Label is the text of column 1.
constexpr int kHasSubItemsRole = Qt::UserRole + 1;
constexpr int kTextRole = Qt::UserRole + 2;
constexpr int kImageRole = Qt::UserRole + 3;

int ImageOfCaption(const QString& caption) {
    const std::string text = caption.toStdString(); // the test is on ASCII letters only
    if (SameTextAscii(text, "pointer")) return imgPointerTag;
    if (SameTextAscii(text, "link")) return imgLinkTag;
    return imgTag;
}

// The rename of a row ends here: the editor decides what the caption becomes.
class TRenameDelegate : public QStyledItemDelegate {
public:
    TRenameDelegate(TfrmLkEdit* editor, QTreeWidget* list) : QStyledItemDelegate(list), FEditor(editor), FList(list) {}
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || index.column() != 0) return;
        QTreeWidgetItem* row = FList->topLevelItem(index.row());
        const QString text = line->text();
        Guard([&] { FEditor->ListView1Edited(row, text); });
    }

private:
    TfrmLkEdit* FEditor;
    QTreeWidget* FList;
};

QLineEdit* Field(QWidget* parent, const char* name, int x, int y, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(x, y, width, 21);
    return edit;
}

QLabel* Label(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

// ---- TTagListView ------------------------------------------------------------------

TTagListView::TTagListView(TfrmLkEdit* editor) : FEditor(editor) {
    setObjectName("ListView1");
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Tags"), QStringLiteral("Etiqueta")});
    header()->resizeSection(0, 90);
    header()->setStretchLastSection(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setIconSize(QSize(16, 16));
    setAllColumnsShowFocus(true);
    // The selection stays visible without the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
    setItemDelegate(new TRenameDelegate(editor, this));
    FVeto = new TVetoSelectionModel(model(), this);
    setSelectionModel(FVeto);
}

void TTagListView::keyPressEvent(QKeyEvent* event) {
    bool consumed = false;
    Guard([&] { consumed = FEditor->ListView1KeyDown(event); });
    if (!consumed) QTreeWidget::keyPressEvent(event);
}

void TTagListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    Guard([&] { FEditor->NestedEditing(); });
}

bool TTagListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A row named exactly "link" is edited as a link, never renamed.
    if (trigger != NoEditTriggers && index.isValid() && index.siblingAtColumn(0).data().toString() == "link")
        return false;
    return QTreeWidget::edit(index.siblingAtColumn(0), trigger, event);
}

// ---- TfrmLkEdit: controls ---------------------------------------------------------------

TfrmLkEdit::TfrmLkEdit(QWidget* parent, bool embedded) : QDialog(parent) {
    CreateControls(embedded);
    CreateConnections();
}

TfrmLkEdit::~TfrmLkEdit() = default;

void TfrmLkEdit::CreateControls(bool embedded) {
    setObjectName("frmLkEdit");
    if (embedded) setWindowFlags(Qt::Widget); // a child without a frame
    // The layout is the form's, made for an 8-point font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    resize(653, 507);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Splitter2 = NewSplitter(Qt::Vertical, this, "Splitter2");
    layout->addWidget(Splitter2, 1);

    Memo1 = new QPlainTextEdit(Splitter2);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::ClickFocus); // skipped by the Tab key
    Memo1->setTabChangesFocus(true);
    {
        QPalette p = Memo1->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        Memo1->setPalette(p);
    }

    Splitter1 = NewSplitter(Qt::Vertical, Splitter2, "Splitter1");
    Splitter2->setSizes({65, 442});
    Splitter2->setStretchFactor(1, 1);

    // Panel1 shows the record and takes no input. It is disabled, yet drawn
    // as the fields normally look; "..." lies over it and stays enabled, so
    // that the keywords can be chosen with the mouse and with the keyboard.
    auto* panel1Host = new QWidget(Splitter1);
    panel1Host->setMinimumHeight(118);
    Panel1 = new QWidget(panel1Host);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 0, 2000, 118);
    Panel1->setEnabled(false);
    {
        QPalette p = palette();
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto r = static_cast<QPalette::ColorRole>(role);
            p.setColor(QPalette::Disabled, r, p.color(QPalette::Active, r));
        }
        Panel1->setPalette(p);
    }
    Label(Panel1, QStringLiteral("ID"), 8, 11);
    Edit4 = Field(Panel1, "Edit4", 53, 7, 74);
    {
        QPalette p = Edit4->palette();
        p.setColor(QPalette::Disabled, QPalette::Base, p.color(QPalette::Active, QPalette::Button));
        Edit4->setPalette(p);
    }
    Label(Panel1, QStringLiteral("Tipo"), 8, 39);
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setGeometry(53, 36, 231, 21);
    for (const char* caption : kLinkTypeCaptions) ComboBox1->addItem(ToQString(caption));
    Label(Panel1, QStringLiteral("Etiqueta"), 8, 64);
    Edit1 = Field(Panel1, "Edit1", 53, 60, 231);
    Label(Panel1, QStringLiteral("Alvo"), 298, 40);
    Edit2 = Field(Panel1, "Edit2", 343, 36, 231);
    Label(Panel1, QStringLiteral("Chaves"), 298, 64);
    Edit3 = Field(Panel1, "Edit3", 343, 60, 212);
    CheckBox1 = new QCheckBox(QStringLiteral("Oculto"), Panel1);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(53, 91, std::max(52, CheckBox1->sizeHint().width()), 17);
    CheckBox2 = new QCheckBox(QStringLiteral("Default Edit"), Panel1);
    CheckBox2->setObjectName("CheckBox2");
    CheckBox2->setGeometry(123, 91, std::max(76, CheckBox2->sizeHint().width()), 17);
    Label(Panel1, QStringLiteral("Ordem:"), 208, 93);
    Edit5 = Field(Panel1, "Edit5", 248, 89, 35);
    Button4 = new QPushButton(QStringLiteral("..."), panel1Host);
    Button4->setObjectName("Button4");
    Button4->setGeometry(557, 61, 17, 20);
    Button4->setToolTip(QStringLiteral("Palavras - Chave"));
    Button4->raise();

    Panel4 = new QWidget(Splitter1);
    Panel4->setObjectName("Panel4");
    Splitter1->setSizes({118, 324});
    Splitter1->setStretchFactor(1, 1);
    auto* panel4Layout = new QVBoxLayout(Panel4);
    panel4Layout->setContentsMargins(0, 0, 0, 0);
    panel4Layout->setSpacing(0);
    Panel3 = new QWidget(Panel4);
    Panel3->setObjectName("Panel3");
    Panel3->setFixedHeight(30);
    Button3 = new QPushButton(QStringLiteral("Editar Link"), Panel3);
    Button3->setObjectName("Button3");
    Button3->setGeometry(4, 3, 75, 25);
    Panel3->hide();
    panel4Layout->addWidget(Panel3);
    Splitter3 = NewSplitter(Qt::Horizontal, Panel4, "Splitter3");
    panel4Layout->addWidget(Splitter3, 1);

    ListView1 = new TTagListView(this);
    Splitter3->addWidget(ListView1);

    // The grid, and under it whether the parameters make a tag text that parses.
    auto* gridPane = new QWidget(Splitter3);
    auto* gridLayout = new QVBoxLayout(gridPane);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setSpacing(1);
    StringGrid2 = new TPalGrid(gridPane);
    StringGrid2->setObjectName("StringGrid2");
    gridLayout->addWidget(StringGrid2, 1);
    ParseStatus = new QLabel(gridPane);
    ParseStatus->setObjectName("ParseStatus");
    ParseStatus->setContentsMargins(3, 0, 3, 1);
    gridLayout->addWidget(ParseStatus);
    StringGrid2->SetColCount(3);
    StringGrid2->SetFixedCols(0);
    StringGrid2->SetRowCount(2);
    StringGrid2->SetFixedRows(1);
    StringGrid2->SetColWidths(0, 23);
    StringGrid2->SetColWidths(1, 85);
    StringGrid2->SetColWidths(2, 491);
    StringGrid2->SetGridLineWidth(0);
    StringGrid2->DefaultDrawing = false;
    StringGrid2->SetOptions(dgeColSizing | dgeEditing | dgeAutoAppendRows | dgeArrowKeyActive);
    StringGrid2->KeyCol = -1;
    Splitter3->addWidget(gridPane);
    Splitter3->setSizes({241, 409});
    Splitter3->setStretchFactor(1, 1);
    ResetGrid();

    Panel2 = new QWidget(this);
    Panel2->setObjectName("Panel2");
    Panel2->setFixedHeight(32);
    auto* buttons = new QHBoxLayout(Panel2);
    buttons->setContentsMargins(4, 4, 8, 3);
    buttons->addStretch(1);
    Button1 = new QPushButton(QStringLiteral("OK"), Panel2);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancelar"), Panel2);
    Button2->setObjectName("Button2");
    Button2->setAutoDefault(false);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    Panel2->hide();
    layout->addWidget(Panel2); // placed below everything else, at the very bottom

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1);
    Timer1->setSingleShot(true);

    // The tab order: the fields take no input, Memo1 is skipped.
    setTabOrder(Button4, ListView1);
    setTabOrder(ListView1, StringGrid2);
    setTabOrder(StringGrid2, Button1);
    setTabOrder(Button1, Button2);
}

void TfrmLkEdit::CreateConnections() {
    ListView1->VetoModel()->OnChanging = [this](const QModelIndex& from, const QModelIndex& to) {
        bool allowed = false;
        Guard([&] {
            allowed = ListView1Changing(from.isValid() ? ListView1->topLevelItem(from.row()) : nullptr,
                                        to.isValid() ? ListView1->topLevelItem(to.row()) : nullptr);
        });
        return allowed;
    };
    connect(ListView1->VetoModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Guard([&] { ListView1Change(); }); });
    StringGrid2->OnKeyDown = [this](TCustomStringGrid&, int& key, Qt::KeyboardModifiers shift) {
        StringGrid2KeyDown(key, shift);
    };
    StringGrid2->OnSelectCell = [this](TCustomStringGrid&, int col, int row, bool& canSelect) {
        StringGrid2SelectCell(col, row, canSelect);
    };
    StringGrid2->OnSetEditText = [this](TCustomStringGrid&, int col, int row, const QString& value) {
        StringGrid2SetEditText(col, row, value);
    };
    StringGrid2->OnGetEditStyle = [](TPalGrid&, int col, int, TEditStyle& style, bool&) {
        if (col == 0) style = edsCheckBox;
    };
    connect(Button3, &QPushButton::clicked, this, [this] { Guard([&] { NestedEditing(); }); });
    connect(Timer1, &QTimer::timeout, this, [this] { Guard([&] { NestedEditing(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([&] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(2); });
    connect(Button4, &QPushButton::clicked, this, [this] { Guard([&] { Button4Click(); }); });
}

// ---- rows ----------------------------------------------------------------------------------

bool TfrmLkEdit::HasSubItems(const QTreeWidgetItem* row) {
    return row && row->data(0, kHasSubItemsRole).toBool();
}

std::string TfrmLkEdit::RowText(const QTreeWidgetItem* row) {
    if (!HasSubItems(row)) throw EListError(1);
    return row->data(0, kTextRole).toByteArray().toStdString();
}

void TfrmLkEdit::SetRowText(QTreeWidgetItem* row, std::string_view text) {
    if (!HasSubItems(row)) throw EListError(1);
    row->setData(0, kTextRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

void TfrmLkEdit::GiveSubItems(QTreeWidgetItem* row) {
    if (!row || HasSubItems(row)) return;
    row->setData(0, kHasSubItemsRole, true);
    row->setData(0, kTextRole, QByteArray());
    row->setText(1, QString());
}

QTreeWidgetItem* TfrmLkEdit::AddRow(const QString& caption) {
    auto* row = new QTreeWidgetItem(ListView1);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    row->setData(0, kImageRole, -1);
    SetRowCaption(row, caption);
    return row;
}

void TfrmLkEdit::SetRowCaption(QTreeWidgetItem* row, const QString& caption) {
    row->setText(0, caption);
    // Every caption a row receives sets its image; a changed image commits the
    // grid into the selected tag first.
    const int image = ImageOfCaption(caption);
    if (row->data(0, kImageRole).toInt() != image) {
        Commit();
        row->setData(0, kImageRole, image);
        row->setIcon(0, TagImage(image));
    }
    // A new "link" tag with nothing in it yet opens its nested editor.
    if (caption == "link" && HasSubItems(row) && RowText(row).empty()) Timer1->start();
}

QTreeWidgetItem* TfrmLkEdit::SelectedRow() const {
    const QModelIndex index = ListView1->VetoModel()->SelectedRow();
    return index.isValid() ? ListView1->topLevelItem(index.row()) : nullptr;
}

bool TfrmLkEdit::SelectRow(QTreeWidgetItem* row) {
    TVetoSelectionModel* model = ListView1->VetoModel();
    if (!row) {
        model->clearSelection();
        return true;
    }
    const QModelIndex index = ListView1->model()->index(ListView1->indexOfTopLevelItem(row), 0);
    model->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return SelectedRow() == row;
}

bool TfrmLkEdit::PointerOverRow() const {
    return ListView1->itemAt(ListView1->viewport()->mapFromGlobal(QCursor::pos())) != nullptr;
}

// ---- decoding and encoding ---------------------------------------------------------------

void TfrmLkEdit::ShowRecord(const TLinkDefinition& r) {
    Edit2->setText(ToQString(r.Target));
    ComboBox1->setCurrentIndex(r.TypeIndex);
    Edit1->setText(ToQString(r.Caption));
    Edit4->setText(ToQString(r.Id));
    Edit3->setText(ToQString(r.Keywords));
    CheckBox1->setChecked(r.Hidden);
    Edit5->setText(ToQString(r.Order));
    CheckBox2->setChecked(r.DefaultEdit);
}

void TfrmLkEdit::DecodeLink(std::string_view text) {
    // What decoding keeps until a later step sets it comes from the controls.
    TLinkDefinition r;
    r.Target = FromQString(Edit2->text());
    r.TypeIndex = std::max(0, ComboBox1->currentIndex());
    r.Caption = FromQString(Edit1->text());
    // Its first step, on the controls.
    Memo1->setPlainText(ToQString(text));
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    Edit5->clear();
    Edit4->clear();
    Edit3->clear();
    ListView1->clear();
    FRawText.assign(text);
    FVerbatim = true;
    FEdited = false;
    // Whatever the steps set reaches the controls, also when a step raises.
    TScopeExit shown([&] { ShowRecord(r); });
    elo::DecodeLink(r, text, OnGetNewId, this, [&](TLinkDefinition& tags) {
        ShowRecord(tags);
        for (const TLinkTag& tag : tags.Tags) {
            QTreeWidgetItem* row = AddRow(ToQString(tag.Name));
            GiveSubItems(row);
            row->setText(1, ToQString(tag.Label));
            SetRowText(row, tag.Text);
        }
        ResetGrid();
        if (ListView1->topLevelItemCount() > 0) {
            FirstTagFlag = true;
            TScopeExit lowered([&] { FirstTagFlag = false; });
            SelectRow(ListView1->topLevelItem(0));
        }
    });
    FVerbatim = r.Verbatim;
}

std::string TfrmLkEdit::EncodeLink() {
    Commit();
    TLinkDefinition r;
    r.Target = FromQString(Edit2->text());
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        const std::string text = RowText(row); // a row without sub-items cannot be encoded
        r.Tags.push_back({FromQString(row->text(0)), FromQString(row->text(1)), text});
    }
    r.Id = FromQString(Edit4->text());
    r.TypeIndex = std::max(0, ComboBox1->currentIndex());
    r.Keywords = FromQString(Edit3->text());
    r.Hidden = CheckBox1->isChecked();
    r.Caption = FromQString(Edit1->text());
    r.Order = FromQString(Edit5->text());
    r.DefaultEdit = CheckBox2->isChecked();
    return elo::EncodeLink(r);
}

std::string TfrmLkEdit::LinkToStore() {
    if (FVerbatim && !FEdited) return FRawText;
    return EncodeLink();
}

std::string TfrmLkEdit::LinkCaption() const {
    return FromQString(Edit1->text());
}

void TfrmLkEdit::SetLinkCaption(std::string_view caption) {
    Edit1->setText(ToQString(caption));
}

int TfrmLkEdit::ShowModal() {
    Panel2->show();
    return exec();
}

// ---- the grid --------------------------------------------------------------------------------

std::string TfrmLkEdit::GridTagText() const {
    std::vector<TTagParameter> rows;
    const int last = StringGrid2->RowCount() - 1;
    for (int r = 1; r <= last; ++r) {
        TTagParameter p{"", FromQString(StringGrid2->Cells(1, r)), FromQString(StringGrid2->Cells(2, r))};
        // An empty row between others would make a text that never parses
        // again: it is left out. A grid whose only row is empty gives "=".
        if (last > 1 && p.Name.empty() && p.Source.empty()) continue;
        rows.push_back(std::move(p));
    }
    return TagTextFromParameters(rows);
}

void TfrmLkEdit::Commit() {
    QTreeWidgetItem* row = SelectedRow();
    if (!row) return;
    const std::string text = GridTagText();
    GiveSubItems(row);
    SetRowText(row, text);
}

void TfrmLkEdit::ShowParseStatus() {
    if (!SelectedRow()) {
        ParseStatus->clear();
        return;
    }
    std::string text;
    try {
        text = GridTagText();
    } catch (const Exception& e) {
        ParseStatus->setStyleSheet(QStringLiteral("color: #b00000;"));
        ParseStatus->setText(ToQString(e.Message));
        return;
    }
    TcmdListParser parser;
    try {
        parser.Parse(text);
        ParseStatus->setStyleSheet(QStringLiteral("color: #006000;"));
        ParseStatus->setText(QStringLiteral("Par\u00E2metros v\u00E1lidos"));
    } catch (const ESyntaxError& e) {
        ParseStatus->setStyleSheet(QStringLiteral("color: #b00000;"));
        ParseStatus->setText(ToQString(e.Message) +
                             QStringLiteral(" (coluna %1 de: %2)").arg(parser.ErrorPosition()).arg(ToQString(text)));
    }
}

void TfrmLkEdit::FillGrid(QTreeWidgetItem* row) {
    if (row && row != SelectedRow()) row = nullptr;
    for (int r = 0; r < StringGrid2->RowCount(); ++r)
        for (int c = 0; c < 3; ++c) StringGrid2->SetCells(c, r, QString());
    StringGrid2->SetCells(0, 0, QStringLiteral("Var"));
    StringGrid2->SetCells(1, 0, QString::fromUtf8("\u00CDtem"));
    StringGrid2->SetCells(2, 0, QString::fromUtf8("Conte\u00FAdo"));
    StringGrid2->SetFixedRows(1);
    // Whatever the filling comes to, the status says whether it parses.
    TScopeExit status([this] { ShowParseStatus(); });
    if (!row || !HasSubItems(row)) {
        StringGrid2->SetRowCount(2);
        return;
    }
    NewTagFlag = false;
    const std::vector<TTagParameter> params = ParametersFromTagText(RowText(row));
    if (params.empty()) return;
    StringGrid2->SetRowCount(static_cast<int>(params.size()) + 1);
    for (size_t k = 0; k < params.size(); ++k) {
        const int r = static_cast<int>(k) + 1;
        StringGrid2->SetCells(0, r, ToQString(params[k].Var));
        StringGrid2->SetCells(1, r, ToQString(params[k].Name));
        StringGrid2->SetCells(2, r, ToQString(params[k].Source));
    }
}

void TfrmLkEdit::StringGrid2KeyDown(int& key, Qt::KeyboardModifiers) {
    if (key != Qt::Key_Delete) return;
    MarkEdited();
    TPalGrid& g = *StringGrid2;
    if (g.RowCount() <= 2) {
        g.SetRowCount(2);
        for (int c = 0; c < 3; ++c) g.SetCells(c, 1, QString());
        return;
    }
    for (int r = g.Row(); r < g.RowCount() - 1; ++r)
        for (int c = 0; c < 3; ++c) g.SetCells(c, r, g.Cells(c, r + 1));
    g.SetRowCount(g.RowCount() - 1);
    if (QTreeWidgetItem* row = SelectedRow()) SetRowCaption(row, g.Cells(1, 1));
    ShowParseStatus();
}

void TfrmLkEdit::StringGrid2SelectCell(int, int row, bool&) {
    TPalGrid& g = *StringGrid2;
    const int last = g.RowCount() - 1;
    if (row != last && last > g.FixedRows() && g.Cells(1, last).isEmpty()) g.SetRowCount(last);
}

void TfrmLkEdit::StringGrid2SetEditText(int col, int row, const QString& value) {
    MarkEdited();
    if (col == 1 && row == 1)
        if (QTreeWidgetItem* tag = SelectedRow()) SetRowCaption(tag, value);
    ShowParseStatus();
}

// ---- the tag list ------------------------------------------------------------------------------

bool TfrmLkEdit::ListView1Changing(QTreeWidgetItem*, QTreeWidgetItem*) {
    Commit();
    // Unless decoding selects the first tag, the selection moves only while
    // the pointer rests over a row: a click below the rows keeps it.
    return FirstTagFlag || PointerOverRow();
}

void TfrmLkEdit::ListView1Change() {
    FillGrid(SelectedRow());
}

void TfrmLkEdit::ListView1Edited(QTreeWidgetItem* row, const QString& text) {
    MarkEdited();
    StringGrid2->SetCol(0);
    StringGrid2->SetRow(1);
    StringGrid2->SetCells(1, 1, text);
    StringGrid2->setFocus();
    SetRowCaption(row, text);
}

bool TfrmLkEdit::ListView1KeyDown(QKeyEvent* event) {
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    QTreeWidgetItem* selected = SelectedRow();
    switch (key) {
    case Qt::Key_Down: {
        const int count = ListView1->topLevelItemCount();
        const bool atEnd = !selected || ListView1->indexOfTopLevelItem(selected) == count - 1;
        if (!atEnd || NewTagFlag) return false; // the selection moves as usual
        MarkEdited();
        QTreeWidgetItem* row = AddRow(QStringLiteral("<novo>"));
        SelectRow(row);
        ResetGrid();
        ListView1->editItem(row, 0);
        NewTagFlag = true;
        return true;
    }
    case Qt::Key_Escape:
        if (NewTagFlag && selected) {
            delete selected;
            ResetGrid();
        }
        NewTagFlag = false;
        return true;
    case Qt::Key_Delete:
        if (selected) {
            MarkEdited();
            delete selected;
            ResetGrid();
        }
        return true;
    case Qt::Key_C:
        if (!ctrl) return false;
        if (selected) QGuiApplication::clipboard()->setText(ToQString(RowText(selected)));
        return true;
    case Qt::Key_V: {
        if (!ctrl) return false;
        const QString text = QGuiApplication::clipboard()->text();
        if (!text.isEmpty() && selected) {
            MarkEdited();
            SetRowText(selected, FromQString(text));
            FillGrid(selected);
        }
        return true;
    }
    default:
        return false;
    }
}

// ---- nested editing, buttons ------------------------------------------------------------------

void TfrmLkEdit::NestedEditing() {
    QTreeWidgetItem* row = SelectedRow();
    if (!row || !SameTextAscii(FromQString(row->text(0)), "link")) return;
    GiveSubItems(row);
    auto nested = std::make_unique<TfrmLkEdit>(nullptr, false);
    nested->setWindowTitle(QStringLiteral("Editar Link"));
    nested->setWindowIcon(windowIcon());
    nested->OnGetNewId = OnGetNewId;
    nested->DecodeLink(RowText(row));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        nested->move(screen->availableGeometry().center() - nested->rect().center());
    if (nested->ShowModal() == 1) {
        MarkEdited();
        SetRowText(row, nested->EncodeLink());
        FillGrid(row);
    } else if (RowText(row).empty()) {
        delete row;
        ListView1->setFocus();
    }
}

void TfrmLkEdit::Button1Click() {
    // OK keeps the dialog open when the link cannot be encoded.
    EncodeLink();
    done(1);
}

void TfrmLkEdit::Button4Click() {
    std::string keywords = FromQString(Edit3->text());
    if (PickKeywords(this, keywords)) {
        MarkEdited();
        Edit3->setText(ToQString(keywords));
    }
}

} // namespace elo
