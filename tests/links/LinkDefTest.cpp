#include <gtest/gtest.h>

#include "cmdlang/LnkUtils.h"
#include "links/LinkDef.h"

using namespace elo;

namespace {

struct Counter {
    int32_t next = 100;
    int calls = 0;
    TGetNewIdEvent Provider() {
        return [this](void*, int32_t& id) {
            ++calls;
            id = next++;
        };
    }
};

} // namespace

TEST(LinkDef, DecodesEveryKey) {
    Counter ids;
    TLinkDefinition r;
    DecodeLink(r,
               "link={T&pointer=\"p\";Caption=\"C\",link={U&x=1}};_id=\"5\";_tag=\"6\";_keyw=\"k1\";"
               "_hidden=\"True\";Caption=\"B\";ORDER=\"3\";DEFAULTEDIT=\"1\",ignored=1",
               ids.Provider());
    EXPECT_EQ(r.Target, "T");
    ASSERT_EQ(r.Tags.size(), 2u);
    EXPECT_EQ(r.Tags[0], (TLinkTag{"pointer", "C", "pointer=\"p\";Caption=\"C\""}));
    EXPECT_EQ(r.Tags[1], (TLinkTag{"link", "", "link={U&x=1}"}));
    EXPECT_EQ(r.Id, "5");
    EXPECT_EQ(r.TypeIndex, 5); // code 6: "Lista"
    EXPECT_EQ(r.Keywords, "k1");
    EXPECT_TRUE(r.Hidden);
    EXPECT_EQ(r.Caption, "B");
    EXPECT_EQ(r.Order, "3");
    EXPECT_TRUE(r.DefaultEdit);
    EXPECT_FALSE(r.Verbatim);
    EXPECT_EQ(ids.calls, 0);
}

TEST(LinkDef, TypeTable) {
    EXPECT_STREQ(kLinkTypeCaptions[0], "(nenhum)");
    EXPECT_STREQ(kLinkTypeCaptions[1], "M\xF3"
                                       "dulo");
    EXPECT_EQ(TypeCode(1), 0);
    EXPECT_EQ(TypeCode(7), 8);
    EXPECT_EQ(TypeIndexOfCode(0), 1);
    EXPECT_EQ(TypeIndexOfCode(131), 2); // 131 AND 127 is 3
    EXPECT_EQ(TypeIndexOfCode(2), 0);
    EXPECT_EQ(TypeIndexOfCode(9), 0);
    EXPECT_EQ(TypeIndexOfCode(-125), 2); // two's complement: -125 AND 127 is 3

    Counter ids;
    TLinkDefinition r;
    DecodeLink(r, "link={x};_id=\"1\";_tag=\"2\"", ids.Provider());
    EXPECT_EQ(r.TypeIndex, 0);
    EXPECT_EQ(EncodeLink(r), "link={x};_id=\"1\""); // no "_tag" at all
    DecodeLink(r, "link={x};_id=\"1\";_tag=\"0\"", ids.Provider());
    EXPECT_EQ(r.TypeIndex, 1);
    try {
        DecodeLink(r, "link={y};_id=\"2\";_tag=\"1x\";Caption=\"c\"", ids.Provider());
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message, "'1x' is not a valid integer value");
    }
    EXPECT_TRUE(r.Verbatim);
    EXPECT_EQ(r.RawText, "link={y};_id=\"2\";_tag=\"1x\";Caption=\"c\"");
    EXPECT_EQ(LinkTextToStore(r), r.RawText);                         // what the editor hands back unchanged
    DecodeLink(r, "link={y};_id=\"2\";_tag=\"$83\"", ids.Provider()); // the standard conversion reads hex
    EXPECT_EQ(r.TypeIndex, 2);
}

TEST(LinkDef, RulesAndEmptyTextsKeepTheFieldsOfThePreviousLink) {
    Counter ids;
    TLinkDefinition r;
    DecodeLink(r, "link={T&p=1};_id=\"1\";_tag=\"6\";Caption=\"Old\";ORDER=\"9\"", ids.Provider());
    DecodeLink(r, "link={Z};Caption=\"has RULES\"", ids.Provider());
    EXPECT_EQ(r.Target, "T");
    EXPECT_EQ(r.TypeIndex, 5);
    EXPECT_EQ(r.Caption, "Old");
    EXPECT_TRUE(r.Tags.empty());
    EXPECT_EQ(r.Id, "");
    EXPECT_EQ(r.Order, "");
    EXPECT_EQ(ids.calls, 0);
    EXPECT_TRUE(r.Verbatim);
    EXPECT_EQ(LinkTextToStore(r), "link={Z};Caption=\"has RULES\"");
    DecodeLink(r, "link={Z};Caption=\"rules\"", ids.Provider()); // lower case does not count
    EXPECT_FALSE(r.Verbatim);

    // The empty link string of a new item: the type stays, an identifier is drawn.
    DecodeLink(r, "link={T};_id=\"1\";_tag=\"6\"", ids.Provider());
    DecodeLink(r, "", ids.Provider());
    EXPECT_EQ(r.TypeIndex, 5);
    EXPECT_EQ(r.Target, "");
    EXPECT_TRUE(r.Tags.empty());
    EXPECT_EQ(r.Id, "101"); // 100 went to the link above without "_id"
    DecodeLink(r, "", ids.Provider());
    EXPECT_EQ(r.Id, "102"); // the same text draws again
    DecodeLink(r, "", nullptr);
    EXPECT_EQ(r.Id, "0"); // without a provider
}

TEST(LinkDef, TargetSplitting) {
    Counter ids;
    TLinkDefinition r;
    DecodeLink(r, "link={pointer&x=1};_id=\"1\"", ids.Provider());
    EXPECT_EQ(r.Target, "pointer&x=1");
    EXPECT_TRUE(r.Tags.empty());
    DecodeLink(r, "link={Pointer&x=1};_id=\"1\"", ids.Provider());
    EXPECT_EQ(r.Target, "Pointer");
    EXPECT_EQ(r.Tags.size(), 1u);
    DecodeLink(r, "_id=\"1\";Caption=\"c\"", ids.Provider()); // no "link" item
    EXPECT_EQ(r.Target, "");
    EXPECT_TRUE(r.Tags.empty());
    DecodeLink(r, "1&{y}", ids.Provider()); // no command at all: the whole text
    EXPECT_EQ(r.Target, "1");
    ASSERT_EQ(r.Tags.size(), 1u);
    EXPECT_EQ(r.Tags[0], (TLinkTag{"y", "", "link={y}"}));
    DecodeLink(r, "link={A&};_id=\"1\"", ids.Provider());
    EXPECT_EQ(r.Target, "A");
    EXPECT_TRUE(r.Tags.empty());
    EXPECT_THROW(DecodeLink(r, "link={A&p=1;};_id=\"1\"", ids.Provider()), ESyntaxError);
    EXPECT_TRUE(r.Tags.empty()); // a rejected tag text adds no tag
}

TEST(LinkDef, FlagsAndEncoding) {
    Counter ids;
    TLinkDefinition r;
    for (const char* v : {"TRUE", "True", "true"}) {
        DecodeLink(r, std::string("link={x};_id=\"1\";_hidden=\"") + v + "\"", ids.Provider());
        EXPECT_TRUE(r.Hidden) << v;
    }
    DecodeLink(r, "link={x};_id=\"1\";_hidden=\"1\";DEFAULTEDIT=\"true\"", ids.Provider());
    EXPECT_FALSE(r.Hidden);
    EXPECT_FALSE(r.DefaultEdit);

    TLinkDefinition empty;
    empty.Id = "0";
    EXPECT_EQ(EncodeLink(empty), "link={};_id=\"0\"");
    empty.Id = "";
    EXPECT_EQ(EncodeLink(empty), "link={};_id=\"\"");

    TLinkDefinition full;
    full.Target = "T";
    full.Tags = {{"p", "", "p=\"1\""}, {"", "", ""}, {"q", "", "q=w"}};
    full.Id = "7";
    full.TypeIndex = 7;
    full.Keywords = "k";
    full.Hidden = true;
    full.Caption = "C";
    full.Order = "2";
    full.DefaultEdit = true;
    EXPECT_EQ(EncodeLink(full), "link={T&p=\"1\",,q=w};_id=\"7\";_tag=\"8\";_keyw=\"k\";_hidden=\"TRUE\";"
                                "Caption=\"C\";ORDER=\"2\";DEFAULTEDIT=\"1\"");
    // An empty tag leaves an empty place: it yields no tag on the next decoding.
    DecodeLink(r, EncodeLink(full), ids.Provider());
    EXPECT_EQ(r.Tags.size(), 2u);
}

TEST(LinkDef, RecordsSurviveTheirOwnEncoding) {
    Counter ids;
    TLinkDefinition r;
    r.Target = "Cadastro.Clientes";
    r.Tags = TagsFromText("pointer=\"p\";Caption=\"Ponteiro\",link={Sub&x=1};_id=\"4\",filtro=ativo");
    r.Id = "12";
    r.TypeIndex = 3;
    r.Keywords = "vendas";
    r.Caption = "Cl\xEDnica";
    r.Order = "1";
    r.DefaultEdit = true;
    TLinkDefinition back;
    DecodeLink(back, EncodeLink(r), ids.Provider());
    EXPECT_EQ(back.Target, r.Target);
    EXPECT_EQ(back.Tags, r.Tags);
    EXPECT_EQ(back.Id, r.Id);
    EXPECT_EQ(back.TypeIndex, r.TypeIndex);
    EXPECT_EQ(back.Keywords, r.Keywords);
    EXPECT_EQ(back.Hidden, r.Hidden);
    EXPECT_EQ(back.Caption, r.Caption);
    EXPECT_EQ(back.Order, r.Order);
    EXPECT_EQ(back.DefaultEdit, r.DefaultEdit);
    EXPECT_EQ(ids.calls, 0);
}

TEST(LinkDef, TagsAndParameterRows) {
    const auto tags = TagsFromText("pointer='p';Caption=\"C\",{x},link={U}");
    ASSERT_EQ(tags.size(), 2u); // a braced group begins a command only at the start
    EXPECT_EQ(tags[0], (TLinkTag{"pointer", "C", "pointer=\"p\";Caption=\"C\""}));
    EXPECT_EQ(tags[1], (TLinkTag{"link", "", "link={U}"}));
    EXPECT_EQ(TagsFromText("{x},p=1")[0], (TLinkTag{"x", "", "link={x}"}));

    const auto rows = ParametersFromTagText("p=[v=w];q=\"a b\";r=1;s={t},other=2");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (TTagParameter{"1", "p", "v"}));
    EXPECT_EQ(rows[1], (TTagParameter{"0", "q", "\"a b\""}));
    EXPECT_EQ(rows[2], (TTagParameter{"0", "r", "1"}));
    EXPECT_EQ(rows[3], (TTagParameter{"0", "s", "{t}"}));
    EXPECT_TRUE(ParametersFromTagText("").empty());
    EXPECT_TRUE(ParametersFromTagText("=").empty()); // "=" alone yields no command

    EXPECT_EQ(TagTextFromParameters(rows), "p=v;q=\"a b\";r=1;s={t}");
    EXPECT_EQ(TagTextFromParameters({}), "");
    EXPECT_EQ(TagTextFromParameters({{"0", "", ""}}), "=");
    // An empty row between others commits a text that the parser rejects.
    EXPECT_THROW(ParametersFromTagText(TagTextFromParameters({{"0", "a", "1"}, {"0", "", ""}, {"0", "b", "2"}})),
                 ESyntaxError);
}
