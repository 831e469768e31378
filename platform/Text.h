// Text helpers of the runtime layer. The system's text is 8-bit Windows-1252,
// held byte for byte in std::string; conversion to Unicode happens only at the
// edges (widgets, the batch tool's arguments and JSON).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Exceptions.h"

namespace elo {

// ---- ASCII case rules (scanner tokens, keywords, the "link" test) ----------

inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool SameTextAscii(std::string_view a, std::string_view b);
std::string UpperCaseAscii(std::string_view s);

// ---- Locale-aware case rules (item and command names, folder paths, library
// names). Equality folds the case of accented letters too (É = é) but keeps
// accents apart (é ≠ e). The fold is a per-byte table computed once with ICU,
// so hot paths compare folded bytes and never call the collator.

unsigned char FoldCaseByte(unsigned char c);
// The 256-entry fold table itself, for hot loops.
const unsigned char* FoldCaseTable();
std::string FoldCaseLocale(std::string_view s);
bool SameTextLocale(std::string_view a, std::string_view b);
// Upper case with accented letters (é -> É, ÿ -> Ÿ); letters whose upper case has
// no Windows-1252 code stay as they are.
std::string UpperCaseLocale(std::string_view s);

// Ordering where an order is visible: an ICU collator at secondary strength
// (letter case ignored, accents counted). Negative, zero or positive.
int CompareTextLocale(std::string_view a, std::string_view b);
// The same, always by the collator itself (to check the fast path against).
int CompareTextLocaleIcu(std::string_view a, std::string_view b);
// Precomputed key whose byte order equals CompareTextLocale's order; for sorting
// many texts without calling the collator per comparison.
std::string LocaleSortKey(std::string_view s);

// A text prepared for many comparisons in the collator's order. A text of
// printable ASCII (the usual case for names) compares through a table of the
// collator's own ranks of those characters, which gives the collator's answer
// without calling it; any other text is compared by the collator.
struct TCollationKey {
    std::string Text; // kept only when the text is not Ascii
    // When Ascii: the ranks of the first sixteen characters packed in two words
    // (0 past the end; ranks are never 0), and the ranks of the rest.
    uint64_t Prefix = 0, Prefix2 = 0;
    std::string RanksTail;
    bool Ascii = false;
};
TCollationKey MakeCollationKey(std::string_view s);
int CompareCollationKeys(const TCollationKey& a, const TCollationKey& b);

// ---- Windows-1252 <-> Unicode ---------------------------------------------------
// Lossless for all 256 bytes: the five bytes that Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the code points of the same number.
// A character without a Windows-1252 code is refused, never replaced.

class ETextEncodingError : public Exception {
public:
    using Exception::Exception;
    ETextEncodingError(std::string message, std::string utf8) : Exception(std::move(message)), Utf8(std::move(utf8)) {}
    // The message in UTF-8, showing the character itself (the system's text
    // cannot hold it); empty when the message says all.
    std::string Utf8;
};

// A file name (the system's bytes, UTF-8 on Linux) as the system's text, for
// messages: its characters where Windows-1252 has them, "?" for the others
// and for bytes that are no UTF-8.
std::string FileNameText(std::string_view fileName);

char16_t Cp1252ToUnicode(unsigned char c);
// The Windows-1252 byte of a code point, or -1 when it has none.
int UnicodeToCp1252(char32_t cp);

std::u16string Cp1252ToUtf16(std::string_view s);
std::string Utf16ToCp1252(std::u16string_view s);
std::string Cp1252ToUtf8(std::string_view s);
std::string Utf8ToCp1252(std::string_view s);

// ---- Numbers --------------------------------------------------------------------

// The standard string-to-integer conversion: optional leading blanks, an optional
// sign, decimal digits or a hexadecimal number ("$1F", "0x1F"); nothing may
// follow. Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view s);
bool TryStrToInt(std::string_view s, int32_t& value);
// Strict decimal: an optional sign and decimal digits only, within 32 bits.
bool TryDecimalToInt(std::string_view s, int32_t& value);

// Trims spaces and control characters (bytes up to 0x20) at both ends.
std::string_view TrimControls(std::string_view s);

} // namespace elo
