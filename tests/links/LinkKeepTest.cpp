// What a link string holds beyond the record's fields, and the tags as they
// were written, survive the editor's encoding; what is stored reads back.
#include <gtest/gtest.h>

#include <random>

#include "links/LinkDef.h"
#include "links/LinkTree.h"
#include "links/SiblingPaths.h"
#include "platform/Exceptions.h"
#include "support/LinkCorpus.h"

using namespace elo;
using namespace elo::test;

namespace {

// The encoding the editor makes of a record it showed: every tag as written.
std::string EditorEncoding(TLinkDefinition r) {
    for (TLinkTag& tag : r.Tags) tag.Text = tag.Written;
    return EncodeLink(r);
}

TLinkDefinition Decoded(std::string_view text) {
    TLinkDefinition r;
    DecodeLink(r, text, nullptr);
    return r;
}

void ExpectSameRecord(const TLinkDefinition& a, const TLinkDefinition& b) {
    EXPECT_EQ(a.Target, b.Target);
    EXPECT_EQ(a.Tags, b.Tags);
    for (size_t i = 0; i < std::min(a.Tags.size(), b.Tags.size()); ++i) EXPECT_EQ(a.Tags[i].Written, b.Tags[i].Written);
    EXPECT_EQ(a.Id, b.Id);
    EXPECT_EQ(a.TypeIndex, b.TypeIndex);
    EXPECT_EQ(a.Keywords, b.Keywords);
    EXPECT_EQ(a.Hidden, b.Hidden);
    EXPECT_EQ(a.Caption, b.Caption);
    EXPECT_EQ(a.Order, b.Order);
    EXPECT_EQ(a.DefaultEdit, b.DefaultEdit);
    EXPECT_EQ(a.ExtraItems, b.ExtraItems);
    EXPECT_EQ(a.LaterCommands, b.LaterCommands);
}

} // namespace

TEST(LinkKeep, TagsItemsAndCommandsAsTheyWereWritten) {
    const TLinkDefinition r =
        Decoded("link = {M&{t};a=1,param=[periodo=mes];dias=30 ; q='x'};Caption=\"C\";_id=\"5\";Extra=sim;"
                "caption=\"2\";{solto},outro=\"1\";y=2,  fim=z");
    ASSERT_EQ(r.Tags.size(), 2u);
    EXPECT_EQ(r.Tags[0].Written, "link={t};a=1");                   // readable again after a ","
    EXPECT_EQ(r.Tags[1].Text, "param=periodo;dias=\"30\";q=\"x\""); // the parser's rewriting, as always
    EXPECT_EQ(r.Tags[1].Written, "param=[periodo=mes];dias=30 ; q='x'");
    EXPECT_EQ(r.ExtraItems, "Extra=sim;caption=\"2\";link={solto}");
    EXPECT_EQ(r.LaterCommands, ",outro=\"1\";y=2,  fim=z");
    EXPECT_EQ(EditorEncoding(r), "link={M&link={t};a=1,param=[periodo=mes];dias=30 ; q='x'};_id=\"5\";Caption=\"C\";"
                                 "Extra=sim;caption=\"2\";link={solto},outro=\"1\";y=2,  fim=z");
    // A record made from fields alone (the batch tool's) encodes as before.
    TLinkDefinition plain = r;
    plain.ExtraItems.clear();
    plain.LaterCommands.clear();
    EXPECT_EQ(EncodeLink(plain), "link={M&link={t};a=\"1\",param=periodo;dias=\"30\";q=\"x\"};_id=\"5\";Caption=\"C\"");

    const auto rows = WrittenParametersFromTagText("p=[v=w];q=\"a b\";r=1;s={t};u=[k],other=2");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (TTagParameter{"1", "p", "[v=w]"}));
    EXPECT_EQ(rows[1], (TTagParameter{"0", "q", "\"a b\""}));
    EXPECT_EQ(rows[4], (TTagParameter{"1", "u", "[k]"}));
    EXPECT_EQ(TagTextFromParameters(rows), "p=[v=w];q=\"a b\";r=1;s={t};u=[k]");
    EXPECT_EQ(LaterCommandsOfTagText("p=[v=w];q=1,other=2;x=y"), ",other=2;x=y");
    EXPECT_EQ(LaterCommandsOfTagText("p=1"), "");
}

TEST(LinkKeep, EveryLinkOfTheCorpusComesBackThroughTheEditorsEncoding) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 250; ++i) {
            const bool canonical = i % 2 == 0;
            const std::string link = RandomLink(rng, {.Canonical = canonical});
            SCOPED_TRACE(link);
            TLinkDefinition r;
            ASSERT_NO_THROW(DecodeLink(r, link, nullptr));
            EXPECT_EQ(LinkReadBackProblem(link), "");
            const std::string encoded = EditorEncoding(r);
            // Written the editor's way, it is the same text; any other way, the
            // same record, and the encoding is stable.
            if (canonical) {
                EXPECT_EQ(encoded, link);
            }
            EXPECT_EQ(LinkReadBackProblem(encoded), "");
            const TLinkDefinition back = Decoded(encoded);
            ExpectSameRecord(back, r);
            EXPECT_EQ(EditorEncoding(back), encoded);
        }
    }
}

TEST(LinkKeep, WhatWouldNotReadBackIsNamed) {
    EXPECT_EQ(LinkReadBackProblem("link={T&foo=};_id=\"1\""), "Syntax error in command line");
    EXPECT_EQ(LinkReadBackProblem("link={T};_id=\"1\";_tag=\"x\""), "'x' is not a valid integer value");
    EXPECT_EQ(LinkReadBackProblem("link={T};_id=\"1\";\r\nx=2"), "O link cont\xE9m quebras de linha");
    EXPECT_EQ(LinkReadBackProblem(std::string("link={T};_id=\"1\"\0x", 18)), "O link cont\xE9m quebras de linha");
    // A "(" outside quotes and braces would start a caption suffix when read.
    EXPECT_EQ(LinkReadBackProblem("link={T};_id=\"1\",("), "O link cont\xE9m um \"(\" fora de aspas e chaves");
    EXPECT_EQ(LinkReadBackProblem("link={T(x)};_id=\"1\";Caption=\"(c)\""), "");
    EXPECT_EQ(LinkReadBackProblem("link={T};Caption=\"RULES\""), ""); // kept as it is, it reads back
    EXPECT_EQ(LinkReadBackProblem(""), "");
}

TEST(LinkKeep, AnIdentifierGoesIntoTheTextAsItStands) {
    EXPECT_EQ(WithIdentifier("link={M&p=[a=b]};Caption=x", "40"), "link={M&p=[a=b]};Caption=x;_id=\"40\"");
    EXPECT_EQ(WithIdentifier("link={M};_ID='';Caption=x", "41"), "link={M};_ID=\"41\";Caption=x");
    EXPECT_EQ(WithIdentifier("link={M},other=1", "42"), "link={M};_id=\"42\",other=1");
    EXPECT_EQ(WithIdentifier("", "43"), "");
    EXPECT_THROW(WithIdentifier("link={M};x=", "44"), Exception);
}

TEST(SiblingPaths, SiblingsComparedAsTheReaderComparesPaths) {
    TLinkTree tree;
    TTreeNode* a = tree.AddChild(nullptr, "A");
    TTreeNode* b = tree.AddChild(a, "Cl\xCDnica");
    tree.AddChild(a, "outro");
    TTreeNode* root2 = tree.AddChild(nullptr, "a2");
    EXPECT_EQ(SiblingWithSamePath(tree, a, "cl\xEDnica"), b); // accented letters fold too
    EXPECT_EQ(SiblingWithSamePath(tree, a, "cl\xEDnica", b), nullptr);
    EXPECT_EQ(SiblingWithSamePath(tree, a, "clinica"), nullptr); // but stay accented
    EXPECT_EQ(SiblingWithSamePath(tree, nullptr, "A2"), root2);
    EXPECT_EQ(FreeSiblingText(tree, a, "novo"), "novo");
    EXPECT_EQ(FreeSiblingText(tree, a, "OUTRO"), "OUTRO (2)");
    tree.AddChild(a, "OUTRO (2)");
    EXPECT_EQ(FreeSiblingText(tree, a, "outro"), "outro (3)");

    EXPECT_TRUE(NodesWithSamePath(tree).empty());
    TTreeNode* twin = tree.AddChild(a, "cl\xEDnica");
    TTreeNode* rootTwin = tree.AddChild(nullptr, "a");
    TTreeNode* deep = tree.AddChild(b, "x");
    TTreeNode* deepTwin = tree.AddChild(b, "X");
    (void)deep;
    EXPECT_EQ(NodesWithSamePath(tree), (std::vector<const TTreeNode*>{deepTwin, twin, rootTwin})); // tree order
}
