// Finding nodes in tree order and by path.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "links/Find.h"
#include "links/LinksFile.h"
#include "platform/Text.h"

using namespace elo;

namespace {

void Load(TLinksDocument& doc) {
    doc.LoadLinksText("_currentid=9\r\n"
                      "Menu\\Clientes=link={Cad.Clientes};_id=\"1\"\r\n"
                      "Menu\\Cadastro\\Fornecedores=link={Cad.Forn&pointer=\"frmClientes\"};_id=\"2\"\r\n"
                      "Menu\\Cadastro\\\xC9poca=link={X};_id=\"3\"\r\n"
                      "Menu\\Cadastro\\epoca=link={Y};_id=\"4\"\r\n"
                      "Outros\\clientes antigos=link={Z};_id=\"5\"\r\n");
}

std::string PathOf(const TTreeNode* n) {
    return n ? TLinksDocument::NodePath(n) : "-";
}

} // namespace

TEST(Find, NextAndPreviousGoRoundTheTreeInItsOrder) {
    TLinksDocument doc;
    Load(doc);
    const TNodeFinder finder("CLIENTES");
    const TTreeNode* first = finder.Next(doc.Tree, nullptr);
    EXPECT_EQ(PathOf(first), "Menu\\Clientes");
    const TTreeNode* second = finder.Next(doc.Tree, first);
    EXPECT_EQ(PathOf(second), "Outros\\clientes antigos");
    EXPECT_EQ(finder.Next(doc.Tree, second), first); // round the tree
    EXPECT_EQ(finder.Next(doc.Tree, first, false), second);
    EXPECT_EQ(PathOf(finder.Next(doc.Tree, nullptr, false)), "Outros\\clientes antigos");
    // Only one match: found again from itself.
    const TNodeFinder one("antigos");
    EXPECT_EQ(one.Next(doc.Tree, one.Next(doc.Tree, nullptr)), one.Next(doc.Tree, nullptr));
    EXPECT_EQ(TNodeFinder("nada disso").Next(doc.Tree, nullptr), nullptr);
    EXPECT_EQ(TNodeFinder("").Next(doc.Tree, nullptr), nullptr);
}

TEST(Find, CaseFoldsAsFolderPathsDoAndLinksCountWhenAsked) {
    TLinksDocument doc;
    Load(doc);
    // É = é, but é is not e.
    EXPECT_EQ(PathOf(TNodeFinder("\xE9POCA").Next(doc.Tree, nullptr)), "Menu\\Cadastro\\\xC9poca");
    EXPECT_EQ(PathOf(TNodeFinder("EPOCA").Next(doc.Tree, nullptr)), "Menu\\Cadastro\\epoca");
    const TTreeNode* fornecedores = TNodeFinder("forn").Next(doc.Tree, nullptr);
    EXPECT_EQ(PathOf(TNodeFinder("frmclientes").Next(doc.Tree, nullptr)), "-");
    EXPECT_EQ(TNodeFinder("frmclientes", true).Next(doc.Tree, nullptr), fornecedores);
}

TEST(Find, PreviousInTreeOrderIsTheWalkBackwards) {
    TLinksDocument doc;
    Load(doc);
    std::vector<const TTreeNode*> forward;
    doc.Tree.ForEach([&](const TTreeNode* n) { forward.push_back(n); });
    std::vector<const TTreeNode*> backward;
    for (const TTreeNode* n = LastInTreeOrder(doc.Tree); n; n = PreviousInTreeOrder(doc.Tree, n)) backward.push_back(n);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, forward);
}

TEST(Find, PathsNameNodesOrTheirMissingPart) {
    TLinksDocument doc;
    Load(doc);
    std::string missing;
    EXPECT_EQ(PathOf(NodeAtPath(doc.Tree, "menu\\CADASTRO\\fornecedores")), "Menu\\Cadastro\\Fornecedores");
    EXPECT_EQ(NodeAtPath(doc.Tree, "Menu\\Nada\\X", &missing), nullptr);
    EXPECT_EQ(missing, "Nada");
    EXPECT_EQ(NodeAtPath(doc.Tree, "", &missing), nullptr);
}

TEST(Find, MatchesAsFoldingBothTextsAndSearchingWould) {
    // Random texts from a small alphabet of letters (with case and accents),
    // digits and quotes: a match may begin, end or repeat anywhere.
    std::mt19937 rng(5);
    const std::string alphabet = "aA1\"_ \xE9\xC9x9";
    auto random = [&](size_t most) {
        std::string s(rng() % (most + 1), ' ');
        for (char& c : s) c = alphabet[rng() % alphabet.size()];
        return s;
    };
    std::string text = "_currentid=1\r\n";
    for (int i = 0; i < 300; ++i)
        text += "R\\" + std::to_string(i) + random(12) + "=link={T};p=\"" + random(20) + "\"\r\n";
    TLinksDocument doc;
    doc.LoadLinksText(text);
    for (int round = 0; round < 300; ++round) {
        const std::string needle = random(4);
        const bool inLinks = rng() % 2;
        const TNodeFinder finder(needle, inLinks);
        const std::string folded = FoldCaseLocale(needle);
        doc.Tree.ForEach([&](const TTreeNode* n) {
            bool expected = !folded.empty() && FoldCaseLocale(n->Text()).find(folded) != std::string::npos;
            if (inLinks && n->Data() && !folded.empty())
                expected = expected || FoldCaseLocale(n->Data()->Link).find(folded) != std::string::npos;
            ASSERT_EQ(finder.Matches(n), expected) << "\"" << needle << "\" in " << n->Text();
        });
    }
}
