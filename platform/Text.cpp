#include "Text.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace elo {

namespace {

// Code points of the bytes 0x80..0x9F; the undefined five map to themselves.
constexpr std::array<char16_t, 32> kHighControls = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct CaseTables {
    std::array<unsigned char, 256> fold{};
    std::array<unsigned char, 256> upper{};
    CaseTables() {
        for (int b = 0; b < 256; ++b) {
            const char16_t u = Cp1252ToUnicode(static_cast<unsigned char>(b));
            const int f = UnicodeToCp1252(static_cast<char32_t>(u_foldCase(u, U_FOLD_CASE_DEFAULT)));
            const int up = UnicodeToCp1252(static_cast<char32_t>(u_toupper(u)));
            fold[b] = static_cast<unsigned char>(f < 0 ? b : f);
            upper[b] = static_cast<unsigned char>(up < 0 ? b : up);
        }
    }
};

const CaseTables& Tables() {
    static const CaseTables tables;
    return tables;
}

icu::UnicodeString ToUnicode(std::string_view s) {
    icu::UnicodeString result;
    char16_t* buffer = result.getBuffer(static_cast<int32_t>(s.size()));
    for (size_t i = 0; i < s.size(); ++i) buffer[i] = Cp1252ToUnicode(static_cast<unsigned char>(s[i]));
    result.releaseBuffer(static_cast<int32_t>(s.size()));
    return result;
}

const icu::Collator& Collator() {
    // Collators are cloned per thread: a clone is cheap and needs no locking.
    static std::once_flag once;
    static std::unique_ptr<icu::Collator> prototype;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        prototype.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !prototype) throw Exception("ICU collator unavailable");
        prototype->setStrength(icu::Collator::SECONDARY);
    });
    thread_local std::unique_ptr<icu::Collator> local(prototype->clone());
    return *local;
}

// The refusal of a character: the system's text names it by its code point;
// the UTF-8 form shows the character as well.
ETextEncodingError EncodingError(char32_t cp) {
    char hex[16];
    snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
    std::string shown;
    if (cp >= 0x20 && cp != 0x7F && !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF) {
        char utf8[5] = {};
        int32_t len = 0;
        UBool error = false;
        U8_APPEND(reinterpret_cast<uint8_t*>(utf8), len, 4, static_cast<UChar32>(cp), error);
        if (!error) shown = "'" + std::string(utf8, static_cast<size_t>(len)) + "' ";
    }
    return ETextEncodingError("The character " + std::string(hex) + " has no Windows-1252 code",
                              "The character " + shown + "(" + hex + ") has no Windows-1252 code");
}

} // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

std::string UpperCaseAscii(std::string_view s) {
    std::string result(s);
    for (char& c : result) c = UpperAscii(c);
    return result;
}

unsigned char FoldCaseByte(unsigned char c) {
    return Tables().fold[c];
}

const unsigned char* FoldCaseTable() {
    return Tables().fold.data();
}

std::string FoldCaseLocale(std::string_view s) {
    const auto& fold = Tables().fold;
    std::string result(s);
    for (char& c : result) c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
    return result;
}

bool SameTextLocale(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true; // the usual case: written the same way
    const auto& fold = Tables().fold;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold[static_cast<unsigned char>(a[i])] != fold[static_cast<unsigned char>(b[i])]) return false;
    return true;
}

std::string UpperCaseLocale(std::string_view s) {
    const auto& upper = Tables().upper;
    std::string result(s);
    for (char& c : result) c = static_cast<char>(upper[static_cast<unsigned char>(c)]);
    return result;
}

namespace {

// The collator's order of the printable ASCII characters: rank 1 for the first,
// equal ranks for characters it holds equal (a letter and its capital).
struct AsciiRanks {
    unsigned char rank[128] = {};
    char representative[128] = {}; // a character of each rank
    AsciiRanks() {
        std::vector<char> chars;
        for (int c = 0x20; c < 0x7F; ++c) chars.push_back(static_cast<char>(c));
        auto cmp = [](char x, char y) {
            UErrorCode status = U_ZERO_ERROR;
            return Collator().compare(ToUnicode(std::string_view(&x, 1)), ToUnicode(std::string_view(&y, 1)), status);
        };
        std::stable_sort(chars.begin(), chars.end(), [&](char x, char y) { return cmp(x, y) == UCOL_LESS; });
        unsigned char r = 0;
        for (size_t i = 0; i < chars.size(); ++i) {
            if (i == 0 || cmp(chars[i - 1], chars[i]) != UCOL_EQUAL) {
                ++r;
                representative[r] = chars[i];
            }
            rank[static_cast<unsigned char>(chars[i])] = r;
        }
    }
};

const AsciiRanks& Ranks() {
    static const AsciiRanks ranks;
    return ranks;
}

// Characters of equal rank are equal to the collator, so one stands for all.
char RankToChar(unsigned char rank) {
    return Ranks().representative[rank & 127];
}

bool PrintableAscii(std::string_view s) {
    for (char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

int IcuCompare(std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = Collator().compare(ToUnicode(a), ToUnicode(b), status);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

} // namespace

TCollationKey MakeCollationKey(std::string_view s) {
    TCollationKey key;
    key.Ascii = PrintableAscii(s);
    if (!key.Ascii) {
        key.Text.assign(s);
        return key;
    }
    const AsciiRanks& ranks = Ranks();
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char r = ranks.rank[static_cast<unsigned char>(s[i])];
        if (i < 8)
            key.Prefix |= static_cast<uint64_t>(r) << (56 - 8 * i);
        else if (i < 16)
            key.Prefix2 |= static_cast<uint64_t>(r) << (56 - 8 * (i - 8));
        else
            key.RanksTail.push_back(static_cast<char>(r));
    }
    return key;
}

int CompareCollationKeys(const TCollationKey& a, const TCollationKey& b) {
    if (a.Ascii && b.Ascii) {
        if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix ? -1 : 1;
        if (a.Prefix2 != b.Prefix2) return a.Prefix2 < b.Prefix2 ? -1 : 1;
        const int c = a.RanksTail.compare(b.RanksTail);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    auto text = [](const TCollationKey& k) {
        if (!k.Ascii) return k.Text;
        // Rebuild an Ascii key's text from its ranks: characters of one rank are
        // equal to the collator, so any of them serves.
        std::string t;
        for (uint64_t word : {k.Prefix, k.Prefix2})
            for (int shift = 56; shift >= 0 && ((word >> shift) & 0xFF); shift -= 8)
                t.push_back(RankToChar(static_cast<unsigned char>((word >> shift) & 0xFF)));
        for (char r : k.RanksTail) t.push_back(RankToChar(static_cast<unsigned char>(r)));
        return t;
    };
    return IcuCompare(text(a), text(b));
}

int CompareTextLocale(std::string_view a, std::string_view b) {
    if (PrintableAscii(a) && PrintableAscii(b)) return CompareCollationKeys(MakeCollationKey(a), MakeCollationKey(b));
    return IcuCompare(a, b);
}

int CompareTextLocaleIcu(std::string_view a, std::string_view b) {
    return IcuCompare(a, b);
}

std::string LocaleSortKey(std::string_view s) {
    const icu::UnicodeString text = ToUnicode(s);
    std::string key(s.size() * 2 + 16, '\0');
    int32_t len = Collator().getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    if (len > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<size_t>(len));
        len = Collator().getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), len);
    }
    key.resize(static_cast<size_t>(len > 0 ? len - 1 : 0)); // drop the terminating zero
    return key;
}

char16_t Cp1252ToUnicode(unsigned char c) {
    if (c >= 0x80 && c <= 0x9F) return kHighControls[c - 0x80];
    return c;
}

int UnicodeToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[static_cast<size_t>(i)] == cp) return 0x80 + i;
    return -1;
}

std::u16string Cp1252ToUtf16(std::string_view s) {
    std::u16string result(s.size(), u'\0');
    for (size_t i = 0; i < s.size(); ++i) result[i] = Cp1252ToUnicode(static_cast<unsigned char>(s[i]));
    return result;
}

std::string Utf16ToCp1252(std::u16string_view s) {
    std::string result;
    result.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp = s[i++];
        if (U16_IS_LEAD(cp) && i < s.size() && U16_IS_TRAIL(s[i]))
            cp = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(cp, s[i++]));
        const int b = UnicodeToCp1252(cp);
        if (b < 0) throw EncodingError(cp);
        result.push_back(static_cast<char>(b));
    }
    return result;
}

std::string Cp1252ToUtf8(std::string_view s) {
    std::string result;
    result.reserve(s.size() + s.size() / 8);
    for (unsigned char c : s) {
        if (c < 0x80) {
            result.push_back(static_cast<char>(c));
            continue;
        }
        const char16_t u = Cp1252ToUnicode(c);
        if (u < 0x800) {
            result.push_back(static_cast<char>(0xC0 | (u >> 6)));
        } else {
            result.push_back(static_cast<char>(0xE0 | (u >> 12)));
            result.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        }
        result.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
    return result;
}

std::string Utf8ToCp1252(std::string_view s) {
    std::string result;
    result.reserve(s.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    const auto length = static_cast<int32_t>(s.size());
    for (int32_t i = 0; i < length;) {
        UChar32 cp;
        U8_NEXT(bytes, i, length, cp);
        if (cp < 0) throw ETextEncodingError("The text is not valid UTF-8");
        const int b = UnicodeToCp1252(static_cast<char32_t>(cp));
        if (b < 0) throw EncodingError(static_cast<char32_t>(cp));
        result.push_back(static_cast<char>(b));
    }
    return result;
}

std::string FileNameText(std::string_view fileName) {
    std::string result;
    result.reserve(fileName.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(fileName.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(fileName.size(), INT32_MAX));
    for (int32_t i = 0; i < length;) {
        UChar32 cp;
        U8_NEXT(bytes, i, length, cp);
        const int b = cp < 0 ? -1 : UnicodeToCp1252(static_cast<char32_t>(cp));
        result.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return result;
}

bool TryStrToInt(std::string_view s, int32_t& value) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (hex) {
        // Hexadecimal numbers take all 32 bits, as the platform's conversion does.
        const auto bits = static_cast<uint32_t>(magnitude);
        value = static_cast<int32_t>(negative ? 0u - bits : bits);
        return true;
    }
    if (negative ? magnitude > 0x80000000ull : magnitude > 0x7FFFFFFFull) return false;
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

int32_t StrToInt(std::string_view s) {
    int32_t value = 0;
    if (!TryStrToInt(s, value)) throw EConvertError::NotAnInteger(std::string(s));
    return value;
}

bool TryDecimalToInt(std::string_view s, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) return false;
    int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        magnitude = magnitude * 10 + (s[i] - '0');
        if (magnitude > 0x80000000ll) return false;
    }
    const int64_t v = negative ? -magnitude : magnitude;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::string_view TrimControls(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
    return s.substr(b, e - b);
}

} // namespace elo
