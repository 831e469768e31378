// The links verbs of the batch tool.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ToolRun.h"
#include "support/TestFiles.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

using elo::test::Tool;

class ToolFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) { return scratch.Write(name, bytes); }
    std::string Read(const std::string& path) { return elo::test::ReadFile(path); }
    elo::test::TTestDir scratch{"elo-tool"};
    fs::path dir = scratch.Path();
};

} // namespace

TEST(ToolLinks, DecodeFillsOneRecordAcrossTexts) {
    auto r = Tool({"decode", "--next-id", "5", "link={T&pointer=\"p\"};_tag=\"6\";Caption=\"Cl\xC3\xADnica\"", ""});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json& rec = r.doc["record"];
    EXPECT_EQ(rec["rawText"], "");
    EXPECT_EQ(rec["target"], "");
    EXPECT_EQ(rec["tags"], json::array());
    EXPECT_EQ(rec["id"], "6");                   // both texts drew an identifier
    EXPECT_EQ(rec["typeIndex"], 5);              // kept from the first text
    EXPECT_EQ(rec["caption"], "Cl\xC3\xADnica"); // kept too
    EXPECT_EQ(r.doc["nextId"], 7);

    auto bad = Tool({"decode", "link={T};_id=\"1\";Caption=\"c\"", "link={U};_tag=\"x?\""});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.doc["error"], "'x?' is not a valid integer value");
    EXPECT_EQ(bad.doc["record"]["target"], "T");
    EXPECT_EQ(bad.doc["record"]["rawText"], "link={U};_tag=\"x?\"");
    EXPECT_EQ(bad.doc["nextId"], 0);
}

TEST(ToolLinks, EncodeTagsParamsAndTagtext) {
    auto e = Tool({"encode", R"({"target":"T","tags":[{"name":"p","label":"","text":"p=\"1\""}],"id":"3",)"
                             R"("typeIndex":2,"hidden":true,"caption":"\u00c9","rawText":"ignored"})"});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_EQ(e.doc["link"], "link={T&p=\"1\"};_id=\"3\";_tag=\"3\";_hidden=\"TRUE\";Caption=\"\xC3\x89\"");
    EXPECT_EQ(Tool({"encode", "{}"}).doc["link"], "link={};_id=\"\"");
    EXPECT_EQ(Tool({"encode", "{\"typeIndex\":9}"}).exitCode, 1);
    EXPECT_EQ(Tool({"encode", "not json"}).exitCode, 1);

    auto t = Tool({"tags", "pointer='p';Caption=\"C\",link={U}"});
    ASSERT_EQ(t.exitCode, 0);
    EXPECT_EQ(t.doc["tags"][0], (json{{"name", "pointer"},
                                      {"label", "C"},
                                      {"text", "pointer=\"p\";Caption=\"C\""},
                                      {"parameters",
                                       {{{"var", "0"}, {"name", "pointer"}, {"source", "\"p\""}},
                                        {{"var", "0"}, {"name", "Caption"}, {"source", "\"C\""}}}}}));
    EXPECT_EQ(t.doc["tags"][1]["parameters"][0]["source"], "{U}");

    auto p = Tool({"params", "p=[v=w];q=x"});
    EXPECT_EQ(p.doc["parameters"],
              (json{{{"var", "1"}, {"name", "p"}, {"source", "v"}}, {{"var", "1"}, {"name", "q"}, {"source", "x"}}}));
    EXPECT_EQ(Tool({"params", "a=1;"}).exitCode, 1);

    auto tt = Tool({"tagtext", R"([{"var":"1","name":"p","source":"v"},{"name":"q","source":"\"a\""}])"});
    EXPECT_EQ(tt.doc["text"], "p=v;q=\"a\"");
    EXPECT_EQ(Tool({"tagtext", "[]"}).doc["text"], "");
    EXPECT_EQ(Tool({"tagtext", "{}"}).exitCode, 1);
}

TEST_F(ToolFiles, TreeReadsAsOpenDoes) {
    const std::string raw = Write("raw.lnk", "A\\B=T&p=1\r\nA\\C=U\r\n");
    auto r = Tool({"tree", "--current-id=10", raw});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.doc["currentId"], 12);
    EXPECT_EQ(r.doc["nodes"], json::parse(R"([{"text":"A","image":0,"children":[
        {"text":"B","image":1,"link":"link={T&p=\"1\"};_id=\"10\"","children":[]},
        {"text":"C","image":1,"link":"link={U};_id=\"11\"","children":[]}]}])"));

    const std::string broken = Write("broken.lnk", "A=T\r\nB=T&p=1;\r\nC=T\r\n");
    auto b = Tool({"tree", broken});
    EXPECT_EQ(b.exitCode, 1);
    EXPECT_EQ(b.doc["error"], "Syntax error in command line");
    EXPECT_EQ(b.doc["currentId"], 1);
    EXPECT_EQ(b.doc["nodes"].size(), 2u);
    EXPECT_EQ(b.doc["nodes"][1]["link"], "T&p=1;");

    auto missing = Tool({"tree", (dir / "none.lnk").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.doc["error"], "Cannot open file " + (dir / "none.lnk").string());
    EXPECT_EQ(missing.doc["nodes"], json::array());
}

TEST_F(ToolFiles, NormalizeWritesAsSaveDoes) {
    const std::string in = Write("in.lnk", "A\\B=T\nA\\B\\C=U (Ctrl)\n");
    const std::string out = (dir / "out.lnk").string();
    auto r = Tool({"normalize", in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.doc, (json{{"currentId", 2}, {"items", 2}}));
    EXPECT_EQ(Read(out), "_currentid=2\r\nA\\B=link={T};_id=\"0\"\r\nA\\B\\C (Ctrl)=link={U};_id=\"1\"\r\n");
    // Normalizing a canonical file gives the same bytes.
    const std::string again = (dir / "again.lnk").string();
    ASSERT_EQ(Tool({"normalize", out, again}).exitCode, 0);
    EXPECT_EQ(Read(again), Read(out));

    const std::string bad = Write("bad.lnk", "A=T&x;\n");
    const std::string untouched = (dir / "untouched.lnk").string();
    auto f = Tool({"normalize", bad, untouched});
    EXPECT_EQ(f.exitCode, 1);
    EXPECT_TRUE(f.doc.contains("currentId"));
    EXPECT_FALSE(fs::exists(untouched));
}

TEST_F(ToolFiles, CheckReportsEveryProblemWithItsLine) {
    const std::string good = Write("good.lnk", "_currentid=5\r\nA=link={x};_id=\"1\"\r\n");
    auto ok = Tool({"check", good});
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.out, "");

    const std::string bad = Write("bad.lnk", "_currentid=5\r\n"
                                             "A=link={x};_id=\"1\"\r\n"
                                             "B=link={y};_tag=\"zz\";_id=\"2\"\r\n"
                                             "C=link={z};_id=\"1\"\r\n"
                                             "a=link={dup}\r\n"
                                             "D=link={w};_id=\"7\"\r\n"
                                             "E=link={v};_id=\"3\" (x=y)\r\n");
    auto plain = Tool({"check", bad, (dir / "none.lnk").string()});
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_NE(plain.out.find(bad + ":3: 'zz' is not a valid integer value"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find(bad + ":4: Identificador duplicado: 1"), std::string::npos);
    EXPECT_NE(plain.out.find(bad + ":5: Linha ignorada"), std::string::npos);
    EXPECT_NE(plain.out.find(bad + ":6: O identificador 7"), std::string::npos);
    EXPECT_NE(plain.out.find(bad + ":7: O nome"), std::string::npos);
    EXPECT_NE(plain.out.find((dir / "none.lnk").string() + ":0: Cannot open file"), std::string::npos);

    auto js = Tool({"check", "--json", bad});
    EXPECT_EQ(js.exitCode, 1);
    ASSERT_EQ(js.doc["problems"].size(), 5u);
    EXPECT_EQ(js.doc["problems"][0],
              (json{{"file", bad}, {"line", 3}, {"message", "'zz' is not a valid integer value"}}));

    // A raw file keeps being checked after a renumbering failure.
    const std::string raw = Write("raw.lnk", "A=T&x;\r\nB=T&y;\r\nC=T\r\n");
    auto r = Tool({"check", "--json", raw});
    EXPECT_EQ(r.doc["problems"].size(), 2u);
}
