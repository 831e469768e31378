#include "LkEdit.h"

#include <QAction>
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
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

#include "Images.h"
#include "Splitters.h"
#include "VetoSelection.h"
#include "cmdlang/LnkUtils.h"
#include "keyw.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"
#include "qtedge/EventBoundary.h"
#include "qtedge/QtText.h"

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
class TTagRenameDelegate : public QStyledItemDelegate {
public:
    TTagRenameDelegate(TfrmLkEdit* editor, QTreeWidget* list)
        : QStyledItemDelegate(list), FEditor(editor), FList(list) {}
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

// Memo1: the raw text. Its keys go to the editor first.
class TRawTextEdit : public QPlainTextEdit {
public:
    TRawTextEdit(TfrmLkEdit* editor, QWidget* parent) : QPlainTextEdit(parent), FEditor(editor) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        bool consumed = false;
        Guard([&] { consumed = FEditor->Memo1KeyDown(event); });
        if (!consumed) QPlainTextEdit::keyPressEvent(event);
    }

private:
    TfrmLkEdit* FEditor;
};

QLineEdit* Field(QWidget* parent, const char* name, int x, int y, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(x, y, width, 21);
    return edit;
}

// The form's positions were made for a narrower font than a Linux desktop's:
// a caption that would run into the next control is set condensed, then
// smaller, until it fits its width.
void FitInto(QWidget* widget, int width) {
    QFont font = widget->font();
    for (const int stretch : {QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed}) {
        font.setStretch(stretch);
        widget->setFont(font);
        if (widget->sizeHint().width() <= width) return;
    }
    while (widget->sizeHint().width() > width && font.pointSizeF() > 6) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        widget->setFont(font);
    }
}

QLabel* Label(QWidget* parent, const QString& text, int x, int y, int width) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    FitInto(label, width);
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
    setItemDelegate(new TTagRenameDelegate(editor, this));
    FVeto = new TVetoSelectionModel(model(), this);
    setSelectionModel(FVeto);
}

void TTagListView::keyPressEvent(QKeyEvent* event) {
    bool consumed = false;
    Guard([&] { consumed = FEditor->ListView1KeyDown(event); });
    if (consumed) return;
    const QModelIndex before = currentIndex();
    QTreeWidget::keyPressEvent(event);
    SelectUnmovedCurrent(this, before, event->key());
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

TfrmLkEdit::TfrmLkEdit(QWidget* parent, bool embedded) : QDialog(parent), FEmbedded(embedded) {
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

    Memo1 = new TRawTextEdit(this, Splitter2);
    Memo1->setObjectName("Memo1");
    Memo1->setAccessibleName(QStringLiteral("Texto do link"));
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::ClickFocus); // skipped by the Tab key
    Memo1->setTabChangesFocus(true);
    // Link strings have few spaces: breaking anywhere spares the search for
    // word boundaries in a long line.
    Memo1->setWordWrapMode(QTextOption::WrapAnywhere);
    {
        QPalette p = Memo1->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        Memo1->setPalette(p);
    }

    Splitter1 = NewSplitter(Qt::Vertical, Splitter2, "Splitter1");
    Splitter2->setSizes({65, 442});
    Splitter2->setStretchFactor(1, 1);

    // Panel1 shows the record and takes no input: its fields are read-only,
    // drawn as such, and their text can be selected and copied; "..." opens
    // the keyword picker. Narrower than its design, it scrolls sideways, so
    // that every field and the button stay reachable.
    auto* fieldsScroll = new QScrollArea(Splitter1);
    fieldsScroll->setObjectName("Panel1Scroll");
    fieldsScroll->setFrameShape(QFrame::NoFrame);
    fieldsScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fieldsScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* panel1Host = new QWidget;
    panel1Host->setFixedSize(kFieldsWidth, 118);
    Panel1 = new QWidget(panel1Host);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 0, kFieldsWidth, 118);
    fieldsScroll->setWidget(panel1Host);
    fieldsScroll->setMinimumHeight(118 + fieldsScroll->horizontalScrollBar()->sizeHint().height());
    {
        // Disabled controls (the type, the check boxes) keep readable text.
        QPalette p = palette();
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto r = static_cast<QPalette::ColorRole>(role);
            if (r != QPalette::Base && r != QPalette::Button)
                p.setColor(QPalette::Disabled, r, p.color(QPalette::Active, r));
        }
        Panel1->setPalette(p);
    }
    // A label ends 3 pixels before its field.
    auto label = [&](const char* text, int x, int y, QWidget* buddy) {
        QLabel* l = Label(Panel1, ToQString(text), x, y, buddy->x() - 3 - x);
        l->setBuddy(buddy);
        return l;
    };
    Edit4 = Field(Panel1, "Edit4", 53, 7, 74);
    label("ID", 8, 11, Edit4);
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setGeometry(53, 36, 231, 21);
    for (const char* caption : kLinkTypeCaptions) ComboBox1->addItem(ToQString(caption));
    ComboBox1->setEnabled(false);
    label("Tipo", 8, 39, ComboBox1);
    Edit1 = Field(Panel1, "Edit1", 53, 60, 231);
    label("Etiqueta", 8, 64, Edit1);
    Edit2 = Field(Panel1, "Edit2", 343, 36, 231);
    label("Alvo", 298, 40, Edit2);
    Edit3 = Field(Panel1, "Edit3", 343, 60, 212);
    label("Chaves", 298, 64, Edit3);
    CheckBox1 = new QCheckBox(QStringLiteral("Oculto"), Panel1);
    CheckBox1->setObjectName("CheckBox1");
    FitInto(CheckBox1, 123 - 53 - 2);
    CheckBox1->setGeometry(53, 91, std::max(52, CheckBox1->sizeHint().width()), 17);
    CheckBox1->setEnabled(false);
    CheckBox2 = new QCheckBox(QStringLiteral("Default Edit"), Panel1);
    CheckBox2->setObjectName("CheckBox2");
    FitInto(CheckBox2, 208 - 123 - 2);
    CheckBox2->setGeometry(123, 91, std::max(76, CheckBox2->sizeHint().width()), 17);
    CheckBox2->setEnabled(false);
    Edit5 = Field(Panel1, "Edit5", 248, 89, 35);
    label("Ordem:", 208, 93, Edit5);
    for (QLineEdit* field : {Edit4, Edit1, Edit2, Edit3, Edit5}) {
        field->setReadOnly(true);
        QPalette p = field->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Window)); // read-only, and looks it
        field->setPalette(p);
    }
    {
        QPalette p = Edit4->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        Edit4->setPalette(p);
    }
    Button4 = new QPushButton(QStringLiteral("..."), Panel1);
    Button4->setObjectName("Button4");
    Button4->setGeometry(557, 61, 17, 20);
    Button4->setToolTip(QStringLiteral("Palavras - Chave"));
    // What a screen reader says for each control: its label.
    Edit4->setAccessibleName(QStringLiteral("ID"));
    ComboBox1->setAccessibleName(QStringLiteral("Tipo"));
    Edit1->setAccessibleName(QStringLiteral("Etiqueta"));
    Edit2->setAccessibleName(QStringLiteral("Alvo"));
    Edit3->setAccessibleName(QStringLiteral("Chaves"));
    Button4->setAccessibleName(QStringLiteral("Palavras - Chave"));
    Edit5->setAccessibleName(QStringLiteral("Ordem"));
    CheckBox1->setAccessibleName(QStringLiteral("Oculto"));
    CheckBox2->setAccessibleName(QStringLiteral("Default Edit"));

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
    ListView1->setAccessibleName(QStringLiteral("Tags"));
    Splitter3->addWidget(ListView1);

    // The grid, and under it whether the parameters make a tag text that parses.
    auto* gridPane = new QWidget(Splitter3);
    auto* gridLayout = new QVBoxLayout(gridPane);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setSpacing(1);
    StringGrid2 = new TPalGrid(gridPane);
    StringGrid2->setObjectName("StringGrid2");
    StringGrid2->setAccessibleName(QString::fromUtf8("Par\u00E2metros"));
    StringGrid2->installEventFilter(this); // its last column follows its width
    gridLayout->addWidget(StringGrid2, 1);
    ParseStatus = new QLabel(gridPane);
    ParseStatus->setObjectName("ParseStatus");
    ParseStatus->setAccessibleName(QStringLiteral("Estado dos par\u00E2metros"));
    ParseStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ParseStatus->setContentsMargins(3, 0, 3, 1);
    // What it says never widens the window.
    ParseStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
    // Narrower than its design, the editor shrinks the tag list first: the
    // grid keeps room for its first columns and 150 pixels of the last.
    gridPane->setMinimumWidth(23 + 85 + kLastColumnShown + 4);
    ListView1->setMinimumWidth(90);
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

    actRawText = new QAction(QStringLiteral("Editar o texto do link"), this);
    actRawText->setObjectName("actRawText");
    actRawText->setShortcut(QKeySequence(Qt::Key_F4));
    actRawText->setShortcutContext(Qt::WindowShortcut); // from the tree too
    addAction(actRawText);

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
            Guarded(this, &TfrmLkEdit::ListView1Change));
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
    connect(Button3, &QPushButton::clicked, this, Guarded(this, &TfrmLkEdit::NestedEditing));
    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TfrmLkEdit::NestedEditing));
    connect(Button1, &QPushButton::clicked, this, Guarded(this, &TfrmLkEdit::Button1Click));
    connect(Button2, &QPushButton::clicked, this, [this] { done(2); });
    connect(Button4, &QPushButton::clicked, this, Guarded(this, &TfrmLkEdit::Button4Click));
    connect(actRawText, &QAction::triggered, this, [this] {
        Guard([&] {
            if (!FRawEditing) {
                if (!SetRawEditing(true)) throw Exception(RawTooLongMessage());
                Memo1->setFocus();
                return;
            }
            if (RawTextChanged()) ApplyRawText();
            if (!FVerbatim) {
                SetRawEditing(false);
                ListView1->setFocus();
            }
        });
    });
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        if (FRawEditing) Guard([&] { ShowParseStatus(); });
    });
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

void TfrmLkEdit::RemoveRow(QTreeWidgetItem* row) {
    // A single-selection view selects a neighbour of the row it loses; with
    // no current row it picks none.
    {
        ++FProgramSelect;
        TScopeExit lowered([this] { --FProgramSelect; });
        ListView1->VetoModel()->clear();
    }
    if (FNewRow.isValid() && FNewRow.row() == ListView1->indexOfTopLevelItem(row)) {
        NewTagFlag = false;
        FNewRow = QPersistentModelIndex();
    }
    delete row;
    ResetGrid();
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

QTreeWidgetItem* TfrmLkEdit::GridRow() const {
    return FGridRow.isValid() ? ListView1->topLevelItem(FGridRow.row()) : nullptr;
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

void TfrmLkEdit::SelectRowByProgram(QTreeWidgetItem* row) {
    ++FProgramSelect;
    TScopeExit lowered([this] { --FProgramSelect; });
    SelectRow(row);
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
    FGridRow = QPersistentModelIndex();
    FNewRow = QPersistentModelIndex();
    NewTagFlag = false;
    SetRawEditing(false);
    ShowRawText(text, false);
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    Edit5->clear();
    Edit4->clear();
    Edit3->clear();
    ListView1->clear();
    ListView1->setEnabled(true);
    StringGrid2->setEnabled(true);
    FRawText.assign(text);
    FRawTooLong = 0;
    FVerbatim = true;
    FIdDrawn = false;
    ClearEdited();
    FShownLink.clear();
    FDecoding = true;
    TScopeExit decoded([this] { FDecoding = false; });
    try {
        // Whatever the steps set reaches the controls, also when a step raises.
        TScopeExit shown([&] { ShowRecord(r); });
        elo::DecodeLink(r, text, OnGetNewId, this, [&](TLinkDefinition& tags) {
            ShowRecord(tags);
            // The rows are made first and put into the list at once.
            QList<QTreeWidgetItem*> rows;
            rows.reserve(static_cast<qsizetype>(tags.Tags.size()));
            for (const TLinkTag& tag : tags.Tags) {
                auto* row = new QTreeWidgetItem;
                row->setFlags(row->flags() | Qt::ItemIsEditable);
                const QString caption = ToQString(tag.Name);
                const int image = ImageOfCaption(caption);
                row->setText(0, caption);
                row->setData(0, kImageRole, image);
                row->setIcon(0, TagImage(image));
                GiveSubItems(row);
                row->setText(1, ToQString(tag.Label));
                SetRowText(row, tag.Written); // written back as it came unless edited
                rows.push_back(row);
            }
            ListView1->addTopLevelItems(rows);
            ResetGrid();
            if (ListView1->topLevelItemCount() > 0) {
                FirstTagFlag = true;
                TScopeExit lowered([&] { FirstTagFlag = false; });
                SelectRow(ListView1->topLevelItem(0));
            }
            FIdDrawn = tags.Id.empty();
        });
    } catch (const Exception& e) {
        FDecoding = false;
        ShowUndecoded(e.Message);
        throw;
    }
    FDecoding = false;
    FVerbatim = r.Verbatim;
    if (FVerbatim) {
        ShowUndecoded("O link cont\xE9m \"RULES\": \xE9 guardado como est\xE1");
        return;
    }
    FExtraItems = r.ExtraItems;
    FLaterCommands = r.LaterCommands;
    FShownLink = elo::EncodeLink(RecordOfControls(nullptr));
    ShowParseStatus();
}

void TfrmLkEdit::ShowUndecoded(const std::string& why) {
    // Only this link is shown: no fields, tags or parameters of another stay.
    FVerbatim = true;
    FVerbatimWhy = why;
    FIdDrawn = false;
    FExtraItems.clear();
    FLaterCommands.clear();
    Edit2->clear();
    ComboBox1->setCurrentIndex(0);
    Edit4->clear();
    Edit3->clear();
    Edit5->clear();
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    FGridRow = QPersistentModelIndex();
    ListView1->clear();
    ResetGrid();
    ListView1->setEnabled(false);
    StringGrid2->setEnabled(false);
    // It can be repaired in place.
    SetRawEditing(true);
    ShowParseStatus();
}

TLinkDefinition TfrmLkEdit::RecordOfControls(const std::string* gridText) const {
    TLinkDefinition r;
    r.Target = FromQString(Edit2->text());
    const QTreeWidgetItem* gridRow = GridRow();
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        // A row without sub-items cannot be encoded.
        const std::string text = gridText && row == gridRow ? *gridText : RowText(row);
        r.Tags.push_back({FromQString(row->text(0)), FromQString(row->text(1)), text, text});
    }
    r.Id = FromQString(Edit4->text());
    r.TypeIndex = std::max(0, ComboBox1->currentIndex());
    r.Keywords = FromQString(Edit3->text());
    r.Hidden = CheckBox1->isChecked();
    r.Caption = FromQString(Edit1->text());
    r.Order = FromQString(Edit5->text());
    r.DefaultEdit = CheckBox2->isChecked();
    r.ExtraItems = FExtraItems;
    r.LaterCommands = FLaterCommands;
    return r;
}

std::string TfrmLkEdit::EncodeLink() {
    Commit();
    return elo::EncodeLink(RecordOfControls(nullptr));
}

std::string TfrmLkEdit::UntouchedLink() const {
    if (!FIdDrawn) return FRawText;
    // The identifier showing drew must reach the link: the link as it was
    // shown, or, when that would not read back, the text as it came with the
    // identifier put in.
    if (LinkReadBackProblem(FShownLink).empty()) return FShownLink;
    const std::string withId = WithIdentifier(FRawText, FromQString(Edit4->text()));
    return !withId.empty() && LinkReadBackProblem(withId).empty() ? withId : FShownLink;
}

std::string TfrmLkEdit::LinkToStore() {
    if (RawTextChanged()) ApplyRawText();
    if (FVerbatim) return FRawText;
    const std::string link = EncodeLink();
    if (link == FShownLink) return UntouchedLink();
    if (const std::string why = TagsReadBackProblem(nullptr); !why.empty()) {
        ShowParseStatus();
        throw Exception("O link n\xE3o pode ser lido de volta: " + why);
    }
    if (const std::string why = LinkReadBackProblem(link); !why.empty()) {
        ShowParseStatus();
        throw Exception("O link n\xE3o pode ser lido de volta: " + why);
    }
    return link;
}

std::string TfrmLkEdit::LinkProblem() const {
    if (FRawEditing) return LinkReadBackProblem(FromQString(Memo1->toPlainText()));
    if (FVerbatim) return {};
    try {
        const std::string text = GridTagText();
        TcmdListParser().Parse(text);
        const std::string link = elo::EncodeLink(RecordOfControls(GridRow() ? &text : nullptr));
        if (link == FShownLink) return {};
        if (std::string why = TagsReadBackProblem(GridRow() ? &text : nullptr); !why.empty()) return why;
        return LinkReadBackProblem(link);
    } catch (const Exception& e) {
        return e.Message;
    }
}

std::string TfrmLkEdit::TagsReadBackProblem(const std::string* gridText) const {
    const QTreeWidgetItem* gridRow = GridRow();
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (!HasSubItems(row) && !(gridText && row == gridRow)) continue;
        const std::string text = gridText && row == gridRow ? *gridText : RowText(row);
        if (std::string why = TagTextReadBackProblem(text); !why.empty()) return why;
    }
    return {};
}

std::string TfrmLkEdit::LinkCaption() const {
    return FromQString(Edit1->text());
}

void TfrmLkEdit::SetLinkCaption(std::string_view caption) {
    Edit1->setText(ToQString(caption));
    // The caption is part of the link as it is shown.
    if (!FVerbatim && !FEdited) {
        try {
            FShownLink = elo::EncodeLink(RecordOfControls(nullptr));
        } catch (const Exception&) {
        }
    }
}

void TfrmLkEdit::RenameLink(std::string_view caption) {
    Edit1->setText(ToQString(caption));
    MarkEdited();
}

void TfrmLkEdit::SaveLayout(QSettings& settings) const {
    settings.setValue("editor/fields", Splitter1->saveState());
    settings.setValue("editor/text", Splitter2->saveState());
    settings.setValue("editor/tags", Splitter3->saveState());
}

void TfrmLkEdit::RestoreLayout(const QSettings& settings) {
    Splitter1->restoreState(settings.value("editor/fields").toByteArray());
    Splitter2->restoreState(settings.value("editor/text").toByteArray());
    Splitter3->restoreState(settings.value("editor/tags").toByteArray());
}

void TfrmLkEdit::reject() {
    if (!FEmbedded) done(2);
}

bool TfrmLkEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StringGrid2 && event->type() == QEvent::Resize) Guard([&] { FitLastColumn(); });
    return QDialog::eventFilter(watched, event);
}

void TfrmLkEdit::FitLastColumn() {
    const int free = StringGrid2->ClientArea().width() - StringGrid2->ColWidths(0) - StringGrid2->ColWidths(1);
    StringGrid2->SetColWidths(2, std::max(kLastColumnShown, free));
}

void TfrmLkEdit::MarkEdited() {
    const bool was = FEdited;
    FEdited = true;
    if (!was && OnEditedChanged) OnEditedChanged();
}

void TfrmLkEdit::ClearEdited() {
    const bool was = FEdited;
    FEdited = false;
    if (was && OnEditedChanged) OnEditedChanged();
}

int TfrmLkEdit::ShowModal() {
    Panel2->show();
    return exec();
}

// ---- the raw text box ---------------------------------------------------------------------

void TfrmLkEdit::ShowRawText(std::string_view text, bool whole) {
    // Laying out a line of a megabyte takes a text box the better part of a
    // minute: a long text is shown in part, and said so.
    const QSignalBlocker quiet(Memo1);
    if (whole || text.size() <= kRawShownBytes)
        Memo1->setPlainText(ToQString(text));
    else
        Memo1->setPlainText(ToQString(text.substr(0, kRawShownBytes)) +
                            QString::fromUtf8(" \u2026 (%1 bytes)").arg(text.size()));
}

bool TfrmLkEdit::SetRawEditing(bool on) {
    if (on && !FRawEditing) {
        // The box shows the link as it would be stored, the grid committed.
        std::string link = FRawText;
        if (!FVerbatim) {
            link = EncodeLink();
            if (link == FShownLink) link = UntouchedLink();
        }
        if (link.size() > kRawEditableBytes) {
            FRawTooLong = link.size();
            ShowParseStatus();
            return false;
        }
        ShowRawText(link, true);
        FRawEditStart = link;
    } else if (!on && FRawEditing) {
        ShowRawText(FRawText, false);
    }
    FRawEditing = on;
    ListView1->setEnabled(!on && !FVerbatim);
    StringGrid2->setEnabled(!on && !FVerbatim);
    Memo1->setReadOnly(!on);
    Memo1->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
    QPalette p = Memo1->palette();
    p.setColor(QPalette::Base, palette().color(on ? QPalette::Base : QPalette::Button));
    Memo1->setPalette(p);
    ShowParseStatus();
    return true;
}

bool TfrmLkEdit::RawTextChanged() const {
    return FRawEditing && FromQString(Memo1->toPlainText()) != FRawEditStart;
}

void TfrmLkEdit::ApplyRawText() {
    const std::string text = FromQString(Memo1->toPlainText());
    if (const std::string why = LinkReadBackProblem(text); !why.empty()) {
        ShowParseStatus();
        throw Exception("O link n\xE3o pode ser lido de volta: " + why);
    }
    const std::string caption = LinkCaption();
    DecodeLink(text); // the raw text box shows it as it came; the fields follow it
    if (FEmbedded) SetLinkCaption(caption);
    MarkEdited();
}

bool TfrmLkEdit::Memo1KeyDown(QKeyEvent* event) {
    if (!FRawEditing) return false;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && ctrl) {
        ApplyRawText();
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        // Back to the link as the window holds it (a link that does not
        // decode: back to its text as it came, still open for repair).
        if (FVerbatim) {
            ShowRawText(FRawEditStart, true);
            ShowParseStatus();
            return true;
        }
        SetRawEditing(false);
        ListView1->setFocus();
        return true;
    }
    return false;
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
    // Only the row the grid shows receives it, and only what changed there:
    // a tag nobody edited keeps its text as it came.
    QTreeWidgetItem* row = GridRow();
    if (!row || row != SelectedRow()) return;
    const std::string text = GridTagText();
    if (HasSubItems(row) && text == FGridFilled) return;
    GiveSubItems(row);
    // The grid shows a tag's first command; any later ones stay with it.
    std::string later;
    try {
        later = LaterCommandsOfTagText(RowText(row));
    } catch (const Exception&) {
    }
    SetRowText(row, text + later);
    FGridFilled = text;
}

void TfrmLkEdit::SetStatus(const QString& text, bool ok) {
    // Green or red, dark on a light window and light on a dark one.
    const bool darkWindow = palette().color(QPalette::Window).lightness() < 128;
    const char* colour = ok ? (darkWindow ? "#80d880" : "#006000") : (darkWindow ? "#ff9090" : "#b00000");
    ParseStatus->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
    // A tag text of any length is quoted in part: the line stays one line.
    constexpr qsizetype kShown = 300;
    ParseStatus->setText(text.size() > kShown ? text.left(kShown) + QString::fromUtf8("\u2026") : text);
    ParseStatus->setToolTip(text.size() > kShown ? text.left(4000) : QString());
}

std::string TfrmLkEdit::RawTooLongMessage() const {
    return "O texto do link \xE9 longo demais para ser editado aqui (" + std::to_string(FRawTooLong) + " bytes)";
}

void TfrmLkEdit::ShowParseStatus() {
    if (FDecoding) return; // said once the link is shown
    if (FRawEditing && !(FVerbatim && !RawTextChanged())) {
        const std::string why = LinkProblem();
        if (why.empty())
            SetStatus(QString::fromUtf8("Link v\u00E1lido (Ctrl+Enter aplica)"), true);
        else
            SetStatus(ToQString(why), false);
        return;
    }
    if (FVerbatim) {
        SetStatus(ToQString(FRawTooLong ? FVerbatimWhy + "; " + RawTooLongMessage() : FVerbatimWhy), false);
        return;
    }
    // The tag text alone first: its parser's message says where it fails.
    if (GridRow()) {
        std::string text;
        try {
            text = GridTagText();
        } catch (const Exception& e) {
            SetStatus(ToQString(e.Message), false);
            return;
        }
        // As it was filled from a tag that parsed, in a link as it was shown:
        // nothing to parse again (a long link is shown at once).
        if (text == FGridFilled && HasSubItems(GridRow()) && !FEdited) {
            SetStatus(QStringLiteral("Par\u00E2metros v\u00E1lidos"), true);
            return;
        }
        TcmdListParser parser;
        try {
            parser.Parse(text);
        } catch (const ESyntaxError& e) {
            SetStatus(ToQString(e.Message) +
                          QStringLiteral(" (coluna %1 de: %2)").arg(parser.ErrorPosition()).arg(ToQString(text)),
                      false);
            return;
        }
    }
    // Then the link as it would be stored.
    if (const std::string why = LinkProblem(); !why.empty()) {
        SetStatus(ToQString("O link n\xE3o pode ser lido de volta: " + why), false);
        return;
    }
    if (GridRow())
        SetStatus(QStringLiteral("Par\u00E2metros v\u00E1lidos"), true);
    else
        ParseStatus->clear();
}

void TfrmLkEdit::FillGrid(QTreeWidgetItem* row) {
    if (row && row != SelectedRow()) row = nullptr;
    FGridRow = QPersistentModelIndex();
    for (int r = 0; r < StringGrid2->RowCount(); ++r)
        for (int c = 0; c < 3; ++c) StringGrid2->SetCells(c, r, QString());
    StringGrid2->SetCells(0, 0, QStringLiteral("Var"));
    StringGrid2->SetCells(1, 0, QString::fromUtf8("\u00CDtem"));
    StringGrid2->SetCells(2, 0, QString::fromUtf8("Conte\u00FAdo"));
    StringGrid2->SetFixedRows(1);
    // Whatever the filling comes to, the status says whether it parses.
    TScopeExit status([this] {
        FGridFilled = GridTagText();
        // The cell the grid stands on holds another text now: Escape in it
        // restores this one.
        StringGrid2->TakeEntryText();
        FitLastColumn();
        ShowParseStatus();
    });
    if (!row) {
        StringGrid2->SetRowCount(2);
        return;
    }
    const QPersistentModelIndex bound(ListView1->model()->index(ListView1->indexOfTopLevelItem(row), 0));
    if (!HasSubItems(row)) {
        // A new row: the grid is empty, and what is typed into it is the row's.
        StringGrid2->SetRowCount(2);
        FGridRow = bound;
        return;
    }
    NewTagFlag = false;
    // Parameters as they were written: the bracket form keeps its brackets.
    const std::vector<TTagParameter> params = WrittenParametersFromTagText(RowText(row));
    FGridRow = bound;
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
    if (key == Qt::Key_Escape) {
        // The grid put back the text the cell had when it was entered; the
        // tag's name follows its first parameter's again.
        if (QTreeWidgetItem* row = GridRow(); row && StringGrid2->RowCount() > 1)
            if (row->text(0) != StringGrid2->Cells(1, 1)) SetRowCaption(row, StringGrid2->Cells(1, 1));
        ShowParseStatus();
        return;
    }
    if (key != Qt::Key_Delete) return;
    MarkEdited();
    TPalGrid& g = *StringGrid2;
    if (g.RowCount() <= 2) {
        g.SetRowCount(2);
        for (int c = 0; c < 3; ++c) g.SetCells(c, 1, QString());
        ShowParseStatus();
        return;
    }
    for (int r = g.Row(); r < g.RowCount() - 1; ++r)
        for (int c = 0; c < 3; ++c) g.SetCells(c, r, g.Cells(c, r + 1));
    g.SetRowCount(g.RowCount() - 1);
    if (QTreeWidgetItem* row = GridRow()) SetRowCaption(row, g.Cells(1, 1));
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
        if (QTreeWidgetItem* tag = GridRow()) SetRowCaption(tag, value);
    ShowParseStatus();
}

// ---- the tag list ------------------------------------------------------------------------------

bool TfrmLkEdit::ListView1Changing(QTreeWidgetItem*, QTreeWidgetItem*) {
    Commit();
    // Unless the window itself selects (decoding's first tag, a new tag, a
    // removal), the selection moves only while the pointer rests over a row:
    // a click below the rows, or a stray key, keeps it.
    return FirstTagFlag || FProgramSelect > 0 || PointerOverRow();
}

void TfrmLkEdit::ListView1Change() {
    FillGrid(SelectedRow());
}

void TfrmLkEdit::ListView1Edited(QTreeWidgetItem* row, const QString& text) {
    // A rename that changes nothing (a click on the selected row opens the
    // rename box) moves nothing; a tag without a name would not read back.
    if (text == row->text(0) || text.trimmed().isEmpty()) return;
    MarkEdited();
    if (row != SelectedRow() || row != GridRow()) {
        SetRowCaption(row, text);
        return;
    }
    if (SameTextAscii(FromQString(text), "link") && (!HasSubItems(row) || RowText(row).empty())) {
        // A new "link" tag: its link is made in the nested editor.
        GiveSubItems(row);
        FillGrid(row);
        SetRowCaption(row, text);
        Timer1->start();
        return;
    }
    StringGrid2->SetCol(0);
    StringGrid2->SetRow(1);
    StringGrid2->SetCells(1, 1, text);
    StringGrid2->setFocus();
    SetRowCaption(row, text);
    ShowParseStatus();
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
        // The row the person just made is selected wherever the pointer
        // rests, and what is typed next is its.
        SelectRowByProgram(row);
        FillGrid(SelectedRow());
        FNewRow = QPersistentModelIndex(ListView1->model()->index(ListView1->indexOfTopLevelItem(row), 0));
        if (SelectedRow() == row) ListView1->editItem(row, 0);
        NewTagFlag = true;
        return true;
    }
    case Qt::Key_Escape:
        if (!NewTagFlag) return false; // the dialog's Escape
        // Takes back the row Down appended, and nothing else.
        if (QTreeWidgetItem* fresh = FNewRow.isValid() ? ListView1->topLevelItem(FNewRow.row()) : nullptr)
            RemoveRow(fresh);
        NewTagFlag = false;
        FNewRow = QPersistentModelIndex();
        return true;
    case Qt::Key_Delete:
        if (selected) {
            MarkEdited();
            RemoveRow(selected);
        }
        return true;
    case Qt::Key_C:
        if (!ctrl) return false;
        if (selected) {
            Commit(); // the tag's text with what the grid holds
            // A tag with nothing in it leaves the clipboard as it was.
            if (const std::string text = RowText(selected); TagTextReadBackProblem(text).empty() && TagCount(text) > 0)
                QGuiApplication::clipboard()->setText(ToQString(text));
        }
        return true;
    case Qt::Key_V: {
        if (!ctrl) return false;
        const QString text = QGuiApplication::clipboard()->text();
        if (!text.isEmpty() && selected) {
            // A text that is no tag text is refused before it reaches the tag.
            const std::string tagText = FromQString(text);
            if (tagText.find_first_of("\r\n") != std::string::npos)
                throw Exception("O texto colado cont\xE9m quebras de linha");
            (void)TagsFromText(tagText); // the parser's own error first
            if (const std::string why = TagTextReadBackProblem(tagText); !why.empty())
                throw Exception("O texto colado n\xE3o seria lido de volta: " + why);
            if (TagCount(tagText) != 1)
                throw Exception("O texto colado deve ter exatamente uma tag (tem " + std::to_string(TagCount(tagText)) +
                                ")");
            MarkEdited();
            GiveSubItems(selected);
            SetRowText(selected, tagText);
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
    Commit();
    GiveSubItems(row);
    auto nested = std::make_unique<TfrmLkEdit>(nullptr, false);
    nested->setWindowTitle(QStringLiteral("Editar Link"));
    nested->setWindowIcon(windowIcon());
    nested->OnGetNewId = OnGetNewId;
    // A text that does not decode opens for repair, its reason said.
    try {
        nested->DecodeLink(RowText(row));
    } catch (const Exception&) {
    }
    CentreOnScreen(nested.get());
    if (nested->ShowModal() == 1) {
        const std::string link = nested->LinkToStore();
        if (link != RowText(row)) MarkEdited();
        SetRowText(row, link);
        FillGrid(row);
    } else if (RowText(row).empty()) {
        RemoveRow(row);
        ListView1->setFocus();
    }
}

void TfrmLkEdit::Button1Click() {
    // OK keeps the dialog open when the link cannot be stored.
    LinkToStore();
    done(1);
}

void TfrmLkEdit::Button4Click() {
    std::string keywords = FromQString(Edit3->text());
    if (PickKeywords(this, keywords)) {
        MarkEdited();
        Edit3->setText(ToQString(keywords));
        ShowParseStatus();
    }
}

} // namespace elo
