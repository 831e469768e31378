// The editor's windows on the offscreen platform: a link of 20 tags decoded
// into the link editor and encoded back, a tag of 200 parameters shown in the
// grid, a link of a megabyte shown, a link selected in a tree of a million lines until the editor shows
// it, a folder of 100,000 items deleted and brought back, a node moved among
// 100,000 siblings, and the keyword picker filled from 65,535 entries.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "links/LinksFile.h"
#include "nlxintf/nlxintf.h"
#include "platform/MainThread.h"
#include "support/NlxWriter.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"
#include "ui/TreeModel.h"
#include "ui/keyw.h"

using namespace elo;
namespace fs = std::filesystem;

namespace {

// A control of a window, found by the name the window gives it.
template <typename T = QWidget, typename W> T* Child(const W& window, const char* name) {
    return (&*window)->template findChild<T*>(QString::fromLatin1(name));
}
template <typename W> TfrmLkEdit* Ed(const W& window) {
    return Child<TfrmLkEdit>(window, "frmLkEdit");
}

std::string LinkWithTags(int tags) {
    std::string s = "link={Alvo.Principal&";
    for (int t = 0; t < tags; ++t) {
        if (t) s += ',';
        s += "tag" + std::to_string(t) + "=v" + std::to_string(t) + ";Caption=\"Etiqueta " + std::to_string(t) +
             "\";p=[x=y];q=\"" + std::to_string(t * 7) + "\"";
    }
    return s + "};_id=\"42\";_tag=\"6\";Caption=\"Vinte tags\"";
}

void BM_DecodeAndEncodeTwentyTags(benchmark::State& state) {
    TfrmLkEdit editor(nullptr, true);
    editor.resize(653, 507);
    editor.show();
    const std::string link = LinkWithTags(20);
    for (auto _ : state) {
        editor.DecodeLink(link);
        benchmark::DoNotOptimize(editor.EncodeLink());
    }
}

void BM_ShowTwoHundredParameters(benchmark::State& state) {
    TfrmLkEdit editor(nullptr, true);
    editor.resize(653, 507);
    editor.show();
    std::string tag = "many=1";
    for (int p = 1; p < 200; ++p) tag += ";p" + std::to_string(p) + "=\"" + std::to_string(p) + "\"";
    editor.DecodeLink("link={T&" + tag + "};_id=\"1\"");
    QTreeWidgetItem* row = editor.SelectedRow();
    for (auto _ : state) {
        editor.FillGrid(row);
        Child<TPalGrid>(&editor, "StringGrid2")->repaint();
    }
}

// A link of a megabyte shown in the editor until it is painted: one tag whose
// value is a megabyte of text, or 20,000 tags.
void BM_ShowAMegabyteLink(benchmark::State& state) {
    TfrmLkEdit editor(nullptr, true);
    editor.resize(653, 507);
    editor.show();
    const bool manyTags = state.range(0) != 0;
    const std::string link = manyTags
                                 ? LinkWithTags(20000)
                                 : "link={T&texto=\"" + std::string(1 << 20, 'x') + "\"};_id=\"1\";Caption=\"Grande\"";
    const std::string small = "link={U&p=1};_id=\"2\"";
    for (auto _ : state) {
        editor.DecodeLink(link);
        editor.repaint();
        QApplication::processEvents();
        state.PauseTiming();
        editor.DecodeLink(small);
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(link.size());
}

// A main window with a document of a million link items, or of one folder
// of 100,000 items.
struct BigWindow {
    explicit BigWindow(bool wide) {
        window = std::make_unique<TfrmMain>();
        window->show();
        std::string text = "_currentid=1000001\r\n";
        text.reserve(wide ? 8000000 : 120000000);
        const int folders = wide ? 1 : 1000, items = wide ? 100000 : 1000;
        int id = 1;
        for (int f = 0; f < folders; ++f)
            for (int i = 0; i < items; ++i, ++id)
                text += "Menu\\Pasta " + std::to_string(f) + "\\Item " + std::to_string(id) + "=link={A.B" +
                        std::to_string(i) + "&pointer=\"p\"};_id=\"" + std::to_string(id) + "\";Caption=\"Item " +
                        std::to_string(id) + "\"\r\n";
        window->Document().LoadLinksText(text);
        // Open as a person opens them: the top folder and its first folders.
        // (expandAll would give every row a persistent index of Qt's.)
        const QModelIndex top = window->Model()->index(0, 0);
        Child<TLinkTreeView>(window, "TreeView1")->expand(top);
        for (int f = 0; f < 3; ++f)
            Child<TLinkTreeView>(window, "TreeView1")->expand(window->Model()->index(f, 0, top));
        QApplication::processEvents();
    }
    TTreeNode* Folder(int f) const { return window->Document().Tree.Root(0)->Item(f); }
    std::unique_ptr<TfrmMain> window;
};

void BM_SelectALinkInAMillionLineTree(benchmark::State& state) {
    BigWindow big(false);
    TTreeNode* a = big.Folder(500)->Item(10);
    TTreeNode* b = big.Folder(501)->Item(20);
    bool flip = false;
    for (auto _ : state) {
        big.window->SelectNode((flip = !flip) ? a : b);
        QApplication::processEvents(); // until the editor shows it
        if (!Ed(big.window)->isVisible()) state.SkipWithError("the editor is not shown");
    }
}

// One step of the find bar through the whole million-line tree: the one
// match sits at its end, in a folder not yet opened.
void BM_FindAcrossAMillionLineTree(benchmark::State& state) {
    BigWindow big(false);
    const bool inLinks = state.range(0) != 0;
    big.window->ShowFindBar();
    Child<QCheckBox>(big.window, "FindInLinks")->setChecked(inLinks);
    Child<QLineEdit>(big.window, "FindEdit")
        ->setText(inLinks ? QStringLiteral("_id=\"999999\"") : QStringLiteral("item 999999"));
    for (auto _ : state) {
        state.PauseTiming();
        big.window->SelectNode(big.window->Document().Tree.Root(0));
        Child<TLinkTreeView>(big.window, "TreeView1")->collapse(big.window->Model()->IndexOf(big.Folder(999)));
        QApplication::processEvents();
        state.ResumeTiming();
        if (!big.window->FindNext(true)) state.SkipWithError("not found");
        QApplication::processEvents(); // until the editor shows it
    }
}

void BM_DeleteAFolderOfAHundredThousandItems(benchmark::State& state) {
    BigWindow big(true);
    for (auto _ : state) {
        big.window->SelectNode(big.Folder(0));
        big.window->DeleteSelected();
        QApplication::processEvents();
        state.PauseTiming();
        big.window->UndoStack().undo();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_UndoDeletingAFolderOfAHundredThousandItems(benchmark::State& state) {
    BigWindow big(true);
    for (auto _ : state) {
        state.PauseTiming();
        big.window->SelectNode(big.Folder(0));
        big.window->DeleteSelected();
        QApplication::processEvents();
        state.ResumeTiming();
        big.window->UndoStack().undo();
        QApplication::processEvents();
    }
}

void BM_MoveANodeAmongAHundredThousandSiblings(benchmark::State& state) {
    BigWindow big(true);
    TTreeNode* folder = big.Folder(0);
    TTreeNode* node = folder->Item(50000);
    big.window->SelectNode(node);
    for (auto _ : state) {
        // Dropped on the first sibling's upper half, then back by undo.
        Child<TLinkTreeView>(big.window, "TreeView1")->scrollToTop();
        QApplication::processEvents();
        const QRect first =
            Child<TLinkTreeView>(big.window, "TreeView1")->visualRect(big.window->Model()->IndexOf(folder->Item(0)));
        big.window->TreeView1DragDrop(first.center().x(), first.top() + 1);
        QApplication::processEvents();
        if (folder->Item(0) != node) state.SkipWithError("nothing moved");
        state.PauseTiming();
        big.window->UndoStack().undo();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_FillTheKeywordListFrom65535Entries(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / ("elo-bench-keyw-" + std::to_string(getpid()));
    fs::create_directories(dir);
    test::NlxLibrarySpec plan;
    for (int i = 0; i < 65535; ++i)
        plan.Entries.push_back(
            test::SimpleEntry("Area" + std::to_string(i % 17), "nome" + std::to_string(i), i % 2 ? 10 : 3, 0));
    const std::string path = (dir / "big.nlx").string();
    std::ofstream(path, std::ios::binary) << test::WriteNlx(plan);
    NlxInterfacesStartup();
    TfrmKeyw keyw;
    Child<QLineEdit>(&keyw, "Edit1")->setText(QString::fromStdString(path));
    const bool fresh = state.range(0) != 0;
    for (auto _ : state) {
        if (fresh) {
            // The library is opened anew: its directory is read as well.
            state.PauseTiming();
            NlxInterfacesShutdown();
            NlxInterfacesStartup();
            state.ResumeTiming();
        }
        keyw.Button1Click();
        if (Child<QListWidget>(&keyw, "ListBox1")->count() != 32767)
            state.SkipWithError("not every kind-10 entry was listed");
    }
    NlxInterfacesShutdown();
    fs::remove_all(dir);
}

} // namespace

BENCHMARK(BM_DecodeAndEncodeTwentyTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowTwoHundredParameters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowAMegabyteLink)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SelectALinkInAMillionLineTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAcrossAMillionLineTree)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteAFolderOfAHundredThousandItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoDeletingAFolderOfAHundredThousandItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveANodeAmongAHundredThousandSiblings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillTheKeywordListFrom65535Entries)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetMainThread();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
