// The windows as a desktop application kept open all day: titles, the layout
// the person left, every control reachable at the design size, files from
// the file manager and the recent list, names in any encoding, Qt's own texts
// in the person's language, names for a screen reader.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QTranslator>
#include <QUrl>

#include <filesystem>
#include <memory>

#include "UiFixture.h"
#include "links/Find.h"
#include "qtedge/QtText.h"
#include "support/TestFiles.h"
#include "ui/Images.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"
#include "ui/Translations.h"
#include "ui/TreeModel.h"
#include "ui/VetoSelection.h"
#include "ui/keyw.h"

using namespace elo;
using namespace elo::test;

namespace {

const char* const kFile = "_currentid=10\r\n"
                          "A\\B=link={T&p=\"1\"};_id=\"5\";Caption=\"B\"\r\n"
                          "A\\C=link={U&q=[v=w];r=2};_id=\"6\";Caption=\"C\"\r\n"
                          "D=link={X};_id=\"9\";Caption=\"D\"\r\n";

void ClearSettings() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "elo", "elo").clear();
}

struct Window {
    Window() : scratch("elo-desktop") { Make(); }
    ~Window() { Close(); }
    void Make() {
        main = std::make_unique<TfrmMain>();
        main->show();
        QApplication::processEvents();
    }
    void Close() {
        if (!main) return;
        main->UndoStack().setClean();
        Ed(main)->ClearEdited();
        main.reset();
    }
    std::string Open(const std::string& name = "menu.lnk", const std::string& text = kFile) {
        const std::string path = scratch.Write(name, text);
        main->OpenFileNamed(path);
        Child<TLinkTreeView>(main, "TreeView1")->expandAll();
        QApplication::processEvents();
        return path;
    }
    TTreeNode* Node(const std::string& p) const { return const_cast<TTreeNode*>(NodeAtPath(main->Document().Tree, p)); }
    TTestDir scratch;
    std::unique_ptr<TfrmMain> main;
};

} // namespace

TEST(Desktop, TitlesAreTheWindowsOwnAndTheMainOneNamesTheFileAndItsChanges) {
    Window w;
    EXPECT_EQ(w.main->windowTitle(), "Editor de links[*]");
    w.Open();
    EXPECT_EQ(w.main->windowTitle(), QString::fromUtf8("Editor de links \u2014 menu.lnk[*]"));
    EXPECT_FALSE(w.main->isWindowModified());
    ASSERT_TRUE(w.main->SelectNode(w.Node("A\\B")));
    Child<TPalGrid>(Ed(w.main), "StringGrid2")->SetCells(2, 1, "\"2\"");
    Ed(w.main)->StringGrid2SetEditText(2, 1, "\"2\""); // as typed
    EXPECT_TRUE(w.main->isWindowModified());
    w.main->SelectNode(nullptr);
    EXPECT_TRUE(w.main->isWindowModified()); // now an undo step
    ASSERT_TRUE(w.main->SaveFile());
    EXPECT_FALSE(w.main->isWindowModified());
    // The dialogs: their captions exactly.
    EXPECT_EQ(QApplication::applicationDisplayName(), QApplication::applicationName());
    TfrmKeyw keyw;
    EXPECT_EQ(keyw.windowTitle(), "Palavras - Chave");
    ASSERT_TRUE(w.main->SelectNode(w.Node("A\\C")));
    WhenModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Editar Link");
        qobject_cast<TfrmLkEdit*>(dialog)->done(2);
    });
    QTreeWidgetItem* row = Child<TTagListView>(Ed(w.main), "ListView1")->topLevelItem(0);
    row->setText(0, "link");
    Ed(w.main)->NestedEditing();
}

TEST(Desktop, TheLayoutThePersonLeftComesBack) {
    ClearSettings();
    Window w;
    // The first time: the design size.
    EXPECT_EQ(w.main->size(), QSize(644, 457));
    w.main->resize(760, 520);
    QApplication::processEvents();
    Child<QSplitter>(w.main, "Splitter1")->setSizes({300, 457});
    Child<QSplitter>(Ed(w.main), "Splitter3")->setSizes({200, 250});
    const QList<int> tree = Child<QSplitter>(w.main, "Splitter1")->sizes();
    const QList<int> tags = Child<QSplitter>(Ed(w.main), "Splitter3")->sizes();
    w.Close();
    w.Make();
    EXPECT_EQ(w.main->size(), QSize(760, 520));
    EXPECT_EQ(Child<QSplitter>(w.main, "Splitter1")->sizes(), tree);
    EXPECT_EQ(Child<QSplitter>(Ed(w.main), "Splitter3")->sizes(), tags);
    ClearSettings();
}

TEST(Desktop, EveryControlIsReachableAtTheDesignSize) {
    ClearSettings();
    Window w;
    w.Open();
    ASSERT_TRUE(w.main->SelectNode(w.Node("A\\C")));
    QApplication::processEvents();
    EXPECT_GE(w.main->minimumWidth(), 400);
    TfrmLkEdit* e = Ed(w.main);
    // The field panel scrolls sideways to its last field and the "..." button.
    auto* scroll = e->findChild<QScrollArea*>("Panel1Scroll");
    ASSERT_NE(scroll, nullptr);
    EXPECT_LT(scroll->viewport()->width(), TfrmLkEdit::kFieldsWidth);
    EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
    scroll->ensureWidgetVisible(Child<QPushButton>(e, "Button4"));
    QApplication::processEvents();
    const QRect button(Child<QPushButton>(e, "Button4")->mapTo(scroll->viewport(), QPoint(0, 0)),
                       Child<QPushButton>(e, "Button4")->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(button));
    // The grid shows its three columns, the last at least 150 pixels wide,
    // and a click on it scrolls nothing away.
    TPalGrid* grid = Child<TPalGrid>(e, "StringGrid2");
    EXPECT_GE(grid->ColWidths(2), TfrmLkEdit::kLastColumnShown);
    EXPECT_LE(grid->ColWidths(0) + grid->ColWidths(1) + grid->ColWidths(2), grid->ClientArea().width());
    grid->FocusCell(2, 1);
    EXPECT_FALSE(grid->CellRect(0, 1).isEmpty());
    // Wider than the design, the last column fills the grid.
    w.main->resize(1200, 700);
    QApplication::processEvents();
    EXPECT_EQ(grid->ColWidths(0) + grid->ColWidths(1) + grid->ColWidths(2), grid->ClientArea().width());
}

TEST(Desktop, TheFindBarsMessageDoesNotWidenTheTree) {
    ClearSettings();
    Window w;
    w.Open();
    w.main->ShowFindBar();
    QApplication::processEvents();
    const int before = Child<QSplitter>(w.main, "Splitter1")->sizes()[0];
    Child<QLineEdit>(w.main, "FindEdit")->setText("nada disso");
    EXPECT_FALSE(w.main->FindNext(true));
    QApplication::processEvents();
    EXPECT_EQ(Child<QLabel>(w.main, "FindStatus")->text(), QString::fromUtf8("N\u00E3o encontrado"));
    EXPECT_EQ(Child<QSplitter>(w.main, "Splitter1")->sizes()[0], before);
}

TEST(Desktop, TheFirstKeyInAViewWithACurrentButUnselectedRowSelectsIt) {
    Window w;
    w.Open();
    w.main->SelectNode(nullptr);
    const QModelIndex first = w.main->Model()->IndexOf(w.Node("A"));
    w.main->Selection()->setCurrentIndex(first, QItemSelectionModel::NoUpdate); // as after a click on empty space
    ASSERT_EQ(w.main->Selected(), nullptr);
    Child<TLinkTreeView>(w.main, "TreeView1")->setFocus();
    QTest::keyClick(Child<TLinkTreeView>(w.main, "TreeView1"), Qt::Key_Home);
    EXPECT_EQ(w.main->Selected(), w.Node("A"));
    QTest::keyClick(Child<TLinkTreeView>(w.main, "TreeView1"), Qt::Key_Down);
    EXPECT_EQ(w.main->Selected(), w.Node("A\\B"));
}

TEST(Desktop, TheDragShowsTheArrow) {
    const QPixmap arrow = ArrowCursorPixmap();
    ASSERT_FALSE(arrow.isNull());
    const QImage image = arrow.toImage();
    EXPECT_EQ(qAlpha(image.pixel(16, 16)), 255); // its tip on the pointer
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
}

TEST(Desktop, FilesDroppedOrRecentOpenWhateverTheirNamesEncoding) {
    ClearSettings();
    ShownMessages shown;
    Window w;
    const std::string other = w.scratch.Write("outro.lnk", "_currentid=3\r\nZ=link={Z};_id=\"1\";Caption=\"Z\"\r\n");
    // A name in Latin-1, not UTF-8: the file manager hands it percent-encoded.
    const std::string latin1 = w.scratch.Write("n\xE3o.lnk", kFile);
    QMimeData mime;
    mime.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(w.scratch.Path().string()) + "/n%E3o.lnk")});
    // Over the tree, as a file manager's drag comes: the tree keeps its own
    // drags, the window takes files.
    QWidget* over = Child<TLinkTreeView>(w.main, "TreeView1")->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(over, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(over, &drop);
    QTest::qWait(10);
    EXPECT_EQ(w.main->Document().FileName, latin1);
    EXPECT_NE(w.Node("A\\B"), nullptr);
    w.main->OpenFileNamed(other);
    EXPECT_EQ(w.main->RecentFiles(), (std::vector<std::string>{other, latin1}));
    // A recent file that went away leaves the list, with a message.
    std::filesystem::remove(latin1);
    EXPECT_FALSE(w.main->OpenRecent(latin1));
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_NE(shown.texts[0].find("saiu da lista"), std::string::npos);
    EXPECT_EQ(w.main->RecentFiles(), (std::vector<std::string>{other}));
    // At most ten, the newest first.
    for (int i = 0; i < 12; ++i) w.main->OpenFileNamed(w.scratch.Write("f" + std::to_string(i) + ".lnk", kFile));
    const auto recent = w.main->RecentFiles();
    ASSERT_EQ(recent.size(), 10u);
    EXPECT_EQ(std::filesystem::path(recent[0]).filename(), "f11.lnk");
    ClearSettings();
}

TEST(Desktop, QtsOwnTextsSpeakPortuguese) {
    QTranslator* translator = InstallQtTranslations(*QCoreApplication::instance(), QLocale("pt_BR"));
    ASSERT_NE(translator, nullptr) << "Qt's translations are not installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancelar");
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(InstallQtTranslations(*QCoreApplication::instance(), QLocale("xx_YY")), nullptr);
}

TEST(Desktop, EveryControlHasANameForAScreenReader) {
    Window w;
    TfrmLkEdit* e = Ed(w.main);
    const std::pair<QWidget*, const char*> named[] = {
        {Child<QLineEdit>(e, "Edit4"), "ID"},
        {Child<QComboBox>(e, "ComboBox1"), "Tipo"},
        {Child<QLineEdit>(e, "Edit1"), "Etiqueta"},
        {Child<QLineEdit>(e, "Edit2"), "Alvo"},
        {Child<QLineEdit>(e, "Edit3"), "Chaves"},
        {Child<QPushButton>(e, "Button4"), "Palavras - Chave"},
        {Child<QLineEdit>(e, "Edit5"), "Ordem"},
        {Child<QCheckBox>(e, "CheckBox1"), "Oculto"},
        {Child<QCheckBox>(e, "CheckBox2"), "Default Edit"},
        {Child<TTagListView>(e, "ListView1"), "Tags"},
        {Child<QPlainTextEdit>(e, "Memo1"), "Texto do link"},
        {Child<QLineEdit>(w.main, "FindEdit"), "Procurar"},
        {Child<QListWidget>(w.main, "CheckList"), "Problemas do arquivo"}};
    for (const auto& [widget, name] : named)
        EXPECT_EQ(widget->accessibleName(), name) << widget->objectName().toStdString();
    EXPECT_EQ(Child<TPalGrid>(e, "StringGrid2")->accessibleName(), QString::fromUtf8("Par\u00E2metros"));
    EXPECT_EQ(Child<TLinkTreeView>(w.main, "TreeView1")->accessibleName(), QString::fromUtf8("\u00C1rvore de links"));
}

TEST(Desktop, TheProgramOpensAByteNamedFileAndKeepsItsSettingsWhereXdgSays) {
    TTestDir dir("elo-xdg");
    const std::string file = (dir.Path() / "n\xE3o.lnk").string();
    WriteFile(file, kFile);
    QProcess elo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ELO_EXIT_WHEN_IDLE", "1");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir.Path() / "config").string()));
    elo.setProcessEnvironment(env);
    // The name goes to the program as the bytes it is (Qt would hand it on in
    // UTF-8): the shell's printf makes the byte.
    elo.start("/bin/sh", {"-c", "exec \"$0\" \"$(printf '%s/n\\343o.lnk' \"$1\")\" --path 'A\\B'", ELO_BINARY,
                          QString::fromStdString(dir.Path().string())});
    ASSERT_TRUE(elo.waitForStarted());
    if (!elo.waitForFinished(60000)) {
        elo.kill();
        FAIL() << "the program did not come to rest (a message box?)";
    }
    EXPECT_EQ(elo.exitCode(), 0) << elo.readAllStandardError().toStdString();
    const std::string conf = ReadFile(dir.Path() / "config" / "elo" / "elo.conf");
    EXPECT_NE(conf.find("geometry"), std::string::npos);
    EXPECT_NE(conf.find("n\\xe3o.lnk"), std::string::npos) << conf; // opened: a recent file
}
