// Pictures of the windows to look at (not compared): with ELO_SCREENSHOT_DIR
// set, the main window at its design size with a link shown, under the
// palette the platform gives or, with ELO_SCREENSHOT_PALETTE=dark, a dark
// one; run it with QT_SCALE_FACTOR=2 for 200 %. Skipped otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include <memory>

#include "UiFixture.h"
#include "links/Find.h"
#include "qtedge/QtText.h"
#include "support/TestFiles.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"

using namespace elo;
using namespace elo::test;

namespace {

QPalette DarkPalette() {
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), button(60, 60, 64);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(42, 110, 200));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, QColor(90, 90, 96));
    p.setColor(QPalette::Midlight, QColor(75, 75, 80));
    p.setColor(QPalette::Mid, QColor(40, 40, 44));
    p.setColor(QPalette::Dark, QColor(25, 25, 28));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(140, 140, 140));
    return p;
}

} // namespace

TEST(Screenshot, MainWindowWithALinkShown) {
    const QString dir = qEnvironmentVariable("ELO_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "ELO_SCREENSHOT_DIR not set";
    const bool dark = qEnvironmentVariable("ELO_SCREENSHOT_PALETTE") == "dark";
    const QPalette before = QApplication::palette();
    if (dark) {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(DarkPalette());
    }
    {
        TTestDir scratch("elo-shot");
        auto main = std::make_unique<TfrmMain>();
        main->resize(644, 457);
        main->show();
        main->OpenFileNamed(scratch.Write("menus.lnk", ReadFile(std::string(ELO_SOURCE_DIR) + "/examples/menus.lnk")));
        Child<TLinkTreeView>(main, "TreeView1")->expandAll();
        for (const char* path : {"Menu Principal\\Cadastros\\Fornecedores", "Menu Principal\\Cadastros"})
            if (const TTreeNode* node = NodeAtPath(main->Document().Tree, path)) {
                main->SelectNode(const_cast<TTreeNode*>(node));
                break;
            }
        QApplication::processEvents();
        const QString name =
            QString("%1/main-%2-x%3.png").arg(dir, dark ? "dark" : "light").arg(main->devicePixelRatio(), 0, 'g', 2);
        EXPECT_TRUE(main->grab().save(name));
        main->UndoStack().setClean();
        Ed(main)->ClearEdited();
    }
    if (dark) QApplication::setPalette(before);
}
