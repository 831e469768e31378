// What the editor has beyond the windows it always had: finding nodes,
// paths, undo and redo of every change, the tag text checked as it is typed,
// and the file check.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <memory>
#include <random>

#include "UiFixture.h"
#include "links/Find.h"
#include "qtedge/EventBoundary.h"
#include "qtedge/QtText.h"
#include "support/TestFiles.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"
#include "ui/TreeModel.h"

using namespace elo;
using namespace elo::test;

namespace {

const char* const kFile = "_currentid=20\r\n"
                          "Menu\\Clientes=link={Cad.Clientes&p=\"1\"};_id=\"1\";Caption=\"Clientes\"\r\n"
                          "Menu\\Cadastro\\Fornecedores=link={Cad.F&pointer=\"frmClientes\"};_id=\"2\"\r\n"
                          "Menu\\Cadastro\\Produtos=link={Cad.P};_id=\"3\"\r\n"
                          "Outros\\clientes antigos=link={Z};_id=\"4\"\r\n";

struct Editor {
    Editor() : scratch("elo-extras") {
        main = std::make_unique<TfrmMain>();
        main->show();
        main->OpenFileNamed(scratch.Write("menu.lnk", kFile));
        QApplication::processEvents();
    }
    ~Editor() {
        main->UndoStack().setClean();
        main.reset();
    }
    TTreeNode* Node(const std::string& path) const {
        return const_cast<TTreeNode*>(NodeAtPath(main->Document().Tree, path));
    }
    std::string SelectedPath() const { return main->Selected() ? TLinksDocument::NodePath(main->Selected()) : "-"; }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : main.get();
        QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
        QApplication::processEvents();
    }
    // The whole document as it would be saved, with the shown link's state.
    std::string Snapshot() const { return main->Document().LinksText(); }
    TTestDir scratch;
    std::unique_ptr<TfrmMain> main;
};

} // namespace

TEST(Extras, FindGoesToTheNextAndPreviousMatchRoundTheTree) {
    Editor e;
    Child<TLinkTreeView>(e.main, "TreeView1")->setFocus();
    e.Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Child<QWidget>(e.main, "FindBar")->isVisible());
    ASSERT_TRUE(Child<QLineEdit>(e.main, "FindEdit")->hasFocus());
    QTest::keyClicks(Child<QLineEdit>(e.main, "FindEdit"), "CLIENTES");
    e.Key(Qt::Key_Return);
    EXPECT_EQ(e.SelectedPath(), "Menu\\Clientes");
    EXPECT_TRUE(Ed(e.main)->isVisible()); // shown as any selected link
    e.Key(Qt::Key_F3);
    EXPECT_EQ(e.SelectedPath(), "Outros\\clientes antigos");
    EXPECT_TRUE(Child<TLinkTreeView>(e.main, "TreeView1")->isExpanded(e.main->Model()->IndexOf(e.Node("Outros"))));
    e.Key(Qt::Key_F3);
    EXPECT_EQ(e.SelectedPath(), "Menu\\Clientes"); // round the tree
    e.Key(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(e.SelectedPath(), "Outros\\clientes antigos");
    // In the links too, when asked.
    Child<QCheckBox>(e.main, "FindInLinks")->setChecked(true);
    Child<QLineEdit>(e.main, "FindEdit")->setText("frmclientes");
    e.Key(Qt::Key_F3);
    EXPECT_EQ(e.SelectedPath(), "Menu\\Cadastro\\Fornecedores");
    Child<QLineEdit>(e.main, "FindEdit")->setText("nada disso");
    e.Key(Qt::Key_F3);
    EXPECT_EQ(e.SelectedPath(), "Menu\\Cadastro\\Fornecedores");
    EXPECT_FALSE(Child<QLabel>(e.main, "FindStatus")->text().isEmpty());
    Child<QLineEdit>(e.main, "FindEdit")->setFocus();
    e.Key(Qt::Key_Escape);
    EXPECT_FALSE(Child<QWidget>(e.main, "FindBar")->isVisible());
}

TEST(Extras, FindingLeavesTheShownLinkAsAnyMoveDoes) {
    Editor e;
    e.main->SelectNode(e.Node("Menu\\Clientes"));
    new QTreeWidgetItem(Child<TTagListView>(Ed(e.main), "ListView1"), QStringList{"sem texto"}); // cannot be encoded
    ShownMessages shown;
    e.main->ShowFindBar();
    Child<QLineEdit>(e.main, "FindEdit")->setText("Produtos");
    EXPECT_FALSE(e.main->FindNext());
    EXPECT_EQ(e.SelectedPath(), "Menu\\Clientes");
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"List index out of bounds (1)"}));
}

TEST(Extras, PathsAreCopiedAndOpened) {
    Editor e;
    e.main->SelectNode(e.Node("Menu\\Cadastro\\Produtos"));
    Child<TLinkTreeView>(e.main, "TreeView1")->setFocus();
    e.Key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Menu\\Cadastro\\Produtos");
    e.main->SelectNode(nullptr);
    Child<TLinkTreeView>(e.main, "TreeView1")->collapseAll();
    EXPECT_TRUE(e.main->SelectPath("menu\\cadastro\\fornecedores"));
    EXPECT_EQ(e.SelectedPath(), "Menu\\Cadastro\\Fornecedores");
    EXPECT_TRUE(
        Child<TLinkTreeView>(e.main, "TreeView1")->isExpanded(e.main->Model()->IndexOf(e.Node("Menu\\Cadastro"))));
    ShownMessages shown;
    EXPECT_FALSE(e.main->SelectPath("Menu\\Vendas\\Pedidos"));
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_NE(shown.texts[0].find("\"Vendas\""), std::string::npos) << shown.texts[0];
}

TEST(Extras, RandomChangesUndoAndRedoStepByStep) {
    for (unsigned seed : {11u, 12u, 13u, 14u}) {
        SCOPED_TRACE(seed);
        Editor e;
        std::mt19937 rng(seed);
        std::vector<std::string> states{e.Snapshot()};
        const int32_t idsBefore = e.main->Document().CurrentId;
        auto anyNode = [&]() -> TTreeNode* {
            std::vector<TTreeNode*> all;
            e.main->Document().Tree.ForEach([&](const TTreeNode* n) { all.push_back(const_cast<TTreeNode*>(n)); });
            return all.empty() ? nullptr : all[rng() % all.size()];
        };
        for (int step = 0; step < 60; ++step) {
            const int before = e.main->UndoStack().count();
            TTreeNode* node = anyNode();
            switch (rng() % 5) {
            case 0:
                e.main->SelectNode(node);
                if (rng() % 2)
                    e.main->Pasta1Click();
                else
                    e.main->tem1Click();
                e.Key(Qt::Key_Escape); // the rename that starts ends
                break;
            case 1: // renamed as a person renames: the selected node
                if (node && e.main->SelectNode(node))
                    Guard([&] { e.main->TreeView1Edited(node, "nome " + std::to_string(step)); });
                break;
            case 2:
                if (node && e.main->Document().Tree.NodeCount() > 3) {
                    e.main->SelectNode(node);
                    e.main->DeleteSelected();
                }
                break;
            case 3: {
                TTreeNode* target = anyNode();
                if (node && target) {
                    e.main->SelectNode(node);
                    const QRect row =
                        Child<TLinkTreeView>(e.main, "TreeView1")->visualRect(e.main->Model()->IndexOf(target));
                    // As the view drops: a refused drop (a sibling of the same path) is said.
                    if (row.isValid())
                        Guard([&] {
                            e.main->TreeView1DragDrop(row.center().x(), row.top() + (rng() % 2 ? 1 : row.height() - 2));
                        });
                }
                break;
            }
            case 4:
                // A committed change of a link string: edited in the grid, left.
                if (node && node->Data() && e.main->SelectNode(node)) {
                    Child<QLineEdit>(Ed(e.main), "Edit2")->setText(QString("Alvo%1").arg(step));
                    Child<TPalGrid>(Ed(e.main), "StringGrid2")->SetCells(1, 1, "p");
                    Child<TPalGrid>(Ed(e.main), "StringGrid2")->SetCells(2, 1, QString("\"%1\"").arg(step));
                    Ed(e.main)->StringGrid2SetEditText(2, 1, QString("\"%1\"").arg(step)); // as typed
                    e.main->SelectNode(nullptr);
                }
                break;
            }
            e.main->SelectNode(nullptr); // every change reaches the document
            if (e.main->UndoStack().count() != before)
                states.push_back(e.Snapshot());
            else
                states.back() = e.Snapshot(); // a change without a step (an identifier drawn)
        }
        ASSERT_GT(states.size(), 20u);
        // Back to the start, one step at a time, each the state before it.
        for (size_t i = states.size() - 1; i > 0; --i) {
            e.main->UndoStack().undo();
            QApplication::processEvents();
            ASSERT_EQ(e.Snapshot().substr(e.Snapshot().find("\r\n")), states[i - 1].substr(states[i - 1].find("\r\n")))
                << "undo to state " << i - 1;
        }
        EXPECT_FALSE(e.main->Modified());                   // the state that was opened
        EXPECT_GE(e.main->Document().CurrentId, idsBefore); // identifiers drawn stay drawn
        for (size_t i = 1; i < states.size(); ++i) {
            e.main->UndoStack().redo();
            ASSERT_EQ(e.Snapshot().substr(e.Snapshot().find("\r\n")), states[i].substr(states[i].find("\r\n")))
                << "redo to state " << i;
        }
    }
}

TEST(Extras, TheGridSaysWhetherItsTagTextParses) {
    Editor e;
    e.main->SelectNode(e.Node("Menu\\Clientes"));
    TfrmLkEdit* editor = Ed(e.main);
    EXPECT_EQ(Child<QLabel>(editor, "ParseStatus")->text(), QString::fromUtf8("Par\u00E2metros v\u00E1lidos"));
    TPalGrid* grid = Child<TPalGrid>(editor, "StringGrid2");
    grid->setFocus();
    grid->FocusCell(2, 1);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "\"aberto");
    EXPECT_NE(Child<QLabel>(editor, "ParseStatus")->text().indexOf("Syntax error in command line"), -1)
        << Child<QLabel>(editor, "ParseStatus")->text().toStdString();
    EXPECT_NE(Child<QLabel>(editor, "ParseStatus")->text().indexOf("coluna 3"), -1)
        << Child<QLabel>(editor, "ParseStatus")->text().toStdString();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_QuoteDbl);
    EXPECT_EQ(Child<QLabel>(editor, "ParseStatus")->text(), QString::fromUtf8("Par\u00E2metros v\u00E1lidos"));
}

TEST(Extras, TheFileCheckListsProblemsThatLeadToTheirNodes) {
    Editor e;
    // Two links with one identifier.
    e.main->Document().Tree.SetLink(e.Node("Menu\\Cadastro\\Produtos"), "link={Cad.P};_id=\"1\"");
    e.Key(Qt::Key_F7);
    ASSERT_TRUE(Child<QDockWidget>(e.main, "CheckDock")->isVisible());
    ASSERT_EQ(Child<QListWidget>(e.main, "CheckList")->count(), 1);
    EXPECT_NE(Child<QListWidget>(e.main, "CheckList")->item(0)->text().indexOf("Identificador duplicado"), -1);
    emit Child<QListWidget>(e.main, "CheckList")->itemActivated(Child<QListWidget>(e.main, "CheckList")->item(0));
    EXPECT_EQ(e.SelectedPath(), "Menu\\Cadastro\\Produtos");
}
