// The command-list parser. A command list is a sequence of commands separated
// by ","; a command is a sequence of items separated by ";"; an item is a name,
// "=" and a value. Every link string is written in this language.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exceptions.h"

namespace elo {

class ESyntaxError : public Exception {
public:
    using Exception::Exception;
};

inline constexpr const char* kSyntaxErrorMessage = "Syntax error in command line";
inline constexpr const char* kParameterNotFoundMessage = "Parameter not found";

struct TcmdItem {
    std::string Name;    // as written; "link" for an item without a name
    std::string Value;   // the value's text, without quotes or outer braces
    std::string Source;  // the value as written, quotes and braces included
    bool IsWord = false; // a bare word or the bracket form
    std::string Param;   // bracket form only: the text after "=" inside the brackets
    bool IsBracket = false;
    // Where the item stands in the parsed text (byte offsets): its first token
    // (the name, or the value of an item without one), its value (the bracket
    // form from "[" on) and the end of its last token.
    size_t ItemStart = 0;
    size_t ValueStart = 0;
    size_t End = 0;
};

class TcmdGroup {
public:
    explicit TcmdGroup(std::string name) : Name(std::move(name)) {}

    std::string Name;
    // Where the command stands in the parsed text: from its first token to the
    // end of its last item.
    size_t Start = 0;
    size_t End = 0;

    int Count() const { return FCount; }
    // The item at a 0-based index; out of range raises the list index error.
    const TcmdItem& Items(int index) const;
    TcmdItem& Items(int index);
    // Index of the first item named name (letter case ignored), or -1.
    int IndexOf(std::string_view name) const;
    // The value of the item IndexOf finds; an empty name on a command of exactly
    // one item takes that item. Raises "Parameter not found" when none is found.
    const std::string& Values(std::string_view name) const;
    // As Values, but returns def when no item is found.
    std::string ValueDef(std::string_view name, std::string_view def) const;
    bool IsNamed(std::string_view name) const;
    // The items written out again: name=value;... without the final ";".
    std::string ItemText() const;

    TcmdItem& AddItem();
    // Empties the command and gives it a new name, keeping its storage.
    void Reset(std::string_view name);

private:
    const TcmdItem* Select(std::string_view name) const;
    // Items 0..FCount-1 are the command's; the rest is storage kept for reuse.
    std::vector<TcmdItem> FItems;
    int FCount = 0;
};

class TCustomScanner;
class TScanner;
// Configures a scanner as the parser does: symbols ";,=?[]", extra name
// characters "._#", no keywords.
void ConfigureCommandListScanner(TCustomScanner& scanner);

class TcmdListParser {
public:
    TcmdListParser();
    ~TcmdListParser();
    TcmdListParser(TcmdListParser&&) noexcept;
    TcmdListParser& operator=(TcmdListParser&&) noexcept;

    // Replaces the content with the commands found in text. Raises ESyntaxError
    // "Syntax error in command line"; the commands read so far stay then.
    void Parse(std::string_view text);
    int Count() const { return FCount; }
    const TcmdGroup& Commands(int index) const;
    void Clear();
    const std::string& Text() const { return FText; }
    // The characters of the text that a command or an item, or an item's value,
    // was read from: what a person wrote, spacing and brackets included.
    std::string_view Written(const TcmdGroup& command) const;
    std::string_view Written(const TcmdItem& item) const;
    std::string_view WrittenValue(const TcmdItem& item) const;
    // Where the last Parse found the syntax error: the 1-based position in the
    // text of the token it stopped at (one past the end when the text ended
    // too soon); 0 after a parse without error.
    int ErrorPosition() const { return FErrorPosition; }

private:
    std::string FText;
    int FErrorPosition = 0;
    // The scanner, configured once and given each text anew.
    std::unique_ptr<TScanner> FScanner;
    // Does not exist until the first Parse. Commands 0..FCount-1 are the
    // result; the rest is storage that the next Parse reuses.
    std::unique_ptr<std::vector<TcmdGroup>> FCommands;
    int FCount = 0;
    TcmdGroup& AddCommand(std::string_view name);
};

} // namespace elo
