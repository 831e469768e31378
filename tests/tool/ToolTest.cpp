// The batch tool's contract, driven as scripts drive it: arguments in, one JSON
// document and an exit status out.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ToolRun.h"

using nlohmann::json;

using elo::test::Tool;

TEST(ToolCmdlang, TokensListsKindsOffsetsAndKeywordIndexes) {
    auto r = Tool({"tokens", "--keyword", "if", "--keyword=begin", "BEGIN x=\"b c\""});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json& t = r.doc["tokens"];
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], (json{{"kind", 7}, {"start", 0}, {"length", 5}, {"text", "BEGIN"}, {"keywordIndex", 1}}));
    EXPECT_EQ(t[1]["kind"], 5);
    EXPECT_FALSE(t[1].contains("keywordIndex"));
    EXPECT_EQ(t[3], (json{{"kind", 10}, {"start", 9}, {"length", 3}, {"text", "b c"}}));
}

TEST(ToolCmdlang, OffsetsCountWindows1252Bytes) {
    auto r = Tool({"tokens", "\xC3\xA9"
                             "a"}); // "éa": é is one byte and an error token
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.doc["tokens"][0], (json{{"kind", 3}, {"start", 0}, {"length", 1}, {"text", "\xC3\xA9"}}));
    EXPECT_EQ(r.doc["tokens"][1]["start"], 1);
}

TEST(ToolCmdlang, ScannerFailuresAndUnmappableTextExitWithOne) {
    auto dup = Tool({"tokens", "--keyword", "Begin", "--keyword", "begin", "x"});
    EXPECT_EQ(dup.exitCode, 1);
    EXPECT_EQ(dup.doc["error"], "Duplicated item: begin");
    EXPECT_EQ(dup.err, "elo-tool: Duplicated item: begin\n");

    auto polish = Tool({"parse", "a=\"\xC5\x82\""});
    EXPECT_EQ(polish.exitCode, 1);
    EXPECT_NE(polish.doc["error"].get<std::string>().find("U+0142"), std::string::npos);
}

TEST(ToolCmdlang, ParseWritesCommandsItemsAndLookups) {
    auto r = Tool({"parse", "--lookup", "CAPTION", "--lookup", "", "--lookup", "nope",
                   "link='a';Caption=\"\xC3\x89tat\",p=[v=w]"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json& c = r.doc["commands"];
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0]["name"], "link");
    EXPECT_EQ(c[0]["itemText"], "link={a};Caption=\"\xC3\x89tat\"");
    EXPECT_EQ(c[0]["items"][0], (json{{"name", "link"},
                                      {"value", "a"},
                                      {"source", "'a'"},
                                      {"isWord", false},
                                      {"param", ""},
                                      {"isBracket", false}}));
    EXPECT_EQ(c[0]["lookups"]["CAPTION"], (json{{"indexOf", 1}, {"values", "\xC3\x89tat"}, {"error", nullptr}}));
    EXPECT_EQ(c[0]["lookups"][""], (json{{"indexOf", -1}, {"values", nullptr}, {"error", "Parameter not found"}}));
    EXPECT_EQ(c[1]["lookups"][""], (json{{"indexOf", -1}, {"values", "v"}, {"error", nullptr}}));
    EXPECT_EQ(c[1]["items"][0]["param"], "w");
    EXPECT_EQ(c[1]["items"][0]["isBracket"], true);
    EXPECT_EQ(c[1]["lookups"]["nope"]["error"], "Parameter not found");
}

TEST(ToolCmdlang, SyntaxErrorAndUsage) {
    auto bad = Tool({"parse", "a=1;"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.doc, (json{{"error", "Syntax error in command line"}}));
    auto negative = Tool({"parse", "--", "-5"});
    EXPECT_EQ(negative.exitCode, 0);
    EXPECT_EQ(negative.doc["commands"].size(), 0u);
    EXPECT_EQ(Tool({"parse"}).exitCode, 2);
    EXPECT_EQ(Tool({"nosuchverb"}).exitCode, 2);
    EXPECT_EQ(Tool({}).exitCode, 2);
    auto version = elo::test::Run(ELO_TOOL_PATH, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("elo-tool"), std::string::npos);
    EXPECT_EQ(elo::test::Run(ELO_TOOL_PATH, {"parse", "--help"}).exitCode, 0);
}
