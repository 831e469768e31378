#include <gtest/gtest.h>

#include "cmdlang/LnkUtils.h"

using namespace elo;

namespace {

TcmdListParser Parsed(std::string_view text) {
    TcmdListParser p;
    p.Parse(text);
    return p;
}

void ExpectSyntaxError(std::string_view text) {
    TcmdListParser p;
    try {
        p.Parse(text);
        ADD_FAILURE() << "no error for: " << text;
    } catch (const ESyntaxError& e) {
        EXPECT_EQ(e.Message, "Syntax error in command line") << text;
    }
}

} // namespace

TEST(Parser, TheIntroductoryExample) {
    auto p = Parsed("link={A&pointer=x};_id=\"12\";_tag=\"6\",pointer=abc;Caption=\"X\"");
    ASSERT_EQ(p.Count(), 2);
    const TcmdGroup& link = p.Commands(0);
    EXPECT_EQ(link.Name, "link");
    ASSERT_EQ(link.Count(), 3);
    EXPECT_EQ(link.Items(0).Value, "A&pointer=x");
    EXPECT_EQ(link.Items(0).Source, "{A&pointer=x}");
    EXPECT_EQ(link.Values("_id"), "12");
    EXPECT_EQ(link.Values("_TAG"), "6");
    const TcmdGroup& pointer = p.Commands(1);
    EXPECT_EQ(pointer.Name, "pointer");
    EXPECT_EQ(pointer.Items(0).Value, "abc");
    EXPECT_TRUE(pointer.Items(0).IsWord);
    EXPECT_EQ(pointer.Values("Caption"), "X");
    EXPECT_EQ(p.Text(), "link={A&pointer=x};_id=\"12\";_tag=\"6\",pointer=abc;Caption=\"X\"");
}

TEST(Parser, EmptyTextsGiveNoCommands) {
    TcmdListParser p;
    EXPECT_EQ(p.Count(), 0); // before the first parse
    EXPECT_THROW(p.Commands(0), EListError);
    for (auto text : {"", "   ", "\r\n\t "}) {
        p.Parse(text);
        EXPECT_EQ(p.Count(), 0);
    }
}

TEST(Parser, ValueKindsAndSources) {
    auto p = Parsed("a=1");
    const TcmdItem& n = p.Commands(0).Items(0);
    EXPECT_EQ(n.Value, "1");
    EXPECT_EQ(n.Source, "1");
    EXPECT_FALSE(n.IsWord);
    EXPECT_TRUE(Parsed("a=b").Commands(0).Items(0).IsWord);

    auto q = Parsed("a=\"x y\";b='z'");
    EXPECT_EQ(q.Commands(0).Items(0).Value, "x y");
    EXPECT_EQ(q.Commands(0).Items(0).Source, "\"x y\"");
    EXPECT_EQ(q.Commands(0).Items(1).Value, "z");
    EXPECT_EQ(q.Commands(0).Items(1).Source, "'z'");

    auto b = Parsed("link={a{b}c}");
    EXPECT_EQ(b.Commands(0).Items(0).Value, "a{b}c");
    EXPECT_EQ(b.Commands(0).Items(0).Source, "{a{b}c}");
    EXPECT_FALSE(b.Commands(0).Items(0).IsWord);
}

TEST(Parser, SeparatorsAndTheirFaults) {
    ExpectSyntaxError("a=1;");
    ExpectSyntaxError("a");
    ExpectSyntaxError("a=");
    ExpectSyntaxError("x y=1");
    ExpectSyntaxError("a=1 b=2"); // "b" separates, the next item starts at "="
    EXPECT_EQ(Parsed("a=1,").Count(), 1);

    auto colon = Parsed("a=1:b=2"); // the error token ":" separates
    ASSERT_EQ(colon.Commands(0).Count(), 2);
    EXPECT_EQ(colon.Commands(0).Items(1).Name, "b");

    auto minus = Parsed("x=a-5"); // after a name "-" is no sign
    ASSERT_EQ(minus.Commands(0).Count(), 2);
    EXPECT_EQ(minus.Commands(0).Items(0).Value, "a");
    EXPECT_EQ(minus.Commands(0).Items(1).Name, "link");
    EXPECT_EQ(minus.Commands(0).Items(1).Value, "5");
    auto negative = Parsed("x=-5");
    ASSERT_EQ(negative.Commands(0).Count(), 1);
    EXPECT_EQ(negative.Commands(0).Items(0).Value, "-5");

    // Only the symbol "," ends a command: a quoted "," separates two items.
    auto quotedComma = Parsed("a=1\",\"b=2");
    ASSERT_EQ(quotedComma.Count(), 1);
    ASSERT_EQ(quotedComma.Commands(0).Count(), 2);
    EXPECT_EQ(quotedComma.Commands(0).Values("b"), "2");
    EXPECT_EQ(Parsed("a=1{,}b=2").Count(), 1);

    auto leading = Parsed(";;a=1");
    ASSERT_EQ(leading.Count(), 1);
    EXPECT_EQ(leading.Commands(0).Name, "a");
    auto skipped = Parsed("1,a=2");
    ASSERT_EQ(skipped.Count(), 1);
    EXPECT_EQ(skipped.Commands(0).Values("a"), "2");
}

TEST(Parser, BracedGroupsWithoutNames) {
    auto first = Parsed("{x};a=1");
    ASSERT_EQ(first.Count(), 1);
    EXPECT_EQ(first.Commands(0).Name, "x");
    EXPECT_EQ(first.Commands(0).Items(0).Name, "link");
    EXPECT_EQ(first.Commands(0).Items(0).Source, "{x}");
    EXPECT_EQ(first.Commands(0).Values("a"), "1");

    auto after = Parsed("b=1;{x}");
    ASSERT_EQ(after.Count(), 1);
    ASSERT_EQ(after.Commands(0).Count(), 2);
    EXPECT_EQ(after.Commands(0).Items(1).Name, "link");
    EXPECT_EQ(after.Commands(0).Items(1).Value, "x");

    // A braced group begins a command only as the first token of the text.
    EXPECT_EQ(Parsed("b=1,{x}").Count(), 1);
    // An open group at the end is dropped when no value was needed there.
    auto open = Parsed("a=1,{x");
    ASSERT_EQ(open.Count(), 1);
    ExpectSyntaxError("a={x");
}

TEST(Parser, BracketForm) {
    auto p = Parsed("p=[v=w]");
    const TcmdItem& i = p.Commands(0).Items(0);
    EXPECT_EQ(i.Value, "v");
    EXPECT_EQ(i.Source, "v");
    EXPECT_EQ(i.Param, "w");
    EXPECT_TRUE(i.IsWord);
    EXPECT_TRUE(i.IsBracket);
    EXPECT_EQ(Parsed("p=[v]").Commands(0).Items(0).Param, "");
    EXPECT_EQ(Parsed("p=[v=\"a b\"];q=1").Commands(0).Items(0).Param, "a b");
    ExpectSyntaxError("p=[v");
    ExpectSyntaxError("p=[v=");
    ExpectSyntaxError("p=[1]");
    ExpectSyntaxError("p=[v=w");
    ExpectSyntaxError("p=[v)");
    ExpectSyntaxError("p=[v\"]\""); // only the symbol "]" closes the form
    ExpectSyntaxError("p=[v=w']'");
    // A bracket value comes out as its bare word.
    EXPECT_EQ(Parsed("p=[v=w];q=2").Commands(0).ItemText(), "p=v;q=\"2\"");
}

TEST(Parser, LookupsIgnoreLetterCaseTheLocaleWay) {
    auto p = Parsed("Caption=\"C\";y=1;x=2");
    const TcmdGroup& c = p.Commands(0);
    EXPECT_EQ(c.IndexOf("CAPTION"), 0);
    EXPECT_EQ(c.IndexOf("absent"), -1);
    EXPECT_EQ(c.Values("caption"), "C");
    EXPECT_TRUE(c.IsNamed("caption"));
    EXPECT_FALSE(c.IsNamed("x"));
    try {
        c.Values("absent");
        FAIL();
    } catch (const ESyntaxError& e) {
        EXPECT_EQ(e.Message, "Parameter not found");
    }
    EXPECT_EQ(c.ValueDef("absent", "d"), "d");
    EXPECT_EQ(c.ValueDef("X", "d"), "2");
    EXPECT_THROW(c.Items(3), EListError);
    EXPECT_THROW(c.Items(-1), EListError);
}

TEST(Parser, EmptyNameTakesTheOnlyItem) {
    EXPECT_EQ(Parsed("a=1").Commands(0).Values(""), "1");
    auto two = Parsed("a=1;b=2");
    EXPECT_THROW(two.Commands(0).Values(""), ESyntaxError);
    EXPECT_EQ(two.Commands(0).ValueDef("", "d"), "d");
}

TEST(Parser, ItemTextNormalisesDelimiters) {
    EXPECT_EQ(Parsed("link=\"a\";x='b';y=c").Commands(0).ItemText(), "link={a};x=\"b\";y=c");
    EXPECT_EQ(Parsed("LINK='a';n=12").Commands(0).ItemText(), "LINK={a};n=\"12\"");
    EXPECT_EQ(Parsed("{u}").Commands(0).ItemText(), "link={u}");
}

TEST(Parser, PartialResultStaysAfterAnErrorAndParseReplacesIt) {
    TcmdListParser p;
    EXPECT_THROW(p.Parse("a=1,b=2;c"), ESyntaxError);
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p.Commands(1).Count(), 2); // the item being read stays
    p.Parse("z=9");
    ASSERT_EQ(p.Count(), 1);
    EXPECT_EQ(p.Commands(0).Name, "z");
    p.Clear();
    EXPECT_EQ(p.Count(), 0);
}

TEST(Parser, TheErrorPositionPointsAtWhereTheGrammarStopped) {
    TcmdListParser p;
    auto at = [&](std::string_view text) {
        try {
            p.Parse(text);
        } catch (const ESyntaxError&) {
        }
        return p.ErrorPosition();
    };
    EXPECT_EQ(at("a=1;b=2"), 0);
    EXPECT_EQ(at("a=1;"), 5);      // the text ended where an item was needed
    EXPECT_EQ(at("a=1 b=2"), 6);   // "b" separates: the next item starts at "=", no name follows it
    EXPECT_EQ(at("p=[v\"]\""), 5); // the quoted "]" does not close the bracket form
    EXPECT_EQ(at("x"), 1);         // a name without its "="
    EXPECT_EQ(at("p=\"open"), 3);  // a quoted value left open: where it begins
}
