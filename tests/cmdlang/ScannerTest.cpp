#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cmdlang/LnkUtils.h"
#include "cmdlang/Scanner.h"

using namespace elo;

namespace {

using Tok = std::pair<int, std::string>;

std::vector<Tok> Scan(std::string_view text, std::vector<std::string> keywords = {}) {
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    for (auto& k : keywords) scanner.AddKeyword(k);
    scanner.SetText(text);
    std::vector<Tok> result;
    for (int i = 0; i < scanner.TokenCount(); ++i) result.emplace_back(scanner.Tokens(i)->Kind, scanner.TokenText(i));
    return result;
}

} // namespace

TEST(Scanner, NamesSymbolsAndStringsWithTheirOffsets) {
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    scanner.SetText("a=\"b c\"");
    ASSERT_EQ(scanner.TokenCount(), 3);
    EXPECT_EQ(scanner.Tokens(0)->Kind, tkName);
    EXPECT_EQ(scanner.Tokens(1)->Kind, tkSymbol);
    EXPECT_EQ(scanner.Tokens(2)->Kind, tkString);
    EXPECT_EQ(scanner.Tokens(2)->Start, 3);
    EXPECT_EQ(scanner.Tokens(2)->Length, 3);
    EXPECT_EQ(scanner.TokenText(2), "b c");
    EXPECT_EQ(scanner.Tokens(3), nullptr);
    EXPECT_EQ(scanner.Tokens(-1), nullptr);
    EXPECT_TRUE(scanner.IsEnd(3));
    EXPECT_FALSE(scanner.IsEnd(2));
    EXPECT_STREQ(TCustomScanner::Version, "1.04");
}

TEST(Scanner, SignBelongsToANumberOnlyWhereTheSignFlagAllowsIt) {
    EXPECT_EQ(Scan("x=-5"), (std::vector<Tok>{{tkName, "x"}, {tkSymbol, "="}, {tkInteger, "-5"}}));
    EXPECT_EQ(Scan("x-5"), (std::vector<Tok>{{tkName, "x"}, {tkError, "-"}, {tkInteger, "5"}}));
    EXPECT_EQ(Scan("-5"), (std::vector<Tok>{{tkInteger, "-5"}}));
    EXPECT_EQ(Scan("a,+7"), (std::vector<Tok>{{tkName, "a"}, {tkSymbol, ","}, {tkInteger, "+7"}}));
    // ";" is not among the texts that allow a sign.
    EXPECT_EQ(Scan("a;-7"), (std::vector<Tok>{{tkName, "a"}, {tkSymbol, ";"}, {tkError, "-"}, {tkInteger, "7"}}));
    // An error token "-" allows one: "--5" is "-" then "-5".
    EXPECT_EQ(Scan("x --5"), (std::vector<Tok>{{tkName, "x"}, {tkError, "-"}, {tkInteger, "-5"}}));
    EXPECT_EQ(Scan("x<-1"), (std::vector<Tok>{{tkName, "x"}, {tkOperator, "<"}, {tkInteger, "-1"}}));
}

TEST(Scanner, NumberForms) {
    EXPECT_EQ(Scan("0x1F"), (std::vector<Tok>{{tkHexNumber, "0x1F"}}));
    EXPECT_EQ(Scan("$1F"), (std::vector<Tok>{{tkHexNumber, "$1F"}}));
    EXPECT_EQ(Scan("12"), (std::vector<Tok>{{tkInteger, "12"}}));
    EXPECT_EQ(Scan("1.5"), (std::vector<Tok>{{tkFloat, "1.5"}}));
    EXPECT_EQ(Scan("0.5"), (std::vector<Tok>{{tkFloat, "0.5"}}));
    EXPECT_EQ(Scan("1."), (std::vector<Tok>{{tkInteger, "1"}, {tkName, "."}}));
    EXPECT_EQ(Scan("$ "), (std::vector<Tok>{{tkError, "$ "}}));
    EXPECT_EQ(Scan("0"), (std::vector<Tok>{{tkInteger, "0"}}));
    EXPECT_EQ(Scan("0x"), (std::vector<Tok>{{tkHexNumber, "0x"}}));
    EXPECT_EQ(Scan("007"), (std::vector<Tok>{{tkInteger, "007"}}));
    // The prefix alone at the end of the text ends the list.
    EXPECT_EQ(Scan("a $"), (std::vector<Tok>{{tkName, "a"}}));
}

TEST(Scanner, NamesAndTheCharPrefix) {
    EXPECT_EQ(Scan("a#b"), (std::vector<Tok>{{tkName, "a"}, {tkName, "#b"}}));
    EXPECT_EQ(Scan("a.b_1"), (std::vector<Tok>{{tkName, "a.b_1"}}));
    EXPECT_EQ(Scan("\xE9\xE7"), (std::vector<Tok>{{tkError, "\xE9"}, {tkError, "\xE7"}}));
    EXPECT_EQ(Scan("ab\xE9"
                   "cd"),
              (std::vector<Tok>{{tkName, "ab"}, {tkError, "\xE9"}, {tkName, "cd"}}));
}

TEST(Scanner, BlocksNestAndUnterminatedOnesEndTheList) {
    EXPECT_EQ(Scan("{a{b}c}"), (std::vector<Tok>{{tkBlock, "a{b}c"}}));
    EXPECT_EQ(Scan("{a"), (std::vector<Tok>{}));
    // Quotes are not special inside a block: the first closer closes it.
    EXPECT_EQ(Scan("x {a\"}\" y\""), (std::vector<Tok>{{tkName, "x"}, {tkBlock, "a\""}, {tkString, " y"}}));
    EXPECT_EQ(Scan("{}"), (std::vector<Tok>{{tkBlock, ""}}));
}

TEST(Scanner, QuotedStrings) {
    EXPECT_EQ(Scan("'ab\ncd"), (std::vector<Tok>{{tkError, "'ab"}, {tkName, "cd"}}));
    EXPECT_EQ(Scan("\"a\nb\""), (std::vector<Tok>{{tkString, "a\nb"}}));
    EXPECT_EQ(Scan("x \"open"), (std::vector<Tok>{{tkName, "x"}}));
    EXPECT_EQ(Scan("x 'open"), (std::vector<Tok>{{tkName, "x"}}));
    EXPECT_EQ(Scan("''"), (std::vector<Tok>{{tkString, ""}}));
    EXPECT_EQ(Scan("'a\"b'"), (std::vector<Tok>{{tkString, "a\"b"}}));
}

TEST(Scanner, CommentsOperatorsAndWhitespace) {
    EXPECT_EQ(Scan("a // note\n"), (std::vector<Tok>{{tkName, "a"}, {tkLineComment, "// note\n"}}));
    // A comment that the text ends inside yields no token.
    EXPECT_EQ(Scan("a // note"), (std::vector<Tok>{{tkName, "a"}}));
    EXPECT_EQ(Scan("<= <> >= || < > |"), (std::vector<Tok>{{tkOperator, "<="},
                                                           {tkOperator, "<>"},
                                                           {tkOperator, ">="},
                                                           {tkOperator, "||"},
                                                           {tkOperator, "<"},
                                                           {tkOperator, ">"},
                                                           {tkOperator, "|"}}));
    EXPECT_EQ(Scan("="), (std::vector<Tok>{{tkSymbol, "="}}));
    EXPECT_EQ(Scan(""), (std::vector<Tok>{}));
    EXPECT_EQ(Scan(" \t\r\n "), (std::vector<Tok>{}));
    EXPECT_EQ(Scan("/ *"), (std::vector<Tok>{{tkError, "/"}, {tkError, "*"}}));
}

TEST(Scanner, NulEndsTheTokenList) {
    EXPECT_EQ(Scan(std::string_view("ab\0cd", 5)), (std::vector<Tok>{{tkName, "ab"}}));
    EXPECT_EQ(Scan(std::string_view("x \"a\0b\" y", 9)), (std::vector<Tok>{{tkName, "x"}}));
}

TEST(Scanner, KeywordsAreFoundIgnoringAsciiCase) {
    EXPECT_EQ(Scan("BEGIN x", {"begin"}), (std::vector<Tok>{{tkKeyword, "BEGIN"}, {tkName, "x"}}));
    TScanner scanner;
    scanner.AddKeyword("if");
    scanner.AddKeyword("begin");
    scanner.SetText("Begin if");
    EXPECT_EQ(scanner.Tokens(0)->KeywordIndex, 1);
    EXPECT_EQ(scanner.Tokens(1)->KeywordIndex, 0);
    // A keyword lets a following sign begin a number.
    scanner.SetText("if -3");
    EXPECT_EQ(scanner.Tokens(1)->Kind, tkInteger);
    try {
        TScanner dup;
        dup.AddKeyword("Begin");
        dup.AddKeyword("begin");
        dup.SetText("x");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "Duplicated item: begin");
    }
    // Removing every keyword leaves no table.
    scanner.ClearKeywords();
    scanner.SetText("begin");
    EXPECT_EQ(scanner.Tokens(0)->Kind, tkName);
}

TEST(Scanner, OnTokenCanDropTokensAndStopTheScan) {
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    std::vector<int> attempts;
    scanner.OnToken = [&](TCustomScanner&, int attempt, bool& stop, bool& accept, TToken& token) {
        attempts.push_back(attempt);
        if (token.Kind == tkSymbol) accept = false;
        if (attempt == 4) stop = true;
    };
    scanner.SetText("a=1;b=2;c=3");
    // Attempts 0..4 produced a, =, 1, ;, b; the symbols were dropped.
    EXPECT_EQ(attempts, (std::vector<int>{0, 1, 2, 3, 4}));
    ASSERT_EQ(scanner.TokenCount(), 3);
    EXPECT_EQ(scanner.TokenText(2), "b");
}

TEST(Scanner, TokenComparisons) {
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    scanner.SetText("Link=abc");
    EXPECT_TRUE(scanner.TokenIs(scanner.Tokens(0), "LINK"));
    EXPECT_FALSE(scanner.TokenIs(scanner.Tokens(0), "lin"));
    EXPECT_FALSE(scanner.TokenIs(nullptr, ""));
    EXPECT_TRUE(scanner.TokenStartsWith(scanner.Tokens(0), "LI", 2));
    EXPECT_FALSE(scanner.TokenStartsWith(scanner.Tokens(0), "LO", 2));
    // The comparison stops at the end of the text.
    EXPECT_TRUE(scanner.TokenStartsWith(scanner.Tokens(2), "abcdef", 6));
}

TEST(Scanner, OtherConfigurations) {
    // With "$" as a symbol character the prefix stands alone.
    TScanner scanner;
    scanner.SetSymbolChars("$=");
    scanner.SetText("$x $1F");
    ASSERT_EQ(scanner.TokenCount(), 5);
    EXPECT_EQ(scanner.Tokens(0)->Kind, tkSymbol);
    EXPECT_EQ(scanner.TokenText(0), "$");
    // The hex number falls back to its first character; "1F" is scanned again.
    EXPECT_EQ(scanner.Tokens(2)->Kind, tkSymbol);
    EXPECT_EQ(scanner.TokenText(3), "1");
    EXPECT_EQ(scanner.TokenText(4), "F");
    // "=" as an operator when it is not a symbol character; no digits in names.
    TScanner plain;
    plain.DigitsInNames = false;
    plain.CharPrefix = "";
    plain.SetText("a=b1#c");
    ASSERT_EQ(plain.TokenCount(), 6);
    EXPECT_EQ(plain.Tokens(1)->Kind, tkOperator);
    EXPECT_EQ(plain.TokenText(2), "b");
    EXPECT_EQ(plain.Tokens(3)->Kind, tkInteger);
    EXPECT_EQ(plain.Tokens(4)->Kind, tkError); // "#" is no name character by default
    EXPECT_EQ(plain.TokenText(5), "c");
}
