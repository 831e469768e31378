// TfrmLkEdit: the window that shows and edits one link. Embedded, it fills the
// right side of the main window; nested, it is the modal dialog "Editar Link"
// in which a "link" tag is edited as a link of its own.
//
// The controls are the link definition record: no other copy exists. The tag
// list shows one row per tag (caption Name, first sub-item Label, second
// sub-item Text, which no column shows); the grid shows the parameter rows of
// the selected tag.
#pragma once

#include <QDialog>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <functional>
#include <string>
#include <string_view>

#include "grid/PalGrid.h"
#include "links/LinkDef.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QSplitter;
class QTimer;

namespace elo {

class TfrmLkEdit;
class TVetoSelectionModel;

// ListView1: the tag list in report view. Its key presses, renames and
// double clicks go to the editor first.
class TTagListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TTagListView(TfrmLkEdit* editor);
    TVetoSelectionModel* VetoModel() const { return FVeto; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    TfrmLkEdit* FEditor;
    TVetoSelectionModel* FVeto;
};

class TfrmLkEdit : public QDialog {
    Q_OBJECT
public:
    // embedded: a frameless child that fills its parent; otherwise a dialog.
    explicit TfrmLkEdit(QWidget* parent = nullptr, bool embedded = false);
    ~TfrmLkEdit() override;

    // Decoding into the window, with OnGetNewId as the provider. Raises what
    // decoding raises; the controls keep what was set before the failing step.
    void DecodeLink(std::string_view text);
    // Commit, then the encoding of the controls. Raises "List index out of
    // bounds (1)" while a tag row has never received its sub-items.
    std::string EncodeLink();
    // What leaving the link stores. A link the person did not change comes
    // back as it came (with the identifier showing it drew, if any); a changed
    // one is encoded, and refused (raises) when its text would not read back.
    // A raw text the person repaired is decoded again first (raises when it
    // still fails) and stored as typed.
    std::string LinkToStore();
    // The record's Caption (Edit1). Setting it is part of showing a link; a
    // rename of the link's node is the person's change.
    std::string LinkCaption() const;
    void SetLinkCaption(std::string_view caption);
    void RenameLink(std::string_view caption);
    // Shows Panel2, then the window modally: 1 for OK, 2 for Cancel.
    int ShowModal();
    // Escape and the window's close button cancel the dialog: result 2. The
    // embedded editor is never hidden that way.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Told when the person changes the link and when that is taken up.
    std::function<void()> OnEditedChanged;

    // The raw text box (Memo1) takes input: for a link that failed to decode
    // always, for any other while the person asks (F4). Applying decodes the
    // box's text into the window again; raises when it does not decode.
    bool RawEditing() const { return FRawEditing; }
    // False (and said under the grid) when the text is too long to edit here.
    bool SetRawEditing(bool on);
    // Raw texts longer than this are shown in part; longer than the second,
    // they cannot be edited in the box (laying out such a line takes seconds).
    static constexpr size_t kRawShownBytes = 4 * 1024;
    // The field panel's design width, and what the grid shows at least of its
    // last column ("Conteúdo"), however narrow the editor.
    static constexpr int kFieldsWidth = 580;
    static constexpr int kLastColumnShown = 150;
    static constexpr size_t kRawEditableBytes = 64 * 1024;
    void ApplyRawText();

    // The new-identifier provider, installed by the owner.
    TGetNewIdEvent OnGetNewId;

    // The window's algorithms.
    void Commit();
    // The tag text the grid's rows make (what Commit stores).
    std::string GridTagText() const;
    // Under the grid: whether the tag text parses and the link as it would be
    // stored reads back, or what is wrong (the parser's message and column);
    // for a raw text being repaired, whether it decodes.
    void ShowParseStatus();
    // Why the link as the window holds it now would not be stored (empty: it
    // would be); nothing is committed.
    std::string LinkProblem() const;
    void FillGrid(QTreeWidgetItem* row); // Filling the grid (null: no row)
    void NestedEditing();
    // Something the person changed since the last decoding.
    bool Edited() const { return FEdited; }
    // The edits reached the document.
    void ClearEdited();

    // Rows of the tag list.
    static bool HasSubItems(const QTreeWidgetItem* row);
    // The row's Text; "List index out of bounds (1)" without sub-items.
    static std::string RowText(const QTreeWidgetItem* row);
    static void SetRowText(QTreeWidgetItem* row, std::string_view text);
    static void GiveSubItems(QTreeWidgetItem* row);
    // A new caption for a row; its image follows it (and a changed image
    // commits the grid first).
    void SetRowCaption(QTreeWidgetItem* row, const QString& caption);
    QTreeWidgetItem* SelectedRow() const;
    // Selects row (null: none) as the person would: the selection rule may refuse.
    bool SelectRow(QTreeWidgetItem* row);
    // The row whose parameters the grid shows (null: none).
    QTreeWidgetItem* GridRow() const;

    // Event handlers.
    bool ListView1Changing(QTreeWidgetItem* from, QTreeWidgetItem* to);
    void ListView1Change();
    void ListView1Edited(QTreeWidgetItem* row, const QString& text);
    bool ListView1KeyDown(QKeyEvent* event);
    bool Memo1KeyDown(QKeyEvent* event);
    void StringGrid2KeyDown(int& key, Qt::KeyboardModifiers shift);
    void StringGrid2SelectCell(int col, int row, bool& canSelect);
    void StringGrid2SetEditText(int col, int row, const QString& value);
    void Button1Click(); // OK of the nested role
    void Button4Click(); // "...": the keyword picker

    // The splitters' positions, as the person left them.
    void SaveLayout(QSettings& settings) const;
    void RestoreLayout(const QSettings& settings);
    // Whether Down appended a "<novo>" row that has no content yet.
    bool NewTag() const { return NewTagFlag; }

private:
    // The controls, by the names the program has always given them; found
    // from outside by those names (setObjectName).
    QPlainTextEdit* Memo1;
    QAction* actRawText; // F4: the raw text box takes input, or applies it
    QSplitter* Splitter2;
    QWidget* Panel1;
    QLineEdit* Edit4;
    QComboBox* ComboBox1;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QPushButton* Button4;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QLineEdit* Edit5;
    QSplitter* Splitter1;
    QWidget* Panel4;
    QWidget* Panel3;
    QPushButton* Button3;
    TTagListView* ListView1;
    QSplitter* Splitter3;
    TPalGrid* StringGrid2;
    QLabel* ParseStatus;
    QWidget* Panel2;
    QPushButton* Button1;
    QPushButton* Button2;
    QTimer* Timer1;

    bool NewTagFlag = false;
    bool FirstTagFlag = false;

    void CreateControls(bool embedded);
    void CreateConnections();
    QTreeWidgetItem* AddRow(const QString& caption);
    // Takes a row out of the list; no row is selected afterwards, whatever
    // the view would pick, and the grid is reset.
    void RemoveRow(QTreeWidgetItem* row);
    // Selects row as the window itself does: the pointer test is lifted.
    void SelectRowByProgram(QTreeWidgetItem* row);
    void ShowRecord(const TLinkDefinition& r);
    void ResetGrid() { FillGrid(nullptr); }
    bool PointerOverRow() const;
    void MarkEdited();
    // The grid's last column reaches its right edge, and is never narrower
    // than kLastColumnShown: it is never scrolled out of sight by a click.
    void FitLastColumn();
    // The record the controls hold; with gridText, the text the grid would
    // commit stands for the grid's row.
    TLinkDefinition RecordOfControls(const std::string* gridText) const;
    // A link decoded only in part: only it is shown, its tags cannot be
    // edited, and why is said under the grid.
    void ShowUndecoded(const std::string& why);
    // What is stored for a link the person did not change.
    std::string UntouchedLink() const;
    // Why a tag's text (with gridText for the grid's row) would not come back
    // whole, or empty.
    std::string TagsReadBackProblem(const std::string* gridText) const;
    void SetStatus(const QString& text, bool ok);
    void ShowRawText(std::string_view text, bool whole);
    std::string RawTooLongMessage() const;
    bool RawTextChanged() const;

    bool FEmbedded = false;
    bool FVerbatim = false; // the last decoding did not complete
    std::string FVerbatimWhy;
    bool FIdDrawn = false; // the last decoding drew an identifier
    bool FEdited = false;
    bool FRawEditing = false;
    size_t FRawTooLong = 0; // the length of a text too long to edit in the box
    bool FDecoding = false;
    std::string FRawText;
    std::string FRawEditStart; // what the raw text box held when it took input
    std::string FShownLink;    // the encoding of the link as it was shown
    std::string FExtraItems, FLaterCommands;
    QPersistentModelIndex FGridRow; // the row the grid shows
    std::string FGridFilled;        // the grid's tag text as it was filled
    QPersistentModelIndex FNewRow;  // the row Down appended
    int FProgramSelect = 0;         // selections the window makes itself
};

} // namespace elo
