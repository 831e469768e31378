#include "Scanner.h"

#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Text.h"

namespace elo {

namespace {

enum class State : uint8_t {
    Start,
    Name,
    Integer,
    Fraction,
    SingleQuoted,
    DoubleQuoted,
    LineComment,
    AfterZero,
    HexDigits,
    AfterPrefix,
    Block,
    Operator,
};

inline bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool IsHexDigit(unsigned char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Texts after which a "+" or "-" followed by a digit begins a number.
// They are "+", "-", "/", "*", ">", "<", "=", "<>", ">=", "<=", "," and "(".
bool EnablesSign(std::string_view text) {
    if (text.size() == 1) {
        switch (text[0]) {
        case '+':
        case '-':
        case '/':
        case '*':
        case '>':
        case '<':
        case '=':
        case ',':
        case '(':
            return true;
        default:
            return false;
        }
    }
    return text == "<>" || text == ">=" || text == "<=";
}

} // namespace

// ---- TTokenList -------------------------------------------------------------

void TTokenList::Clear() {
    FTokens.clear();
    FText.clear();
}

void TTokenList::Assign(std::string_view text) {
    FTokens.clear();
    FText.assign(text);
}

const TToken* TTokenList::Items(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return &FTokens[static_cast<size_t>(index)];
}

std::string_view TTokenList::TextOf(const TToken& token) const {
    return std::string_view(FText).substr(static_cast<size_t>(token.Start), static_cast<size_t>(token.Length));
}

// ---- TCustomScanner -----------------------------------------------------------

TCustomScanner::TCustomScanner() {
    SetNameChars({});
    SetSymbolChars({});
}

TCustomScanner::~TCustomScanner() = default;

void TCustomScanner::SetNameChars(std::string_view chars) {
    for (int c = 0; c < 256; ++c) FNameChars[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    for (char c : chars) FNameChars[static_cast<unsigned char>(c)] = true;
}

void TCustomScanner::SetSymbolChars(std::string_view chars) {
    std::memset(FSymbolChars, 0, sizeof FSymbolChars);
    for (char c : chars) FSymbolChars[static_cast<unsigned char>(c)] = true;
}

void TCustomScanner::AddKeyword(std::string keyword) {
    FKeywords.push_back(std::move(keyword));
    FKeywordsChanged = true;
}

void TCustomScanner::SetKeywords(std::vector<std::string> keywords) {
    FKeywords = std::move(keywords);
    FKeywordsChanged = true;
}

void TCustomScanner::ClearKeywords() {
    FKeywords.clear();
    FKeywordsChanged = true;
}

void TCustomScanner::RebuildKeywordTable() {
    FKeywordTable.reset();
    FKeywordsChanged = false;
    if (FKeywords.empty()) return;
    auto table = std::make_unique<THashList>(static_cast<int>(FKeywords.size()));
    table->CaseInsensitive = true;
    for (size_t i = 0; i < FKeywords.size(); ++i) table->Add(FKeywords[i], static_cast<THashValue>(i));
    FKeywordTable = std::move(table);
}

void TCustomScanner::SetText(std::string_view text) {
    if (FKeywordsChanged) RebuildKeywordTable();
    FHexChar = HexPrefix.empty() ? '$' : static_cast<unsigned char>(HexPrefix[0]);
    FCharPrefix = CharPrefix.empty() ? -1 : static_cast<unsigned char>(CharPrefix[0]);
    // Offsets are 32-bit: a longer text cannot be addressed.
    if (text.size() > static_cast<size_t>(INT32_MAX - 16)) throw Exception("Text too long to scan");
    FText.assign(text);
    FSignFlag = true;
    FCursor = 0;
    Rescan();
}

void TCustomScanner::Rescan() {
    Scan([this](const TToken& token) { TokenAccepted(token); });
}

bool TCustomScanner::StartsWithAt(int32_t pos, const std::string& s) const {
    if (s.empty() || pos < 0) return false;
    const auto p = static_cast<size_t>(pos);
    if (p + s.size() > FText.size() || FText[p] != s[0]) return false;
    return s.size() == 1 || std::memcmp(FText.data() + p + 1, s.data() + 1, s.size() - 1) == 0;
}

bool TCustomScanner::NextToken(TToken& token, uint8_t& kind) {
    const auto* s = reinterpret_cast<const unsigned char*>(FText.data());
    const auto len = static_cast<int32_t>(FText.size());
    auto at = [&](int32_t p) -> unsigned char { return (p >= 0 && p < len) ? s[p] : 0; };
    // Taking the last character of a quoted string sets the end flag.
    auto takeQuoted = [&] {
        ++FCursor;
        if (FCursor >= len) FEnd = true;
    };

    State state = State::Start;
    int32_t start = FCursor;
    kind = tkNone;
    if (FEnd) {
        kind = tkEnd;
    } else {
        for (;;) {
            const unsigned char c = at(FCursor);
            switch (state) {
            case State::Start:
                if (FEnd) {
                    kind = tkEnd;
                } else if (FNameChars[c]) {
                    start = FCursor++;
                    state = State::Name;
                } else if (c == '"' || c == '\'') {
                    start = FCursor;
                    takeQuoted();
                    state = c == '"' ? State::DoubleQuoted : State::SingleQuoted;
                } else if (c == '0') {
                    start = FCursor++;
                    state = State::AfterZero;
                } else if (c >= '1' && c <= '9') {
                    start = FCursor++;
                    state = State::Integer;
                } else if (c == '<' || c == '=' || c == '>' || c == '|') {
                    start = FCursor;
                    if (FSymbolChars[c]) {
                        ++FCursor;
                        kind = tkSymbol;
                    } else {
                        state = State::Operator;
                    }
                } else if (c == FHexChar) {
                    start = FCursor++;
                    state = State::AfterPrefix;
                } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                    ++FCursor;
                    while (FCursor < len &&
                           (s[FCursor] == ' ' || s[FCursor] == '\t' || s[FCursor] == '\n' || s[FCursor] == '\r'))
                        ++FCursor;
                } else if (StartsWithAt(FCursor, LineCommentOpener)) {
                    start = FCursor;
                    FCursor += static_cast<int32_t>(LineCommentOpener.size());
                    state = State::LineComment;
                } else if (StartsWithAt(FCursor, BlockOpener)) {
                    FBlockDepth = 1;
                    start = FCursor;
                    FCursor += static_cast<int32_t>(BlockOpener.size());
                    state = State::Block;
                } else if (c == '+' || c == '-') {
                    start = FCursor++;
                    if (IsDigit(at(FCursor)) && FSignFlag)
                        state = State::Integer;
                    else
                        kind = FSymbolChars[c] ? tkSymbol : tkError;
                } else {
                    start = FCursor++;
                    kind = FSymbolChars[c] ? tkSymbol : tkError;
                }
                break;
            case State::Name:
                if (FCharPrefix >= 0 && c == FCharPrefix) {
                    kind = tkName;
                } else if ((FNameChars[c] || (DigitsInNames && IsDigit(c))) && c != 0) {
                    // Take the run of name characters at once.
                    ++FCursor;
                    while (FCursor < len) {
                        const unsigned char d = s[FCursor];
                        if (d == 0 || d == FCharPrefix || !(FNameChars[d] || (DigitsInNames && IsDigit(d)))) break;
                        ++FCursor;
                    }
                } else if (c == 0 && FNameChars[0]) {
                    ++FCursor; // NUL configured as a name character: taken, and the text ends
                } else {
                    kind = tkName;
                }
                break;
            case State::Integer:
                if (c == '.' && IsDigit(at(FCursor + 1))) {
                    ++FCursor;
                    state = State::Fraction;
                } else if (IsDigit(c)) {
                    ++FCursor;
                    while (FCursor < len && IsDigit(s[FCursor])) ++FCursor;
                } else {
                    kind = tkInteger;
                }
                break;
            case State::Fraction:
                if (IsDigit(c))
                    ++FCursor;
                else
                    kind = tkFloat;
                break;
            case State::SingleQuoted:
                if (c == 0 || c == '\n' || c == '\r') {
                    kind = tkError;
                } else {
                    takeQuoted();
                    if (c == '\'') kind = tkString;
                }
                break;
            case State::DoubleQuoted:
                if (c == 0) {
                    kind = tkError;
                } else {
                    // Fast path over the body of the string.
                    if (c != '"') {
                        const auto* q = static_cast<const unsigned char*>(
                            std::memchr(s + FCursor, '"', static_cast<size_t>(len - FCursor)));
                        const unsigned char* limit = q ? q : s + len;
                        const auto* z = static_cast<const unsigned char*>(
                            std::memchr(s + FCursor, 0, static_cast<size_t>(limit - (s + FCursor))));
                        FCursor = static_cast<int32_t>((z ? z : limit) - s);
                        if (FCursor >= len) FEnd = true;
                        break;
                    }
                    takeQuoted();
                    kind = tkString;
                }
                break;
            case State::LineComment:
                ++FCursor;
                if (c == '\n' || c == '\r') kind = tkLineComment;
                break;
            case State::AfterZero:
                if (c == '.') {
                    ++FCursor;
                    state = State::Fraction;
                } else if (IsDigit(c)) {
                    ++FCursor;
                    state = State::Integer;
                } else if (c == 'x' || c == 'X') {
                    ++FCursor;
                    state = State::HexDigits;
                } else {
                    kind = tkInteger;
                }
                break;
            case State::HexDigits:
                if (IsHexDigit(c)) {
                    ++FCursor;
                } else if (FSymbolChars[FHexChar]) {
                    FCursor = start + 1;
                    kind = tkSymbol;
                } else {
                    kind = tkHexNumber;
                }
                break;
            case State::AfterPrefix:
                if (IsHexDigit(c)) {
                    ++FCursor;
                    state = State::HexDigits;
                } else if (FSymbolChars[FHexChar]) {
                    kind = tkSymbol;
                } else {
                    ++FCursor;
                    kind = tkError;
                }
                break;
            case State::Block:
                if (BlockOpener.size() == 1 && BlockCloser.size() == 1 && c != 0 &&
                    c != static_cast<unsigned char>(BlockOpener[0]) &&
                    c != static_cast<unsigned char>(BlockCloser[0])) {
                    // Take the run of plain content at once.
                    const unsigned char open = static_cast<unsigned char>(BlockOpener[0]);
                    const unsigned char close = static_cast<unsigned char>(BlockCloser[0]);
                    ++FCursor;
                    while (FCursor < len) {
                        const unsigned char d = s[FCursor];
                        if (d == open || d == close || d == 0) break;
                        ++FCursor;
                    }
                } else if (StartsWithAt(FCursor, BlockCloser)) {
                    if (--FBlockDepth == 0) {
                        FCursor += static_cast<int32_t>(BlockCloser.size());
                        kind = tkBlock;
                    } else {
                        ++FCursor;
                    }
                } else if (StartsWithAt(FCursor, BlockOpener)) {
                    ++FBlockDepth;
                    ++FCursor;
                } else {
                    ++FCursor;
                }
                break;
            case State::Operator:
                ++FCursor;
                if (c == '<') {
                    if (at(FCursor) == '=' || at(FCursor) == '>') ++FCursor;
                } else if (c == '>') {
                    if (at(FCursor) == '=') ++FCursor;
                } else if (c == '|') {
                    if (at(FCursor) == '|') ++FCursor;
                }
                kind = tkOperator;
                break;
            }
            if (c == 0) {
                // The text has ended (or holds a NUL): an open token, or an
                // error, ends the token list.
                if (kind == tkNone || kind == tkError) kind = tkEnd;
                break;
            }
            if (kind != tkNone) break;
        }
    }

    if (kind == tkEnd || FCursor == start) return false;

    FSignFlag = false;
    token.Kind = kind;
    token.Start = start;
    token.Length = FCursor - start;
    if (kind == tkString) {
        token.Start += 1;
        token.Length -= 2;
    } else if (kind == tkBlock) {
        token.Start += static_cast<int32_t>(BlockOpener.size());
        token.Length -= static_cast<int32_t>(BlockOpener.size() + BlockCloser.size());
    }
    if (token.Length < 0 || static_cast<int64_t>(token.Start) + token.Length > len)
        throw Exception("Inconsistent Parse");

    const std::string_view text(FText.data() + token.Start, static_cast<size_t>(token.Length));
    if (kind == tkName && FKeywordTable) {
        THashValue index = 0;
        if (FKeywordTable->Find(text, index)) {
            token.Kind = tkKeyword;
            token.KeywordIndex = static_cast<uint16_t>(index);
        }
    }
    if (token.Kind == tkKeyword || ((kind == tkSymbol || kind == tkError || kind == tkOperator) && EnablesSign(text)))
        FSignFlag = true;
    return true;
}

bool TCustomScanner::TokenIs(const TToken* token, std::string_view s) const {
    if (!token || static_cast<size_t>(token->Length) != s.size()) return false;
    const std::string_view text = ScannedText();
    for (size_t i = 0; i < s.size(); ++i)
        if (UpperAscii(text[static_cast<size_t>(token->Start) + i]) != UpperAscii(s[i])) return false;
    return true;
}

bool TCustomScanner::TokenStartsWith(const TToken* token, std::string_view s, int n) const {
    if (!token) return false;
    const std::string_view text = ScannedText();
    for (int i = 0; i < n; ++i) {
        const size_t p = static_cast<size_t>(token->Start) + static_cast<size_t>(i);
        if (p >= text.size()) break; // the comparison stops at the end of the text
        const char c = static_cast<size_t>(i) < s.size() ? s[static_cast<size_t>(i)] : '\0';
        if (UpperAscii(text[p]) != UpperAscii(c)) return false;
    }
    return true;
}

std::string TCustomScanner::GetTokenText(const TToken* token) const {
    if (!token) return {};
    return std::string(ScannedText().substr(static_cast<size_t>(token->Start), static_cast<size_t>(token->Length)));
}

// ---- TScanner -------------------------------------------------------------------

void TScanner::Rescan() {
    FTokens.Assign(Text());
    Scan([this](const TToken& token) { FTokens.Add(token); });
}

std::string_view TScanner::TokenView(int index) const {
    const TToken* token = Tokens(index);
    return token ? FTokens.TextOf(*token) : std::string_view();
}

} // namespace elo
