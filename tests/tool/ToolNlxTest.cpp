// The interface-library verbs of the batch tool.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ToolRun.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using nlohmann::json;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

using elo::test::Tool;

class ToolNlx : public ::testing::Test {
protected:
    void SetUp() override {
        NlxLibrarySpec plan;
        NlxEntrySpec b = SimpleEntry("B", "Y", 10, 2);
        b.Table1 = b.Table0;
        b.Table0[0].Reference = "Tab.Field";
        plan.Entries = {b, SimpleEntry("A", "X", 3, 1)};
        lib = (dir / "Lib.nlx").string();
        std::ofstream(lib, std::ios::binary) << WriteNlx(plan);
    }
    TTestDir scratch{"elo-toolnlx"};
    fs::path dir = scratch.Path();
    std::string lib;
};

} // namespace

TEST_F(ToolNlx, ListShowsTheDirectoryInSortedOrder) {
    auto r = Tool({"nlx", "list", lib});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.doc["path"], lib);
    EXPECT_EQ(r.doc["formatVersion"], 25);
    ASSERT_EQ(r.doc["entries"].size(), 2u);
    EXPECT_EQ(r.doc["entries"][0]["fullName"], "A.X");
    EXPECT_EQ(r.doc["entries"][0]["listIndex"], 1);
    EXPECT_EQ(r.doc["entries"][1]["kind"], 10);
    EXPECT_EQ(r.doc["entries"][1]["omitFlag"], 0);
    EXPECT_GT(r.doc["entries"][1]["dataOffset"], 0);
}

TEST_F(ToolNlx, ShowLoadsOneEntryByNameOrIndex) {
    auto byName = Tool({"nlx", "show", lib, "b.y"});
    ASSERT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_EQ(byName.doc["fullName"], "B.Y");
    EXPECT_EQ(byName.doc["name"], "Y");
    EXPECT_EQ(byName.doc["symbolCount0"], 2);
    EXPECT_EQ(byName.doc["symbolCount1"], 2);
    const json& t0 = byName.doc["tables"][0];
    EXPECT_EQ(t0["qualifiedName"], "Lib.B.Y");
    EXPECT_EQ(t0["libraryName"], "Lib");
    EXPECT_EQ(t0["symbols"][0]["reference"], "Lib.Tab.Field");
    EXPECT_EQ(t0["symbols"][0]["group"], "Main");
    EXPECT_EQ(t0["groups"][0]["generated"], false);
    // Table 1's symbols point at group 0, which lies in table 0: no regrouping
    // from version 14, so the group is named although it is another table's.
    EXPECT_EQ(byName.doc["tables"][1]["symbols"].size(), 2u);
    auto byIndex = Tool({"nlx", "show", lib, "0"});
    EXPECT_EQ(byIndex.doc["fullName"], "A.X");
    EXPECT_EQ(Tool({"nlx", "show", lib, "7"}).exitCode, 1);
    EXPECT_EQ(Tool({"nlx", "show", lib, "No.Such"}).exitCode, 1);
}

TEST_F(ToolNlx, MissingLibrariesFailAtOnceUnlessAskedToWait) {
    const std::string none = (dir / "none.nlx").string();
    const auto start = std::chrono::steady_clock::now();
    auto r = Tool({"nlx", "list", none});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.doc["error"], "N\xC3\xA3o foi poss\xC3\xADvel abrir " + none);

    std::string bytes = WriteNlx(NlxLibrarySpec{});
    bytes[bytes.size() - 1] = 0x7F; // a directory offset far outside the file
    const std::string bad = (dir / "bad.nlx").string();
    std::ofstream(bad, std::ios::binary) << bytes;
    EXPECT_EQ(Tool({"nlx", "list", bad}).exitCode, 1);
}

TEST_F(ToolNlx, ExpandWritesTheSectionsBytes) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += "record " + std::to_string(i % 17) + ";";
    const std::string in = (dir / "section.bin").string();
    const std::string out = (dir / "expanded.bin").string();
    std::ofstream(in, std::ios::binary) << CompressSection(data) << "trailing bytes";
    auto r = Tool({"nlx", "expand", in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.doc["expanded"], data.size());
    std::ifstream back(out, std::ios::binary);
    std::stringstream ss;
    ss << back.rdbuf();
    EXPECT_EQ(ss.str(), data);
}

TEST_F(ToolNlx, KeywordsListsTheKind10NamesInTheRegistrysOrder) {
    NlxLibrarySpec plan;
    plan.Entries = {SimpleEntry("Z", "alpha", 10), SimpleEntry("A", "zeta", 10), SimpleEntry("M", "table", 3),
                    SimpleEntry("B", "zeta", 10)};
    const std::string path = (dir / "Kw.nlx").string();
    std::ofstream(path, std::ios::binary) << WriteNlx(plan);
    auto r = Tool({"nlx", "keywords", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // By full name: A.zeta, B.zeta, M.table (kind 3, left out), Z.alpha.
    EXPECT_EQ(r.doc["keywords"], (json{"zeta", "zeta", "alpha"}));
    EXPECT_EQ(Tool({"nlx", "keywords", (dir / "none.nlx").string()}).exitCode, 1);
}
