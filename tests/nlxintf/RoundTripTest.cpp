// Libraries written for every format version read back field for field.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "nlxintf/nlxintf.h"
#include "platform/DebugOutput.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

// A library file in a directory of the test's own.
struct LibraryFile {
    explicit LibraryFile(const std::string& bytes, const std::string& name = "LIB")
        : scratch("elo-nlx"), path(scratch.Write(name + ".nlx", bytes)) {}
    TTestDir scratch;
    std::string path;
};

NlxEntrySpec RichEntry() {
    NlxEntrySpec e;
    e.DirName = "Pfx.Rich";
    e.DirKind = 10;
    e.OldFullName = "Old.Name";
    e.NamePrefix = "Pfx";
    e.NamePart = "Rich";
    e.LongText = "a long text";
    e.Text1 = "text one";
    e.Word0 = 77;
    e.Word1 = 501;
    e.Kind = 10;
    e.Byte1 = 7;
    e.Byte2 = 8;
    e.HeaderOmitFlag = 0;
    e.Text2 = "text two";
    e.Byte3 = 9;
    e.Groups = {{"G0", -5, 3, 0, 4, "g0t1", "g0t2"}, {"G1", 6, 5, 1, 6, "g1t1", "g1t2"}};
    NlxSymbolSpec s;
    s.Name = "Sym";
    s.Byte1 = 11;
    s.Word1 = 1200;
    s.Flags = 0x21;
    s.Byte2 = 12;
    s.Text1 = "t1";
    s.GroupName = "G0";
    s.GroupIndex = 0;
    s.Text2 = "t2";
    s.Text3 = "t3";
    s.Text4 = "t4";
    s.Text5 = "t5";
    s.Text6 = "t6";
    s.Reference = "A.B";
    s.Word2 = 200;
    s.Text7 = "t7";
    s.Text8 = "t8";
    s.Byte3 = 13;
    s.Text9 = "t9";
    s.Text10 = "t10";
    s.Text11 = "t11";
    s.Text12 = "t12";
    s.Byte4 = 14;
    s.Text13 = "t13";
    s.Byte5 = 15;
    e.Table0 = {s};
    s.Name = "Sym1";
    s.GroupIndex = 1;
    s.GroupName = "G1";
    s.Reference = "";
    e.Table1 = {s};
    return e;
}

} // namespace

class EveryVersion : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(EveryVersion, ReadsBackWhatWasWritten) {
    const auto [v, compress] = GetParam();
    NlxLibrarySpec plan;
    plan.Version = v;
    plan.Compress = compress;
    plan.Entries = {RichEntry(), SimpleEntry("Other", "E", 3, 2)};
    plan.FileOrder = {1, 0}; // data areas in another order than the directory
    LibraryFile file(WriteNlx(plan));
    LibraryWaits = {0, 0, 0};
    TNLXInterfaceItem library(false);
    library.Open(file.path);
    EXPECT_EQ(library.FormatVersion, v);
    ASSERT_EQ(library.EntryCount, 2);
    TNLXInterface& e = *library.EntryAt(1); // OTHER.E sorts first
    EXPECT_EQ(e.FullName, "Pfx.Rich");
    EXPECT_EQ(e.Kind, v >= 3 ? 10 : 0);
    EXPECT_FALSE(e.HeaderLoaded);

    library.Lock();
    e.EnsureHeader();
    library.Unlock();
    EXPECT_TRUE(e.HeaderLoaded);
    EXPECT_EQ(e.Name(), "Rich");
    EXPECT_EQ(e.FullName, "Pfx.Rich");
    EXPECT_EQ(e.Text1, "text one");
    EXPECT_EQ(e.LongText, ""); // long texts are skipped
    EXPECT_EQ(e.SymbolCount0, 1);
    EXPECT_EQ(e.Word0, v < 9 ? 77 : 0);
    EXPECT_EQ(e.Word1, v >= 6 ? 501 : 0);
    EXPECT_EQ(e.Byte1, v >= 7 ? 7 : 1);
    EXPECT_EQ(e.Byte2, v >= 10 ? 8 : 0);
    EXPECT_EQ(e.Text2, v >= 20 ? "text two" : "");
    EXPECT_EQ(e.Byte3, v >= 21 ? 9 : 1);

    TNLXCustomSymbolDefs& t0 = *e.Defs0();
    TNLXCustomSymbolDefs& t1 = *e.Defs1();
    ASSERT_EQ(t0.Count(), 1);
    ASSERT_EQ(t1.Count(), 1);
    EXPECT_EQ(e.SymbolCount1, 1);
    EXPECT_TRUE(e.SymbolsLoaded);
    EXPECT_TRUE(e.InMemory);
    EXPECT_TRUE(e.Modified);
    const TNLXSymbolDef& s = *t0.Items(0);
    EXPECT_EQ(s.Name, "Sym");
    EXPECT_FALSE(s.IsNew);
    EXPECT_EQ(s.Byte1, 11);
    EXPECT_EQ(s.Word1, 1200);
    EXPECT_EQ(s.Flags, 0x21);
    EXPECT_EQ(s.Byte2, 12);
    EXPECT_EQ(s.Text1, "t1");
    EXPECT_EQ(s.GroupName, v >= 3 && v <= 8 ? "G0" : "");
    EXPECT_EQ(s.Text2, v >= 3 ? "t2" : "");
    EXPECT_EQ(s.Text6, v >= 3 ? "t6" : "");
    EXPECT_EQ(s.Reference, v >= 3 ? "LIB.A.B" : "");
    EXPECT_EQ(s.Word2, v >= 21 ? 200 : (v >= 4 ? 200 : 0));
    EXPECT_EQ(s.Text8, v >= 5 ? "t8" : "");
    EXPECT_EQ(s.Byte3, v >= 5 ? 13 : 0);
    EXPECT_EQ(s.Text10, v >= 12 ? "t10" : "");
    EXPECT_EQ(s.Text12, v >= 18 ? "t12" : "");
    EXPECT_EQ(s.Byte4, v >= 19 ? 14 : 0);
    EXPECT_EQ(s.Text13, v >= 22 ? "t13" : "");
    EXPECT_EQ(s.Byte5, v >= 23 ? 15 : 0);
    EXPECT_EQ(t0.QualifiedName, "LIB.Pfx.Rich");
    EXPECT_EQ(t0.LibraryName, "LIB");
    EXPECT_EQ(t0.TableIndex, 0);
    EXPECT_EQ(t1.TableIndex, 1);

    // Groups: read from version 9, into their own tables from 13; before 14
    // every table is regrouped by name.
    ASSERT_NE(s.Group, nullptr);
    EXPECT_TRUE(s.Group == t0.GroupsAt(0)); // a member of its own table
    if (v >= 14) {
        EXPECT_EQ(s.Group->Name, "G0");
        EXPECT_EQ(s.Group->Word1, -5);
        EXPECT_EQ(s.Group->Byte2, v >= 25 ? 4 : 0);
        EXPECT_EQ(s.Group->Text2, v >= 25 ? "g0t2" : "");
        EXPECT_FALSE(s.Group->Generated);
        EXPECT_EQ(t1.Items(0)->Group->Name, "G1");
    } else if (v >= 13) {
        EXPECT_EQ(s.Group->Name, "G0"); // found again by name in its table
        EXPECT_FALSE(s.Group->Generated);
    } else if (v >= 9) {
        // Before 13 every group lies in table 1: table 0 gets a generated one.
        EXPECT_EQ(s.Group->Name, "G0");
        EXPECT_TRUE(s.Group->Generated);
        EXPECT_EQ(t1.GroupCount(), 1); // G0 had no symbol in table 1: dropped
    } else {
        EXPECT_EQ(s.Group->Name, "");
        EXPECT_TRUE(s.Group->Generated);
    }
    EXPECT_EQ(e.GroupCount, t0.GroupCount() + t1.GroupCount());
}

INSTANTIATE_TEST_SUITE_P(Nlx, EveryVersion,
                         // From version 13 entries are always compressed sections.
                         ::testing::Combine(::testing::Range(1, 26), ::testing::Values(true)),
                         [](const auto& info) { return "v" + std::to_string(std::get<0>(info.param)); });

TEST(NlxVersions, NotNullInVersion3Only) {
    for (int v : {3, 4}) {
        NlxLibrarySpec plan;
        plan.Version = v;
        NlxEntrySpec e = SimpleEntry("P", "E", 1, 0);
        NlxSymbolSpec a, b;
        a.Name = "a";
        a.Text1 = "NOT NULL";
        b.Name = "b";
        b.Text1 = "not null";
        e.Table0 = {a, b};
        plan.Entries = {e};
        LibraryFile file(WriteNlx(plan));
        TNLXInterfaceItem library(false);
        library.Open(file.path);
        TNLXCustomSymbolDefs& t = *library.EntryAt(0)->Defs0();
        EXPECT_EQ(t.Items(0)->Text1, v == 3 ? "" : "NOT NULL");
        EXPECT_EQ(t.Items(0)->Flags, v == 3 ? 0x10 : 0);
        EXPECT_EQ(t.Items(1)->Text1, "not null");
    }
}

TEST(NlxVersions, GroupsOfTheSameNameBeforeVersion15) {
    for (int v : {13, 15}) {
        NlxLibrarySpec plan;
        plan.Version = v;
        NlxEntrySpec e = SimpleEntry("P", "E", 1, 1);
        e.Groups = {{"Same", 1, 0, 0, 0, "", ""}, {"SAME", 2, 0, 0, 0, "", ""}};
        plan.Entries = {e};
        LibraryFile file(WriteNlx(plan));
        TNLXInterfaceItem library(false);
        library.Open(file.path);
        TNLXCustomSymbolDefs& t = *library.EntryAt(0)->Defs0();
        EXPECT_EQ(t.GroupCount(), v == 13 ? 1 : 2) << v;
    }
}

TEST(NlxVersions, OutOfRangeGroupIndexGoesToTheDebugOutput) {
    NlxLibrarySpec plan;
    NlxEntrySpec e = SimpleEntry("P", "E", 1, 2);
    e.Table0[1].GroupIndex = 9;
    plan.Entries = {e};
    LibraryFile file(WriteNlx(plan));
    std::string seen;
    auto previous = SetDebugOutputHook([&](std::string_view t) { seen += std::string(t); });
    TNLXInterfaceItem library(false);
    library.Open(file.path);
    TNLXCustomSymbolDefs& t = *library.EntryAt(0)->Defs0();
    SetDebugOutputHook(previous);
    EXPECT_EQ(seen, "IIIGGGGGG!!!");
    EXPECT_EQ(t.Items(1)->Group, nullptr);
    EXPECT_NE(t.Items(0)->Group, nullptr);
}

// Symbols whose group index points at a group of the other table: the index
// list is shared by both tables. Before version 14 the tables are regrouped by
// name, and a symbol must never be left holding a group the other table freed.
TEST(NlxVersions, SymbolsPointingAtGroupsOfTheOtherTable) {
    for (int v = 9; v <= 25; ++v) {
        SCOPED_TRACE("version " + std::to_string(v));
        NlxLibrarySpec plan;
        plan.Version = v;
        NlxEntrySpec e = SimpleEntry("P", "E", 1, 0);
        e.Groups = {{"G0", 0, 0, 0, 0, "", ""},
                    {"G1", 0, 0, 1, 0, "", ""},
                    {"GX", 0, 0, 0, 0, "", ""},
                    {"GY", 0, 0, 1, 0, "", ""}};
        NlxSymbolSpec a, b, c, d;
        a.Name = "a", a.GroupIndex = 0; // G0, its own table's (from 13)
        b.Name = "b", b.GroupIndex = 3; // GY, a group of table 1
        c.Name = "c", c.GroupIndex = 1; // G1
        d.Name = "d", d.GroupIndex = 2; // GX, a group of table 0
        e.Table0 = {a, b};
        e.Table1 = {c, d};
        plan.Entries = {e};
        LibraryFile file(WriteNlx(plan));
        TNLXInterfaceItem library(false);
        library.Open(file.path);
        TNLXInterface& entry = *library.EntryAt(0);
        TNLXCustomSymbolDefs& t0 = *entry.Defs0();
        TNLXCustomSymbolDefs& t1 = *entry.Defs1();
        auto groupNames = [](const TNLXCustomSymbolDefs& t) {
            std::string s;
            for (int g = 0; g < t.GroupCount(); ++g) s += t.GroupsAt(g)->Name + (t.GroupsAt(g)->Generated ? "* " : " ");
            return s;
        };
        auto owns = [](const TNLXCustomSymbolDefs& t, const TNLXGroupDef* g) {
            for (int i = 0; i < t.GroupCount(); ++i)
                if (t.GroupsAt(i) == g) return true;
            return false;
        };
        const std::string names[4] = {"G0", "GY", "G1", "GX"};
        const TNLXSymbolDef* symbols[4] = {t0.Items(0), t0.Items(1), t1.Items(0), t1.Items(1)};
        for (int i = 0; i < 4; ++i) {
            ASSERT_NE(symbols[i]->Group, nullptr);
            EXPECT_EQ(symbols[i]->Group->Name, names[i]);
        }
        if (v >= 14) { // no regrouping: the groups as read, wherever they live
            EXPECT_EQ(groupNames(t0), "G0 GX ");
            EXPECT_EQ(groupNames(t1), "G1 GY ");
            EXPECT_TRUE(owns(t1, symbols[1]->Group));
            EXPECT_TRUE(owns(t0, symbols[3]->Group));
        } else {
            // Regrouped: every symbol holds a group of its own table.
            for (int i = 0; i < 4; ++i) EXPECT_TRUE(owns(i < 2 ? t0 : t1, symbols[i]->Group)) << i;
            if (v == 13) {
                EXPECT_EQ(groupNames(t0), "G0 GY* ");
                EXPECT_EQ(groupNames(t1), "G1 GX* ");
            } else { // every group was read into table 1
                EXPECT_EQ(groupNames(t0), "G0* GY* ");
                EXPECT_EQ(groupNames(t1), "G1 GX ");
            }
        }
        EXPECT_EQ(entry.GroupCount, t0.GroupCount() + t1.GroupCount());
    }
}
