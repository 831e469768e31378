// The keyword picker with libraries written for the test: listing kind-10
// entries in the registry's order, searching, the editor's "..." round trip,
// and a library that does not come.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <memory>

#include "UiFixture.h"
#include "nlxintf/nlxintf.h"
#include "qtedge/QtText.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"
#include "ui/LkEdit.h"
#include "ui/Main.h"
#include "ui/keyw.h"

using namespace elo;
using namespace elo::test;

namespace {

struct Picker {
    Picker() : scratch("elo-keyw") {
        NlxInterfacesStartup();
        LibraryWaits = {0, 0, 0};
        keyw = std::make_unique<TfrmKeyw>();
        frmKeyw = keyw.get();
    }
    ~Picker() {
        frmKeyw = nullptr;
        keyw.reset();
        NlxInterfacesShutdown();
        LibraryWaits = {};
    }
    std::string Library(const std::string& name, std::vector<NlxEntrySpec> entries) {
        NlxLibrarySpec plan;
        plan.Entries = std::move(entries);
        return scratch.Write(name, WriteNlx(plan));
    }
    std::vector<std::string> Listed() const {
        std::vector<std::string> names;
        for (int i = 0; i < Child<QListWidget>(keyw, "ListBox1")->count(); ++i)
            names.push_back(FromQString(Child<QListWidget>(keyw, "ListBox1")->item(i)->text()));
        return names;
    }
    void Obter(const std::string& library) {
        Child<QLineEdit>(keyw, "Edit1")->setText(ToQString(library));
        Child<QPushButton>(keyw, "Button1")->click();
    }
    TTestDir scratch;
    std::unique_ptr<TfrmKeyw> keyw;
};

} // namespace

TEST(KeywordPicker, ListsKindTenEntriesInTheRegistrysOrder) {
    Picker p;
    EXPECT_EQ(p.keyw->windowTitle(), "Palavras - Chave");
    EXPECT_EQ(p.keyw->size(), QSize(260, 187));
    const std::string lib =
        p.Library("kw.nlx", {SimpleEntry("B", "alfa", 10), SimpleEntry("A", "zeta", 10), SimpleEntry("A", "outro", 3),
                             SimpleEntry("C", "alfa", 10), SimpleEntry("C", "beta", 7)});
    p.Obter(lib);
    // Full names in order: A.ZETA, B.ALFA, C.ALFA (kinds 3 and 7 left out).
    EXPECT_EQ(p.Listed(), (std::vector<std::string>{"zeta", "alfa", "alfa"}));
    const std::string none = p.Library("none.nlx", {SimpleEntry("A", "x", 3)});
    p.Obter(none);
    EXPECT_TRUE(p.Listed().empty());
}

TEST(KeywordPicker, SearchStartsAtTheSecondEntry) {
    Picker p;
    p.Obter(p.Library("kw.nlx", {SimpleEntry("A", "cadastro", 10), SimpleEntry("B", "consulta", 10),
                                 SimpleEntry("C", "Cadastro geral", 10), SimpleEntry("D", "vendas", 10)}));
    Child<QLineEdit>(p.keyw, "Edit2")->setText("CAD");
    EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 2); // the later of the two
    Child<QLineEdit>(p.keyw, "Edit2")->setText("cadastro");
    EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 2);
    Child<QLineEdit>(p.keyw, "Edit2")->setText("vx");
    EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 2); // not found: the selection stays
    Child<QLineEdit>(p.keyw, "Edit2")->setText("cadastro ");
    EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 2);
    Child<QLineEdit>(p.keyw, "Edit2")->setText("");
    EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 2); // an empty text selects nothing new
    Child<QLineEdit>(p.keyw, "Edit2")->setText("v");
    EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 3);
}

TEST(KeywordPicker, TheEditorsButtonWritesTheKeywordIntoTheSavedLink) {
    Picker p;
    p.Obter(p.Library("kw.nlx", {SimpleEntry("A", "compras", 10), SimpleEntry("B", "vendas", 10)}));
    TfrmMain main;
    main.show();
    const std::string file = p.scratch.Write("menu.lnk", "_currentid=3\r\nM=link={T};_id=\"1\";_keyw=\"ven\"\r\n");
    main.OpenFileNamed(file);
    main.SelectNode(main.Document().Tree.Root(0));
    ASSERT_TRUE(Ed(&main)->isVisible());
    // OK without a selection leaves the keywords.
    Child<QListWidget>(p.keyw, "ListBox1")->clearSelection();
    Child<QListWidget>(p.keyw, "ListBox1")->setCurrentRow(-1);
    WhenModal([&](QWidget* dialog) {
        EXPECT_EQ(dialog, p.keyw.get());
        EXPECT_EQ(Child<QLineEdit>(p.keyw, "Edit2")->text(), "ven");
        EXPECT_EQ(Child<QListWidget>(p.keyw, "ListBox1")->currentRow(), 1); // preselected by the search
        Child<QListWidget>(p.keyw, "ListBox1")->clearSelection();
        Child<QPushButton>(p.keyw, "Button2")->click();
    });
    Child<QPushButton>(Ed(&main), "Button4")->click();
    EXPECT_EQ(Child<QLineEdit>(Ed(&main), "Edit3")->text(), "ven");
    // OK with the entry the search found: the link takes it as its keywords.
    WhenModal([&](QWidget*) { Child<QPushButton>(p.keyw, "Button2")->click(); });
    Child<QPushButton>(Ed(&main), "Button4")->click();
    EXPECT_EQ(Child<QLineEdit>(Ed(&main), "Edit3")->text(), "vendas");
    main.SaveFile();
    EXPECT_EQ(ReadFile(file), "_currentid=3\r\nM=link={T};_id=\"1\";_keyw=\"vendas\";Caption=\"M\"\r\n");
}

TEST(KeywordPicker, AMissingLibraryShowsTheErrorAndKeepsTheList) {
    Picker p;
    p.Obter(p.Library("kw.nlx", {SimpleEntry("A", "compras", 10)}));
    LibraryWaits = {200, 200, 20}; // the product's 10 s and 30 s, shortened
    ShownMessages shown;
    const std::string missing = (p.scratch.Path() / "nada.nlx").string();
    QElapsedTimer clock;
    clock.start();
    p.Obter(missing);
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"N\xE3o foi poss\xEDvel abrir " + missing}));
    EXPECT_EQ(p.Listed(), (std::vector<std::string>{"compras"}));
}

TEST(KeywordPicker, ALongWaitCanBeCancelled) {
    Picker p;
    LibraryWaits = {30000, 30000, 50};
    ShownMessages shown;
    const std::string missing = (p.scratch.Path() / "nada.nlx").string();
    bool dialogSeen = false;
    // After about a second the progress dialog is up; "Cancelar" ends the wait.
    std::function<void()> look = [&] {
        if (auto* wait = p.keyw->findChild<QProgressDialog*>("WaitDialog"); wait && wait->isVisible()) {
            dialogSeen = true;
            EXPECT_NE(wait->labelText().indexOf("nada.nlx"), -1);
            wait->cancel();
            return;
        }
        QTimer::singleShot(100, look);
    };
    QTimer::singleShot(100, look);
    QElapsedTimer clock;
    clock.start();
    p.Obter(missing);
    EXPECT_TRUE(dialogSeen);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"N\xE3o foi poss\xEDvel abrir " + missing}));
}
