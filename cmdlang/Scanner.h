// A configurable tokenizer. Given a text it produces, in one pass, the complete
// list of the text's tokens (kind, offset, length). Name characters, symbol
// characters, comment and block delimiters and keywords are settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "GHash.h"

namespace elo {

// Token kinds, by their numeric codes.
enum TTokenKind : uint8_t {
    tkNone = 0, // no kind decided yet (never stored)
    tkBlock = 1,
    tkEnd = 2, // the end of the text; never stored
    tkError = 3,
    tkHexNumber = 4,
    tkName = 5,
    tkInteger = 6,
    tkKeyword = 7,
    tkFloat = 8,
    tkSymbol = 9,
    tkString = 10,
    tkOperator = 11,
    tkLineComment = 12,
};

struct TToken {
    uint8_t Kind = tkNone;
    uint16_t KeywordIndex = 0; // set for keywords only
    int32_t Start = 0;         // 0-based; for strings and blocks, inside the delimiters
    int32_t Length = 0;        // for strings and blocks, without the delimiters
};

// The produced tokens, with the list's own copy of the scanned text.
class TTokenList {
public:
    void Clear();
    void Assign(std::string_view text);
    void Add(const TToken& token) { FTokens.push_back(token); }
    int Count() const { return static_cast<int>(FTokens.size()); }
    const TToken* Items(int index) const;
    const std::string& Text() const { return FText; }
    std::string_view TextOf(const TToken& token) const;

private:
    std::vector<TToken> FTokens;
    std::string FText;
};

class TCustomScanner;
// Called for every token produced; may clear accept (the token is dropped) or set
// stop (scanning ends after this token).
using TTokenEvent = std::function<void(TCustomScanner& sender, int attempt, bool& stop, bool& accept, TToken& token)>;

class TCustomScanner {
public:
    static constexpr const char* Version = "1.04";

    TCustomScanner();
    virtual ~TCustomScanner();
    TCustomScanner(const TCustomScanner&) = delete;
    TCustomScanner& operator=(const TCustomScanner&) = delete;

    // The name characters become "A"-"Z", "a"-"z" plus every character of chars.
    void SetNameChars(std::string_view chars);
    // The symbol characters become exactly the characters of chars.
    void SetSymbolChars(std::string_view chars);
    bool IsNameChar(unsigned char c) const { return FNameChars[c]; }
    bool IsSymbolChar(unsigned char c) const { return FSymbolChars[c]; }

    bool DigitsInNames = true;
    std::string LineCommentOpener = "//";
    std::string BlockOpener = "{";
    std::string BlockCloser = "}";
    std::string HexPrefix = "$";  // empty means "$"
    std::string CharPrefix = "#"; // empty means none
    TTokenEvent OnToken;

    // The keyword list; any change marks the keyword table for rebuilding.
    const std::vector<std::string>& Keywords() const { return FKeywords; }
    void AddKeyword(std::string keyword);
    void SetKeywords(std::vector<std::string> keywords);
    void ClearKeywords();

    // Rebuilds the keyword table when the list changed, stores text and
    // tokenizes all of it.
    void SetText(std::string_view text);
    const std::string& Text() const { return FText; }

    virtual void Rescan();
    virtual bool TokenIs(const TToken* token, std::string_view s) const;
    virtual bool TokenStartsWith(const TToken* token, std::string_view s, int n) const;
    virtual std::string GetTokenText(const TToken* token) const;

protected:
    // Receives every accepted token of a scan.
    virtual void TokenAccepted(const TToken& /*token*/) {}
    // The text that token offsets refer to.
    virtual std::string_view ScannedText() const { return FText; }

    // Scanning: runs NextToken from the first character to the end (or until
    // OnToken stops it) and hands every accepted token to store.
    template <typename Store> void Scan(Store&& store) {
        FBlockDepth = 0;
        FEnd = false;
        FCursor = 0;
        FSignFlag = true;
        int attempt = 0;
        for (;;) {
            TToken token;
            uint8_t kind = tkNone;
            bool stop = false;
            if (NextToken(token, kind)) {
                bool accept = true;
                if (OnToken) OnToken(*this, attempt, stop, accept, token);
                if (accept) store(token);
            }
            ++attempt;
            if (kind == tkEnd || stop) break;
        }
    }

private:
    // Produces the next token; false when none results. kind receives the
    // token's kind, or tkEnd when the text has ended.
    bool NextToken(TToken& token, uint8_t& kind);
    bool StartsWithAt(int32_t pos, const std::string& s) const;
    void RebuildKeywordTable();

    bool FNameChars[256];
    bool FSymbolChars[256];
    std::vector<std::string> FKeywords;
    bool FKeywordsChanged = false;
    std::unique_ptr<THashList> FKeywordTable;

    std::string FText;
    int32_t FCursor = 0;
    int32_t FBlockDepth = 0;
    bool FEnd = false;
    bool FSignFlag = true;
    unsigned char FHexChar = '$';
    int FCharPrefix = '#'; // -1 when none
};

// The scanner that keeps what it produces in a token list. Token texts and
// comparisons are taken from the list's own copy of the text.
class TScanner : public TCustomScanner {
public:
    // Clears the token list, which takes a copy of the text, then scans.
    void Rescan() override;

    int TokenCount() const { return FTokens.Count(); }
    // The token at index, or null when index is negative or not below TokenCount.
    const TToken* Tokens(int index) const { return FTokens.Items(index); }
    bool IsEnd(int index) const { return index >= FTokens.Count(); }
    std::string TokenText(int index) const { return GetTokenText(Tokens(index)); }
    // The token's text without copying it.
    std::string_view TokenView(int index) const;
    const TTokenList& TokenList() const { return FTokens; }

protected:
    void TokenAccepted(const TToken& token) override { FTokens.Add(token); }
    std::string_view ScannedText() const override { return FTokens.Text(); }

private:
    TTokenList FTokens;
};

} // namespace elo
