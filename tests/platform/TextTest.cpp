#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/Text.h"

using namespace elo;

TEST(LocaleCase, FoldsAccentedLettersButKeepsAccents) {
    EXPECT_TRUE(SameTextLocale("\xC9", "\xE9"));                         // É = é
    EXPECT_FALSE(SameTextLocale("\xE9", "e"));                           // é ≠ e
    EXPECT_TRUE(SameTextLocale("A\\B\xC7", "a\\b\xE7"));                 // Ç = ç
    EXPECT_TRUE(SameTextLocale("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF")); // Š Œ Ž Ÿ
    EXPECT_FALSE(SameTextLocale("ab", "abc"));
    EXPECT_EQ(FoldCaseLocale("Caption"), FoldCaseLocale("CAPTION"));
}

TEST(LocaleCase, UpperCaseKeepsLettersWithoutAnUpperCaseCode) {
    EXPECT_EQ(UpperCaseLocale("a.\xE9x\xFF"), "A.\xC9X\x9F");
    EXPECT_EQ(UpperCaseLocale("\xDF\xB5"), "\xDF\xB5"); // ß and µ stay
    EXPECT_EQ(UpperCaseAscii("a\xE9z"), "A\xE9Z");
    EXPECT_TRUE(SameTextAscii("LiNk", "link"));
    EXPECT_FALSE(SameTextAscii("\xC9", "\xE9"));
}

TEST(LocaleCollation, IgnoresCaseCountsAccentsAndAgreesWithSortKeys) {
    EXPECT_EQ(CompareTextLocale("abc", "ABC"), 0);
    EXPECT_LT(CompareTextLocale("a", "B"), 0);
    EXPECT_NE(CompareTextLocale("e", "\xE9"), 0);
    EXPECT_LT(CompareTextLocale("cote", "c\xF4te"), 0);

    std::vector<std::string> words = {"b.X", "A.x", "_A", "1a", "\xC9tat", "etat", "Zed", "a.b"};
    auto byCollator = words;
    std::stable_sort(byCollator.begin(), byCollator.end(),
                     [](const auto& a, const auto& b) { return CompareTextLocale(a, b) < 0; });
    auto byKey = words;
    std::stable_sort(byKey.begin(), byKey.end(),
                     [](const auto& a, const auto& b) { return LocaleSortKey(a) < LocaleSortKey(b); });
    EXPECT_EQ(byCollator, byKey);
}

TEST(Cp1252, EveryByteRoundTripsThroughUtf8AndUtf16) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
    EXPECT_EQ(Utf16ToCp1252(Cp1252ToUtf16(all)), all);
    // The undefined bytes map to the code points of the same number.
    EXPECT_EQ(Cp1252ToUtf16("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // €
    EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");
}

TEST(Cp1252, RefusesCharactersWithoutACodeAndBrokenUtf8) {
    try {
        Utf8ToCp1252("a\xC5\x82"); // ł
        FAIL();
    } catch (const ETextEncodingError& e) {
        EXPECT_NE(e.Message.find("U+0142"), std::string::npos) << e.Message;
    }
    EXPECT_THROW(Utf8ToCp1252("\xF0\x9F\x98\x80"), ETextEncodingError); // emoji
    EXPECT_THROW(Utf8ToCp1252("\xC3"), ETextEncodingError);             // cut sequence
    EXPECT_THROW(Utf8ToCp1252("\xC0\xAF"), ETextEncodingError);         // overlong
    EXPECT_THROW(Utf16ToCp1252(u"\u0080"), ETextEncodingError);         // C1 control 0x80 has no code
}

TEST(Numbers, StrToIntFollowsThePlatformConversion) {
    EXPECT_EQ(StrToInt("131"), 131);
    EXPECT_EQ(StrToInt("-5"), -5);
    EXPECT_EQ(StrToInt("  7"), 7);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x1f"), 31);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    for (const char* bad : {"", " ", "1 ", "abc", "2147483648", "1.5", "+", "$", "0x"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message, std::string("'") + bad + "' is not a valid integer value");
        }
    }
    int32_t v = 0;
    EXPECT_TRUE(TryDecimalToInt("-12", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(TryDecimalToInt("$12", v));
    EXPECT_FALSE(TryDecimalToInt(" 12", v));
    EXPECT_FALSE(TryDecimalToInt("99999999999", v));
}

TEST(Text, TrimControlsRemovesSpacesAndControlCharacters) {
    EXPECT_EQ(TrimControls("  \t x y \x01\x1F "), "x y");
    EXPECT_EQ(TrimControls("\x7F"), "\x7F");
    EXPECT_EQ(TrimControls("   "), "");
}
