#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDockWidget>
#include <QDrag>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "Commands.h"
#include "Dialogs.h"
#include "Images.h"
#include "LkEdit.h"
#include "Splitters.h"
#include "TreeModel.h"
#include "VetoSelection.h"
#include "links/Find.h"
#include "links/LinksCheck.h"
#include "links/SiblingPaths.h"
#include "platform/MessageHook.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"
#include "qtedge/EventBoundary.h"
#include "qtedge/QtText.h"

#include <sys/stat.h>

#include <memory>

namespace elo {

namespace {

constexpr const char* kNodeMime = "application/x-elo-tree-node";
const char* const kNewFolder = "<nova pasta>";
const char* const kNewItem = "<novo \xEDtem>";

// The rename of a node ends here: the window decides what the text becomes.
class TNodeRenameDelegate : public QStyledItemDelegate {
public:
    TNodeRenameDelegate(TfrmMain* window, QObject* parent) : QStyledItemDelegate(parent), FWindow(window) {}
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        TTreeNode* node = FWindow->Model()->NodeOf(index);
        if (!line || !node) return;
        Guard([&] { FWindow->TreeView1Edited(node, FromQString(line->text())); });
    }

private:
    TfrmMain* FWindow;
};

QAction* NamedAction(QObject* parent, const char* name, const QString& text) {
    auto* action = new QAction(text, parent);
    action->setObjectName(name);
    return action;
}

} // namespace

// ---- TLinkTreeView -----------------------------------------------------------------

TLinkTreeView::TLinkTreeView(TfrmMain* window) : FWindow(window) {
    setObjectName("TreeView1");
    setHeaderHidden(true);
    setIndentation(19);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::NoDragDrop); // the window's own drag rules
    viewport()->setAcceptDrops(true);
    // The selection stays visible when the tree loses the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
    setItemDelegate(new TNodeRenameDelegate(window, this));
}

void TLinkTreeView::keyPressEvent(QKeyEvent* event) {
    bool consumed = false;
    Guard([&] { consumed = FWindow->TreeView1KeyDown(event); });
    if (consumed) return;
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    SelectUnmovedCurrent(this, before, event->key());
}

void TLinkTreeView::mousePressEvent(QMouseEvent* event) {
    FPressed = event->button() == Qt::LeftButton;
    FPressAt = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        // A right click selects the node under the pointer.
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) Guard([&] { FWindow->SelectNode(FWindow->Model()->NodeOf(index)); });
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TLinkTreeView::mouseMoveEvent(QMouseEvent* event) {
    if (FPressed && (event->buttons() & Qt::LeftButton) && state() != EditingState &&
        (event->position().toPoint() - FPressAt).manhattanLength() >= QApplication::startDragDistance() &&
        indexAt(FPressAt).isValid()) {
        FPressed = false;
        Guard([&] { FWindow->TreeView1StartDrag(); });
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setData(kNodeMime, QByteArray());
        drag->setMimeData(mime);
        drag->setDragCursor(ArrowCursorPixmap(), Qt::MoveAction);
        drag->exec(Qt::MoveAction);
        Guard([&] { FWindow->TreeView1EndDrag(); });
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void TLinkTreeView::mouseReleaseEvent(QMouseEvent* event) {
    FPressed = false;
    QTreeView::mouseReleaseEvent(event);
}

void TLinkTreeView::contextMenuEvent(QContextMenuEvent* event) {
    FWindow->ShowPopupMenu(event->globalPos());
}

void TLinkTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this && event->mimeData()->hasFormat(kNodeMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TLinkTreeView::dragMoveEvent(QDragMoveEvent* event) {
    // A drop is accepted anywhere over the tree.
    if (event->source() == this && event->mimeData()->hasFormat(kNodeMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TLinkTreeView::dropEvent(QDropEvent* event) {
    if (event->source() != this || !event->mimeData()->hasFormat(kNodeMime)) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    Guard([&] { FWindow->TreeView1DragDrop(at.x(), at.y()); });
    event->acceptProposedAction();
}

// ---- TfrmMain: controls ---------------------------------------------------------------

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    CreateControls();
    CreateActions();
    CreateConnections();
    RestoreLayout();
    UpdateTitle();
}

TfrmMain::~TfrmMain() {
    SaveLayout();
    // The undo steps, the selection and the model go before the document they
    // refer to and observe: they are declared after it.
}

void TfrmMain::CreateControls() {
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral("Editor de links"));
    setWindowIcon(ProgramIcon());
    resize(644, 457);
    CentreOnScreen(this);
    setMinimumSize(480, 340);
    setAcceptDrops(true);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    CoolBar1 = new QWidget(central);
    CoolBar1->setObjectName("CoolBar1");
    auto* bar = new QHBoxLayout(CoolBar1);
    bar->setContentsMargins(2, 2, 2, 2);
    ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar { border: none; }"));
    bar->addWidget(ToolBar1);
    bar->addStretch(1);
    layout->addWidget(CoolBar1);

    Splitter1 = NewSplitter(Qt::Horizontal, central, "Splitter1");
    layout->addWidget(Splitter1, 1);

    // The left side: the find bar (hidden until Ctrl+F) above the tree.
    auto* treeArea = new QWidget(Splitter1);
    auto* treeLayout = new QVBoxLayout(treeArea);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(2);
    FindBar = new QWidget(treeArea);
    FindBar->setObjectName("FindBar");
    auto* findLayout = new QGridLayout(FindBar);
    findLayout->setContentsMargins(2, 2, 2, 0);
    findLayout->setSpacing(2);
    FindEdit = new QLineEdit(FindBar);
    FindEdit->setObjectName("FindEdit");
    FindEdit->setPlaceholderText(QStringLiteral("Procurar (F3, Shift+F3)"));
    FindEdit->setClearButtonEnabled(true);
    auto* previous = new QToolButton(FindBar);
    previous->setObjectName("FindPrevious");
    auto* next = new QToolButton(FindBar);
    next->setObjectName("FindNext");
    FindInLinks = new QCheckBox(QStringLiteral("Procurar nos links"), FindBar);
    FindInLinks->setObjectName("FindInLinks");
    FindStatus = new QLabel(FindBar);
    FindStatus->setObjectName("FindStatus");
    // What it says never widens the tree's side.
    FindStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    FindEdit->setAccessibleName(QStringLiteral("Procurar"));
    findLayout->addWidget(FindEdit, 0, 0);
    findLayout->addWidget(previous, 0, 1);
    findLayout->addWidget(next, 0, 2);
    findLayout->addWidget(FindInLinks, 1, 0);
    findLayout->addWidget(FindStatus, 1, 1, 1, 2);
    FindBar->hide();
    treeLayout->addWidget(FindBar);

    TreeView1 = new TLinkTreeView(this);
    TreeView1->setAccessibleName(QString::fromUtf8("\u00C1rvore de links"));
    FModel = std::make_unique<TLinkTreeModel>(FDocument.Tree);
    TreeView1->setModel(FModel.get());
    FSelection = std::make_unique<TVetoSelectionModel>(FModel.get());
    TreeView1->setSelectionModel(FSelection.get());
    treeLayout->addWidget(TreeView1, 1);
    Splitter1->addWidget(treeArea);

    // The editor fills the rest of the window; hidden while no link is selected.
    auto* editorArea = new QWidget(Splitter1);
    auto* editorLayout = new QVBoxLayout(editorArea);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    Editor = new TfrmLkEdit(editorArea, true);
    Editor->OnGetNewId = [this](void* sender, int32_t& id) { GetNewId(sender, id); };
    editorLayout->addWidget(Editor);
    Editor->hide();
    Splitter1->addWidget(editorArea);
    Splitter1->setSizes({214, 427});
    Splitter1->setStretchFactor(1, 1);

    // "Verificar arquivo": the problems of the document, each leading to its node.
    CheckDock = new QDockWidget(QStringLiteral("Verificar arquivo"), this);
    CheckDock->setObjectName("CheckDock");
    CheckList = new QListWidget(CheckDock);
    CheckList->setObjectName("CheckList");
    CheckList->setAccessibleName(QStringLiteral("Problemas do arquivo"));
    CheckDock->setWidget(CheckList);
    addDockWidget(Qt::BottomDockWidgetArea, CheckDock);
    CheckDock->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    Timer1->start(); // its first tick switches it off: no drag is under way
}

void TfrmMain::CreateActions() {
    ToolButton3 = NamedAction(this, "ToolButton3", QStringLiteral("Novo"));
    ToolButton3->setIcon(MainImage(imgNew));
    ToolButton3->setVisible(false);
    ToolButton4 = NamedAction(this, "ToolButton4", QStringLiteral("Abrir"));
    ToolButton4->setIcon(MainImage(imgOpen));
    ToolButton5 = NamedAction(this, "ToolButton5", QStringLiteral("Salvar"));
    ToolButton5->setIcon(MainImage(imgSave));
    ToolButton5->setVisible(false);
    ToolBar1->addAction(ToolButton3);
    ToolBar1->addAction(ToolButton4);
    ToolBar1->addAction(ToolButton5);
    ToolButton2 = ToolBar1->addSeparator();
    ToolButton2->setObjectName("ToolButton2");
    ToolButton1 = NamedAction(this, "ToolButton1", QString());
    ToolButton1->setIcon(MainImage(imgFolder));
    ToolButton1->setVisible(false);
    ToolBar1->addAction(ToolButton1);
    for (QAction* a : {ToolButton3, ToolButton4, ToolButton5, ToolButton1})
        if (QWidget* w = ToolBar1->widgetForAction(a)) w->setObjectName(a->objectName());
    // Beside Open, the last files opened or saved.
    FRecentMenu = new QMenu(QStringLiteral("Arquivos recentes"), this);
    FRecentMenu->setObjectName("RecentFiles");
    if (auto* open = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(ToolButton4))) {
        open->setMenu(FRecentMenu);
        open->setPopupMode(QToolButton::MenuButtonPopup);
        open->setToolTip(QStringLiteral("Abrir (Ctrl+O); a seta: arquivos recentes"));
    }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    QMenu* novo = PopupMenu1->addMenu(QStringLiteral("Novo"));
    Novo1 = novo->menuAction();
    Novo1->setObjectName("Novo1");
    Pasta1 = NamedAction(this, "Pasta1", QStringLiteral("Pasta"));
    tem1 = NamedAction(this, "tem1", QString::fromUtf8("\u00CDtem"));
    PastaRaz1 = NamedAction(this, "PastaRaz1", QString::fromUtf8("Pasta Ra\u00EDz"));
    N2 = NamedAction(this, "N2", QString::fromUtf8("\u00CDtem Ra\u00EDz"));
    novo->addAction(Pasta1);
    novo->addAction(tem1);
    N1 = novo->addSeparator();
    N1->setObjectName("N1");
    novo->addAction(PastaRaz1);
    novo->addAction(N2);
    // The path of the node: from the menu, or Ctrl+Shift+C while the tree has
    // the focus (the tag list keeps Ctrl+C in either letter case for itself).
    CopiarCaminho1 = NamedAction(this, "CopiarCaminho1", QStringLiteral("Copiar caminho"));
    CopiarCaminho1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    CopiarCaminho1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    TreeView1->addAction(CopiarCaminho1);
    PopupMenu1->addAction(CopiarCaminho1);
    actCopyPath = CopiarCaminho1;

    // The hidden New and Save buttons keep their actions reachable by the
    // keys every editor has, with Save As and Undo / Redo beside them.
    auto key = [this](const char* name, const QString& text, QKeySequence sequence) {
        QAction* a = NamedAction(this, name, text);
        a->setShortcut(sequence);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    actNew = key("actNew", QStringLiteral("Novo"), QKeySequence::New);
    actOpen = key("actOpen", QStringLiteral("Abrir"), QKeySequence::Open);
    actSave = key("actSave", QStringLiteral("Salvar"), QKeySequence::Save);
    actSaveAs = key("actSaveAs", QStringLiteral("Salvar como"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    actUndo = key("actUndo", QStringLiteral("Desfazer"), QKeySequence::Undo);
    actRedo = key("actRedo", QStringLiteral("Refazer"), QKeySequence(Qt::CTRL | Qt::Key_Y));
    actRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    actFind = key("actFind", QStringLiteral("Procurar"), QKeySequence::Find);
    actFindNext = key("actFindNext", QString::fromUtf8("Pr\u00F3ximo"), QKeySequence(Qt::Key_F3));
    actFindNext->setToolTip(QString::fromUtf8("Pr\u00F3ximo (F3)"));
    actFindPrevious = key("actFindPrevious", QStringLiteral("Anterior"), QKeySequence(Qt::SHIFT | Qt::Key_F3));
    actFindPrevious->setToolTip(QStringLiteral("Anterior (Shift+F3)"));
    actCheckFile = key("actCheckFile", QStringLiteral("Verificar arquivo"), QKeySequence(Qt::Key_F7));
}

void TfrmMain::CreateConnections() {
    FSelection->OnChanging = [this](const QModelIndex& from, const QModelIndex& to) {
        bool allowed = false;
        Guard([&] { allowed = TreeView1Changing(FModel->NodeOf(from), FModel->NodeOf(to)); });
        return allowed;
    };
    connect(FSelection.get(), &QItemSelectionModel::selectionChanged, this, Guarded(this, &TfrmMain::TreeView1Change));
    // A batch (a file read) replaces every node: nothing is shown any more.
    connect(FModel.get(), &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        FShown = nullptr;
        Editor->hide();
    });
    connect(ToolButton3, &QAction::triggered, this, Guarded(this, &TfrmMain::NewFile));
    connect(ToolButton4, &QAction::triggered, this, Guarded(this, &TfrmMain::OpenFile));
    connect(FRecentMenu, &QMenu::aboutToShow, this, Guarded(this, &TfrmMain::FillRecentMenu));
    // The title follows the file and whether it changed.
    connect(&FUndo, &QUndoStack::cleanChanged, this, [this] { UpdateTitle(); });
    connect(&FUndo, &QUndoStack::indexChanged, this, [this] { UpdateTitle(); });
    Editor->OnEditedChanged = [this] { UpdateTitle(); };
    connect(ToolButton5, &QAction::triggered, this, Guarded(this, &TfrmMain::SaveFile, false));
    connect(actNew, &QAction::triggered, this, Guarded(this, &TfrmMain::NewFile));
    connect(actOpen, &QAction::triggered, this, Guarded(this, &TfrmMain::OpenFile));
    connect(actSave, &QAction::triggered, this, Guarded(this, &TfrmMain::SaveFile, false));
    connect(actSaveAs, &QAction::triggered, this, Guarded(this, &TfrmMain::SaveFile, true));
    // The shown link's own changes are committed first.
    auto stepThrough = [this](void (QUndoStack::*step)()) {
        Guard([&] {
            if (FShown && !LeaveLink(FShown)) return;
            (FUndo.*step)();
        });
    };
    connect(actUndo, &QAction::triggered, this, [stepThrough] { stepThrough(&QUndoStack::undo); });
    connect(actRedo, &QAction::triggered, this, [stepThrough] { stepThrough(&QUndoStack::redo); });
    connect(actFind, &QAction::triggered, this, Guarded(this, &TfrmMain::ShowFindBar));
    connect(actFindNext, &QAction::triggered, this, Guarded(this, &TfrmMain::FindNext, true));
    connect(actFindPrevious, &QAction::triggered, this, Guarded(this, &TfrmMain::FindNext, false));
    connect(CopiarCaminho1, &QAction::triggered, this, Guarded(this, &TfrmMain::CopyPath));
    connect(actCheckFile, &QAction::triggered, this, Guarded(this, &TfrmMain::CheckFile));
    connect(Pasta1, &QAction::triggered, this, Guarded(this, &TfrmMain::Pasta1Click));
    connect(tem1, &QAction::triggered, this, Guarded(this, &TfrmMain::tem1Click));
    connect(PastaRaz1, &QAction::triggered, this, Guarded(this, &TfrmMain::PastaRaz1Click));
    connect(N2, &QAction::triggered, this, Guarded(this, &TfrmMain::N2Click));
    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TfrmMain::Timer1Timer));
    // The find bar: its arrows are the find actions, Return finds the next,
    // Escape closes it.
    for (auto [name, action] : {std::pair{"FindPrevious", actFindPrevious}, std::pair{"FindNext", actFindNext}}) {
        auto* button = FindBar->findChild<QToolButton*>(name);
        button->setDefaultAction(action);
        button->setArrowType(action == actFindNext ? Qt::DownArrow : Qt::UpArrow);
    }
    connect(FindEdit, &QLineEdit::returnPressed, this, Guarded(this, &TfrmMain::FindNext, true));
    auto* closeFind =
        new QShortcut(QKeySequence(Qt::Key_Escape), FindBar, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(closeFind, &QShortcut::activated, this, [this] {
        FindBar->hide();
        TreeView1->setFocus();
    });
    // A problem of the file check leads to its node.
    connect(CheckList, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        Guard([&] {
            const std::string path = FromQString(item->data(Qt::UserRole).toString());
            if (!path.empty()) SelectPath(path);
        });
    });
}

// ---- selection: leaving and showing a link ---------------------------------------------

TTreeNode* TfrmMain::Selected() const {
    return FModel->NodeOf(FSelection->SelectedRow());
}

bool TfrmMain::SelectNode(TTreeNode* node) {
    if (!node) {
        if (!Selected()) return true;
        FSelection->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
        return !Selected();
    }
    for (TTreeNode* p = node->Parent(); p; p = p->Parent()) TreeView1->expand(FModel->IndexOf(p));
    const QModelIndex index = FModel->IndexOf(node);
    FSelection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (Selected() != node) return false;
    TreeView1->scrollTo(index);
    return true;
}

void TfrmMain::GetNewId(void*, int32_t& id) {
    id = FDocument.NewId();
}

bool TfrmMain::LeaveLink(TTreeNode* node) {
    if (!node || !node->Data() || node != FShown) return true;
    // A failure is shown and refuses the change (the silent EAbort too).
    return Guard([&] {
        const std::string link = Editor->LinkToStore();
        const std::string text = Editor->LinkCaption();
        const bool changed = node->Data()->Link != link || node->Text() != text;
        if (changed && Editor->Edited()) {
            // The person's change of the link: one undo step.
            Push(new TChangeCommand(FDocument.Tree, node, text, link, QStringLiteral("Editar link"),
                                    [this] { Reshow(); }));
        } else if (changed) {
            // What showing the link added by itself (an identifier drawn, the
            // text written the editor's way) is kept without an undo step of
            // its own: it joins the step that led to this state.
            std::string oldText(node->Text());
            std::string oldLink(node->Data()->Link);
            if (node->Data()->Link != link) FDocument.Tree.SetLink(node, link);
            if (node->Text() != text) FDocument.Tree.SetText(node, text);
            // It joins the window's last step while that step is the one the
            // document stands at (not undone, not cleared away). The clean
            // state stays where it is: drawing an identifier by looking is no
            // change the person made.
            if (FLastPushed && FUndo.index() > 0 && FUndo.command(FUndo.index() - 1) == FLastPushed)
                FLastPushed->AddFollowUp(node, std::move(oldText), text, std::move(oldLink), link);
        }
        Editor->ClearEdited();
    });
}

bool TfrmMain::TreeView1Changing(TTreeNode* from, TTreeNode*) {
    return LeaveLink(from);
}

void TfrmMain::TreeView1Change() {
    TTreeNode* node = Selected();
    if (node == FShown && (!node || Editor->isVisible())) return; // a move: the same node stays shown
    ShowLink(node);
}

void TfrmMain::ShowLink(TTreeNode* node) {
    FShown = nullptr;
    if (!node || !node->Data()) {
        Editor->hide();
        return;
    }
    // An error here reaches the standard error display; the selection has
    // moved already. The link is shown all the same, only itself and ready
    // to be repaired, with the reason under its tags.
    TScopeExit shown([&] {
        Editor->SetLinkCaption(node->Text());
        FShown = node;
        Editor->show();
    });
    Editor->DecodeLink(node->Data()->Link);
}

void TfrmMain::Reshow() {
    FShown = nullptr;
    Guard([&] { ShowLink(Selected()); });
}

// ---- tree editing ------------------------------------------------------------------------

void TfrmMain::Push(TTreeCommand* command) {
    FUndo.push(command);
    FLastPushed = command;
}

void TfrmMain::ClearUndo() {
    FUndo.clear();
    FLastPushed = nullptr;
}

void TfrmMain::TreeView1Edited(TTreeNode* node, const std::string& text) {
    // A text holding "\" or "=" would read back as another path: refused.
    const std::string why = ValidateNodeText(text);
    if (!why.empty()) throw ELinksFileError(why);
    // A second node at the same path would be dropped by the next reading.
    if (SiblingWithSamePath(FDocument.Tree, node->Parent(), text, node)) {
        std::string path = node->Parent() ? TLinksDocument::NodePath(node->Parent()) + "\\" : std::string();
        throw ELinksFileError(SamePathMessage(path + text));
    }
    if (node == FShown && node->Data()) {
        // A link's caption follows its node's text: one step renames both.
        // When the link cannot be stored as it stands, the rename is the
        // node's alone and the caption goes in when the link is left.
        Editor->RenameLink(text);
        std::optional<std::string> link;
        try {
            link = Editor->LinkToStore();
        } catch (const Exception&) {
        }
        if (node->Text() != text || (link && node->Data()->Link != *link))
            Push(
                new TChangeCommand(FDocument.Tree, node, text, link, QStringLiteral("Renomear"), [this] { Reshow(); }));
        if (link) Editor->ClearEdited();
    } else if (node->Text() != text) {
        Editor->SetLinkCaption(text);
        Push(new TChangeCommand(FDocument.Tree, node, text, std::nullopt, QStringLiteral("Renomear"),
                                [this] { Reshow(); }));
    }
}

bool TfrmMain::TreeView1KeyDown(QKeyEvent* event) {
    if (!Selected()) return false;
    switch (event->key()) {
    case Qt::Key_F2:
        RenameSelected();
        return true;
    case Qt::Key_Delete:
        DeleteSelected();
        return true;
    case Qt::Key_Insert:
        tem1Click();
        return true;
    default:
        return false;
    }
}

void TfrmMain::RenameSelected() {
    if (TTreeNode* node = Selected()) TreeView1->edit(FModel->IndexOf(node));
}

void TfrmMain::DeleteSelected() {
    TTreeNode* node = Selected();
    if (!node) return;
    // The node goes with everything below it, without asking; its link is not
    // left (nothing of it stays to keep an edit in).
    if (FShown && node->Contains(FShown)) {
        FShown = nullptr;
        Editor->hide();
    }
    TTreeNode* next = node->NextSibling();
    if (!next && node->Index() > 0)
        next = (node->Parent() ? node->Parent()->Item(node->Index() - 1) : FDocument.Tree.Root(node->Index() - 1));
    if (!next) next = node->Parent();
    Push(new TDeleteCommand(FDocument.Tree, node, [this] { Reshow(); }));
    if (next) SelectNode(next);
}

void TfrmMain::AddNode(bool folder, bool atRoot) {
    TTreeNode* selected = Selected();
    TLinkTree& tree = FDocument.Tree;
    // A sibling of the same name would share its path: the new one is numbered.
    const TTreeNode* parent = atRoot ? (selected ? selected->Parent() : nullptr) : selected;
    const std::string text = FreeSiblingText(tree, parent, folder ? kNewFolder : kNewItem);
    TTreeNode* node = atRoot ? tree.InsertBefore(selected, text) : tree.AddChild(selected, text);
    if (!folder) tree.SetData(node, TLinkData(std::string()));
    tree.SetImages(node, folder ? imgFolder : imgLinkItem, folder ? imgFolder : imgLinkItem);
    Push(new TInsertCommand(tree, node, [this] { Reshow(); }));
    if (SelectNode(node)) TreeView1->edit(FModel->IndexOf(node));
}

void TfrmMain::Pasta1Click() {
    AddNode(true, false);
}
void TfrmMain::tem1Click() {
    AddNode(false, false);
}
void TfrmMain::PastaRaz1Click() {
    AddNode(true, true);
}
void TfrmMain::N2Click() {
    AddNode(false, true);
}

// ---- finding, paths, the file check -----------------------------------------------------------

void TfrmMain::ShowFindBar() {
    FindBar->show();
    FindEdit->setFocus();
    FindEdit->selectAll();
}

bool TfrmMain::FindNext(bool forward) {
    if (!FindBar->isVisible() || FindEdit->text().isEmpty()) {
        ShowFindBar();
        return false;
    }
    const TNodeFinder finder(FromQString(FindEdit->text()), FindInLinks->isChecked());
    const TTreeNode* found = finder.Next(FDocument.Tree, Selected(), forward);
    FindStatus->setText(found ? QString() : QString::fromUtf8("N\u00E3o encontrado"));
    // Selected as any other node: the link that was shown is left first.
    return found && SelectNode(const_cast<TTreeNode*>(found));
}

void TfrmMain::CopyPath() {
    if (TTreeNode* node = Selected()) QGuiApplication::clipboard()->setText(ToQString(TLinksDocument::NodePath(node)));
}

bool TfrmMain::SelectPath(const std::string& path) {
    std::string missing;
    const TTreeNode* node = NodeAtPath(FDocument.Tree, path, &missing);
    if (!node) {
        ShowMessageBox("O caminho \"" + path + "\" n\xE3o foi encontrado: falta \"" + missing + "\"", "");
        return false;
    }
    return SelectNode(const_cast<TTreeNode*>(node));
}

void TfrmMain::CheckFile() {
    // The document as a save would write it, with what the editor holds.
    if (FShown) LeaveLink(FShown);
    CheckList->clear();
    // What the reading of the file passed over: not in the document any more.
    for (const TLoadProblem& p : FOpenProblems)
        new QListWidgetItem(ToQString("Ao abrir, linha " + std::to_string(p.Line) + ": " + p.Message +
                                      " (n\xE3o estar\xE1 no arquivo salvo)"),
                            CheckList);
    // Siblings of the same path first: the file itself would hide them.
    for (const TTreeNode* twin : NodesWithSamePath(FDocument.Tree)) {
        const std::string path = TLinksDocument::NodePath(twin);
        auto* item = new QListWidgetItem(ToQString(SamePathMessage(path)), CheckList);
        item->setData(Qt::UserRole, ToQString(path));
    }
    for (const TFileProblem& p : CheckLinksText(FDocument.LinksText())) {
        auto* item = new QListWidgetItem(ToQString("Linha " + std::to_string(p.Line) + ": " + p.Message), CheckList);
        item->setData(Qt::UserRole, ToQString(p.Path));
    }
    if (CheckList->count() == 0) new QListWidgetItem(QStringLiteral("Nenhum problema encontrado"), CheckList);
    CheckDock->show();
}

// ---- drag and drop ---------------------------------------------------------------------------

void TfrmMain::TreeView1StartDrag() {
    FDragging = true;
    Timer1->start();
}

void TfrmMain::TreeView1EndDrag() {
    FDragging = false;
}

void TfrmMain::TreeView1DragDrop(int x, int y) {
    TTreeNode* target = FModel->NodeOf(TreeView1->indexAt(QPoint(x, y)));
    TTreeNode* moving = Selected();
    if (!target || !moving) return;
    // A folder lands among the root nodes or among their children.
    if (!moving->Data())
        while (target->Level() > 1) target = target->Parent();
    const QRect row = TreeView1->visualRect(FModel->IndexOf(target));
    TTreeNode* before = nullptr;
    if (y <= row.top() + row.height() / 2)
        before = target; // the upper half, the exact middle included
    else
        before = target->NextSibling();                       // after it, or at the end of its siblings
    if (target == moving || moving->Contains(target)) return; // on itself or below itself: nothing
    // Among siblings of its own name the node would share their path.
    if (target->Parent() != moving->Parent() &&
        SiblingWithSamePath(FDocument.Tree, target->Parent(), moving->Text(), moving)) {
        std::string path = target->Parent() ? TLinksDocument::NodePath(target->Parent()) + "\\" : std::string();
        throw ELinksFileError(SamePathMessage(path + std::string(moving->Text())));
    }
    auto* move = new TMoveCommand(FDocument.Tree, moving, target->Parent(), before, [] {});
    Push(move);
}

void TfrmMain::Timer1Timer() {
    if (!FDragging) {
        Timer1->stop();
        return;
    }
    const int y = TreeView1->viewport()->mapFromGlobal(QCursor::pos()).y();
    QScrollBar* bar = TreeView1->verticalScrollBar();
    if (y < 0)
        bar->setValue(bar->value() - 1); // one row up
    else if (y > TreeView1->viewport()->height())
        bar->setValue(bar->value() + 1); // one row down
}

// ---- files ---------------------------------------------------------------------------------

bool TfrmMain::Modified() const {
    return !FUndo.isClean() || (FShown && Editor->Edited());
}

bool TfrmMain::ConfirmDiscard() {
    if (!Modified()) return true;
    switch (Dialogs().AskSaveChanges(this)) {
    case IDialogs::TAnswer::Yes:
        return SaveFile();
    case IDialogs::TAnswer::No:
        return true;
    case IDialogs::TAnswer::Cancel:
        break;
    }
    return false;
}

void TfrmMain::NewFile() {
    if (!ConfirmDiscard()) return;
    FOpenProblems.clear();
    FShown = nullptr;
    Editor->hide();
    ClearUndo();
    FDocument.NewLinksFile();
    UpdateTitle();
}

void TfrmMain::OpenFile() {
    if (!ConfirmDiscard()) return;
    std::string name;
    if (!Dialogs().OpenFileName(this, name)) return;
    OpenFileNamed(name);
}

bool TfrmMain::OpenFileNamed(const std::string& fileName) {
    FShown = nullptr;
    Editor->hide();
    ClearUndo();
    TLoadReport report;
    TScopeExit titled([this] { UpdateTitle(); });
    try {
        FDocument.LoadLinksFile(fileName, &report);
    } catch (const EFOpenError&) {
        throw; // nothing was read: the name stays, a save creates the file
    } catch (...) {
        // Read only in part: saving under its name would cut the file short,
        // so a save asks for a name.
        FDocument.FileName.clear();
        throw;
    }
    AddRecent(fileName);
    // A counter that was no number is said once, with its line. Lines the
    // reading passed over (a second line for one path) are listed in the
    // file check at once: a save would not hold them.
    FOpenProblems.clear();
    for (const TLoadProblem& p : report.Problems)
        if (p.Line == report.CounterRepairedLine)
            ShowMessageBox("Linha " + std::to_string(p.Line) + ": " + p.Message, "");
        else
            FOpenProblems.push_back(p);
    if (!FOpenProblems.empty()) CheckFile();
    return true;
}

bool TfrmMain::SaveFile(bool askName) {
    // The editor's state reaches the tree first. A link that cannot be stored
    // as it stands (it would not read back) refuses the save, its error shown:
    // saving without it would look like saving it.
    if (FShown && !LeaveLink(FShown)) return false;
    std::string name = FDocument.FileName;
    if (askName || name.empty()) {
        if (!Dialogs().SaveFileName(this, name)) return false;
    }
    FDocument.SaveLinksFile(name);
    FDocument.FileName = name;
    FUndo.setClean();
    FOpenProblems.clear(); // the file holds what the document holds now
    AddRecent(name);
    UpdateTitle();
    return true;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    bool close = false;
    Guard([&] { close = ConfirmDiscard(); });
    if (close)
        event->accept();
    else
        event->ignore();
}

void TfrmMain::ShowPopupMenu(const QPoint& at) {
    PopupMenu1->exec(at);
}

void TfrmMain::UpdateTitle() {
    QString title = QStringLiteral("Editor de links");
    if (!FDocument.FileName.empty()) {
        const std::string& name = FDocument.FileName;
        const size_t slash = name.find_last_of('/');
        title += QString::fromUtf8(" \u2014 ") +
                 QString::fromLocal8Bit(name.substr(slash == std::string::npos ? 0 : slash + 1));
    }
    setWindowTitle(title + QStringLiteral("[*]"));
    setWindowFilePath(QString::fromLocal8Bit(FDocument.FileName));
    setWindowModified(Modified());
}

// ---- files from elsewhere: drops, recent files, the layout ------------------------------------

namespace {

constexpr const char* kRecentKey = "recent/files";

std::unique_ptr<QSettings> Settings() {
    // $XDG_CONFIG_HOME/elo/elo.conf (else ~/.config/elo/elo.conf).
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "elo", "elo");
}

// A local file's name as the bytes the system knows it by (a name in any
// encoding comes through percent-encoded).
std::string LocalFileBytes(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

std::string LinksFileOf(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) return LocalFileBytes(url);
    return {};
}

} // namespace

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!LinksFileOf(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfrmMain::dragMoveEvent(QDragMoveEvent* event) {
    if (!LinksFileOf(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const std::string fileName = LinksFileOf(event->mimeData());
    if (fileName.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over: the file manager is not kept waiting on
    // the question about unsaved changes.
    QTimer::singleShot(0, this, [this, fileName] {
        Guard([&] {
            if (ConfirmDiscard()) OpenFileNamed(fileName);
        });
    });
}

std::vector<std::string> TfrmMain::RecentFiles() const {
    std::vector<std::string> files;
    for (const QVariant& v : Settings()->value(kRecentKey).toList()) files.push_back(v.toByteArray().toStdString());
    return files;
}

void TfrmMain::AddRecent(const std::string& fileName) {
    std::vector<std::string> files = RecentFiles();
    std::erase(files, fileName);
    files.insert(files.begin(), fileName);
    if (files.size() > static_cast<size_t>(kRecentFiles)) files.resize(kRecentFiles);
    QVariantList list;
    for (const std::string& f : files) list.push_back(QByteArray::fromStdString(f));
    Settings()->setValue(kRecentKey, list);
}

bool TfrmMain::OpenRecent(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        std::vector<std::string> files = RecentFiles();
        std::erase(files, fileName);
        QVariantList list;
        for (const std::string& f : files) list.push_back(QByteArray::fromStdString(f));
        Settings()->setValue(kRecentKey, list);
        ShowMessageBox("O arquivo \"" + FileNameText(fileName) + "\" n\xE3o existe mais e saiu da lista", "");
        return false;
    }
    if (!ConfirmDiscard()) return false;
    return OpenFileNamed(fileName);
}

void TfrmMain::FillRecentMenu() {
    FRecentMenu->clear();
    const std::vector<std::string> files = RecentFiles();
    if (files.empty()) FRecentMenu->addAction(QStringLiteral("(nenhum arquivo recente)"))->setEnabled(false);
    for (const std::string& f : files) {
        QAction* a = FRecentMenu->addAction(QString::fromLocal8Bit(f));
        connect(a, &QAction::triggered, this, Guarded(this, &TfrmMain::OpenRecent, f));
    }
}

void TfrmMain::RestoreLayout() {
    const auto s = Settings();
    // The first time, the window's design size, centred.
    if (s->contains("window/geometry")) restoreGeometry(s->value("window/geometry").toByteArray());
    Splitter1->restoreState(s->value("window/splitter").toByteArray());
    Editor->RestoreLayout(*s);
}

void TfrmMain::SaveLayout() const {
    const auto s = Settings();
    s->setValue("window/geometry", saveGeometry());
    s->setValue("window/splitter", Splitter1->saveState());
    Editor->SaveLayout(*s);
}

} // namespace elo
