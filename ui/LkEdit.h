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

#include <string>
#include <string_view>

#include "grid/PalGrid.h"
#include "links/LinkDef.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
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
    // What leaving the link stores: the text as it came when its decoding did
    // not complete and nothing was edited since (a text holding "RULES", one
    // that failed to decode), else EncodeLink.
    std::string LinkToStore();
    // The record's Caption (Edit1).
    std::string LinkCaption() const;
    void SetLinkCaption(std::string_view caption);
    // Shows Panel2, then the window modally: 1 for OK, 2 for Cancel.
    int ShowModal();
    // Escape and the window's close button cancel: result 2.
    void reject() override { done(2); }

    // The new-identifier provider, installed by the owner.
    TGetNewIdEvent OnGetNewId;

    // The window's algorithms.
    void Commit();
    // The tag text the grid's rows make (what Commit stores).
    std::string GridTagText() const;
    // Under the grid: whether that text parses, or the parser's message and
    // the column where it failed.
    void ShowParseStatus();
    void FillGrid(QTreeWidgetItem* row); // Filling the grid (null: no row)
    void NestedEditing();
    // Something the person changed since the last decoding.
    bool Edited() const { return FEdited; }
    // The edits reached the document.
    void ClearEdited() { FEdited = false; }

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

    // Event handlers.
    bool ListView1Changing(QTreeWidgetItem* from, QTreeWidgetItem* to);
    void ListView1Change();
    void ListView1Edited(QTreeWidgetItem* row, const QString& text);
    bool ListView1KeyDown(QKeyEvent* event);
    void StringGrid2KeyDown(int& key, Qt::KeyboardModifiers shift);
    void StringGrid2SelectCell(int col, int row, bool& canSelect);
    void StringGrid2SetEditText(int col, int row, const QString& value);
    void Button1Click(); // OK of the nested role
    void Button4Click(); // "...": the keyword picker

    // The controls, by the names the program has always given them.
    QPlainTextEdit* Memo1;
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

private:
    void CreateControls(bool embedded);
    void CreateConnections();
    QTreeWidgetItem* AddRow(const QString& caption);
    void ShowRecord(const TLinkDefinition& r);
    void ResetGrid() { FillGrid(nullptr); }
    bool PointerOverRow() const;
    void MarkEdited() { FEdited = true; }

    bool FVerbatim = false; // the last decoding did not complete
    bool FEdited = false;
    std::string FRawText;
};

} // namespace elo
