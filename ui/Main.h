// TfrmMain: the main window "Editor de links". The document tree on the left,
// the embedded link editor on the right; links files are opened and saved
// here, the tree is edited (new folders and links, renames, deletes, moves by
// drag and drop), and the editor is told which link to show.
#pragma once

#include <QMainWindow>
#include <QTreeView>
#include <QUndoStack>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "links/LinksFile.h"

class QAction;
class QCheckBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;

namespace elo {

class TfrmLkEdit;
class TfrmMain;
class TLinkTreeModel;
class TTreeCommand;
class TVetoSelectionModel;

// TreeView1: the document tree. Its keys, renames, right clicks and drags go
// to the window first.
class TLinkTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TLinkTreeView(TfrmMain* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TfrmMain* FWindow;
    QPoint FPressAt;
    bool FPressed = false;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The document: the tree, the file name and the identifier counter.
    TLinksDocument& Document() { return FDocument; }
    const TLinksDocument& Document() const { return FDocument; }
    // Whether a drag of a node is under way.
    bool Dragging() const { return FDragging; }
    TLinkTreeModel* Model() const { return FModel.get(); }
    TVetoSelectionModel* Selection() const { return FSelection.get(); }
    QUndoStack& UndoStack() { return FUndo; }

    // The node selected in the tree (null: none), and selecting one as a click
    // would (Leaving a link may refuse it). Folders above it are expanded.
    TTreeNode* Selected() const;
    bool SelectNode(TTreeNode* node);

    // The window's operations.
    void NewFile();  // ToolButton3, Ctrl+N
    void OpenFile(); // ToolButton4, Ctrl+O (asks a name)
    bool OpenFileNamed(const std::string& fileName);
    bool SaveFile(bool askName = false); // ToolButton5, Ctrl+S; Ctrl+Shift+S asks a name
    // Whether the document changed since it was opened or saved.
    bool Modified() const;
    // Asks to save unsaved changes; false when the person cancels.
    bool ConfirmDiscard();
    // The last files opened or saved (names as bytes), newest first; opening
    // one that no longer exists takes it off the list, said in a message.
    static constexpr int kRecentFiles = 10;
    std::vector<std::string> RecentFiles() const;
    bool OpenRecent(const std::string& fileName);
    // The title: "Editor de links", the file's name, and "*" while unsaved.
    void UpdateTitle();
    // The tree's pop-up menu ("Novo", "Copiar caminho") at a point of the screen.
    void ShowPopupMenu(const QPoint& at);

    // Event handlers.
    void GetNewId(void* sender, int32_t& id); // the new-identifier provider
    bool TreeView1Changing(TTreeNode* from, TTreeNode* to);
    void TreeView1Change();
    void TreeView1Edited(TTreeNode* node, const std::string& text);
    bool TreeView1KeyDown(QKeyEvent* event);
    void TreeView1StartDrag();
    void TreeView1EndDrag();
    void TreeView1DragDrop(int x, int y);
    void Timer1Timer();
    void Pasta1Click();    // "Pasta"
    void tem1Click();      // "Ítem"
    void PastaRaz1Click(); // "Pasta Raíz"
    void N2Click();        // "Ítem Raíz"
    void DeleteSelected();
    void RenameSelected();

    // Beside what the window always did: finding nodes, paths, the file check.
    void ShowFindBar();
    // The next (previous) node whose text, or link when asked, holds the
    // find bar's text; selected as a click would. False when none does.
    bool FindNext(bool forward = true);
    void CopyPath();
    // Selects the node a path names; false (and the missing part said) when
    // there is none.
    bool SelectPath(const std::string& path);
    // "Verificar arquivo": the problems a check of the document finds.
    void CheckFile();

    // Leaving a link: the editor's record goes into the node. False when it
    // fails (the error was shown).
    bool LeaveLink(TTreeNode* node);
    // Showing a link in the editor (or hiding it).
    void ShowLink(TTreeNode* node);
    // After the document changed underneath the editor (undo, redo): shows the
    // selected node again.
    void Reshow();

protected:
    void closeEvent(QCloseEvent* event) override;
    // A links file dropped from a file manager is opened.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The controls, found from outside by their names (setObjectName).
    QWidget* CoolBar1;
    QToolBar* ToolBar1;
    QAction* ToolButton3; // New, hidden
    QAction* ToolButton4; // Open
    QAction* ToolButton5; // Save, hidden
    QAction* ToolButton2; // separator
    QAction* ToolButton1; // hidden, no action
    TLinkTreeView* TreeView1;
    QSplitter* Splitter1;
    TfrmLkEdit* Editor;
    QTimer* Timer1;
    QMenu* PopupMenu1;
    QAction* Novo1;
    QAction* Pasta1;
    QAction* tem1;
    QAction* N1;
    QAction* PastaRaz1;
    QAction* N2;
    // Keys of the hidden tool buttons and the usual file keys.
    QAction* actNew;
    QAction* actOpen;
    QAction* actSave;
    QAction* actSaveAs;
    QAction* actUndo;
    QAction* actRedo;
    QAction* actFind;
    QAction* actFindNext;
    QAction* actFindPrevious;
    QAction* actCopyPath;
    QAction* actCheckFile;
    QAction* CopiarCaminho1; // "Copiar caminho" in the tree's menu
    QWidget* FindBar;
    QLineEdit* FindEdit;
    QCheckBox* FindInLinks;
    QLabel* FindStatus;
    QDockWidget* CheckDock;
    QListWidget* CheckList;

    bool FDragging = false;

    void CreateControls();
    void CreateActions();
    void CreateConnections();
    void AddNode(bool folder, bool atRoot);
    // The window's size and place and its splitters, as the person left them.
    void RestoreLayout();
    void SaveLayout() const;
    void AddRecent(const std::string& fileName);
    void FillRecentMenu();
    QMenu* FRecentMenu = nullptr;
    // What the reading of the open file passed over (lines of a path that
    // already had a link), for the file check.
    std::vector<TLoadProblem> FOpenProblems;
    // A change of the document that the person made, as one undo step.
    void Push(TTreeCommand* command);
    void ClearUndo();

    TLinksDocument FDocument; // before the model, the selection and the steps that refer to it
    std::unique_ptr<TLinkTreeModel> FModel;
    std::unique_ptr<TVetoSelectionModel> FSelection; // after the model: it goes first
    QUndoStack FUndo;
    // The last step the window pushed (owned by the stack; used only while it
    // is the step the stack stands at).
    TTreeCommand* FLastPushed = nullptr;
    TTreeNode* FShown = nullptr; // the link the editor shows
};

} // namespace elo
