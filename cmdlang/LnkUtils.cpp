#include "LnkUtils.h"

#include "Scanner.h"
#include "platform/Text.h"

namespace elo {

// ---- TcmdGroup --------------------------------------------------------------

const TcmdItem& TcmdGroup::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FItems[static_cast<size_t>(index)];
}

TcmdItem& TcmdGroup::Items(int index) {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FItems[static_cast<size_t>(index)];
}

int TcmdGroup::IndexOf(std::string_view name) const {
    for (int i = 0; i < FCount; ++i)
        if (SameTextLocale(FItems[static_cast<size_t>(i)].Name, name)) return i;
    return -1;
}

const TcmdItem* TcmdGroup::Select(std::string_view name) const {
    if (name.empty() && FCount == 1) return &FItems[0];
    const int index = IndexOf(name);
    return index < 0 ? nullptr : &FItems[static_cast<size_t>(index)];
}

const std::string& TcmdGroup::Values(std::string_view name) const {
    const TcmdItem* item = Select(name);
    if (!item) throw ESyntaxError(kParameterNotFoundMessage);
    return item->Value;
}

std::string TcmdGroup::ValueDef(std::string_view name, std::string_view def) const {
    const TcmdItem* item = Select(name);
    return item ? item->Value : std::string(def);
}

bool TcmdGroup::IsNamed(std::string_view name) const {
    return SameTextLocale(Name, name);
}

std::string TcmdGroup::ItemText() const {
    std::string s;
    for (int i = 0; i < FCount; ++i) {
        const TcmdItem& item = FItems[static_cast<size_t>(i)];
        s += item.Name;
        s += '=';
        if (item.IsWord) {
            s += item.Value;
        } else if (SameTextAscii(item.Name, "link")) {
            s += '{';
            s += item.Value;
            s += '}';
        } else {
            s += '"';
            s += item.Value;
            s += '"';
        }
        s += ';';
    }
    if (!s.empty()) s.pop_back();
    return s;
}

TcmdItem& TcmdGroup::AddItem() {
    if (static_cast<size_t>(FCount) == FItems.size()) {
        ++FCount;
        return FItems.emplace_back();
    }
    TcmdItem& item = FItems[static_cast<size_t>(FCount++)];
    item.Name.clear();
    item.Value.clear();
    item.Source.clear();
    item.IsWord = false;
    item.Param.clear();
    item.IsBracket = false;
    item.ItemStart = item.ValueStart = item.End = 0;
    return item;
}

void TcmdGroup::Reset(std::string_view name) {
    Name.assign(name);
    Start = End = 0;
    FCount = 0;
}

// ---- TcmdListParser ---------------------------------------------------------

TcmdListParser::TcmdListParser() = default;
TcmdListParser::~TcmdListParser() = default;
TcmdListParser::TcmdListParser(TcmdListParser&&) noexcept = default;
TcmdListParser& TcmdListParser::operator=(TcmdListParser&&) noexcept = default;

void ConfigureCommandListScanner(TCustomScanner& scanner) {
    scanner.SetSymbolChars(";,=?[]");
    scanner.SetNameChars("._#");
}

std::string_view TcmdListParser::Written(const TcmdGroup& command) const {
    return std::string_view(FText).substr(command.Start, command.End - command.Start);
}

std::string_view TcmdListParser::Written(const TcmdItem& item) const {
    return std::string_view(FText).substr(item.ItemStart, item.End - item.ItemStart);
}

std::string_view TcmdListParser::WrittenValue(const TcmdItem& item) const {
    return std::string_view(FText).substr(item.ValueStart, item.End - item.ValueStart);
}

const TcmdGroup& TcmdListParser::Commands(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return (*FCommands)[static_cast<size_t>(index)];
}

void TcmdListParser::Clear() {
    if (FCommands) FCommands->clear();
    FCount = 0;
}

TcmdGroup& TcmdListParser::AddCommand(std::string_view name) {
    if (static_cast<size_t>(FCount) == FCommands->size()) {
        ++FCount;
        return FCommands->emplace_back(std::string(name));
    }
    TcmdGroup& group = (*FCommands)[static_cast<size_t>(FCount++)];
    group.Reset(name);
    return group;
}

void TcmdListParser::Parse(std::string_view text) {
    if (!FCommands) FCommands = std::make_unique<std::vector<TcmdGroup>>();
    FCount = 0;
    FText.assign(text);

    if (!FScanner) {
        FScanner = std::make_unique<TScanner>();
        ConfigureCommandListScanner(*FScanner);
    }
    TScanner& scanner = *FScanner;
    scanner.SetText(text);

    const int count = scanner.TokenCount();
    auto kindOf = [&](int i) { return scanner.Tokens(i)->Kind; };
    // Whether token i is the one-character text c (a symbol, in practice).
    auto is = [&](int i, char c) {
        const TToken& t = *scanner.Tokens(i);
        return t.Length == 1 && scanner.TokenList().Text()[static_cast<size_t>(t.Start)] == c;
    };
    // The command separator and the bracket's end count only as symbols: a
    // quoted "," or "]" is a value like any other.
    auto isSymbol = [&](int i, char c) { return kindOf(i) == tkSymbol && is(i, c); };
    int i = 0;
    FErrorPosition = 0;
    auto fail = [&] {
        if (i >= count) {
            // The tokens ran out: where the scanner stopped (an open quoted
            // string or braced group begins there), after any blanks.
            size_t end = 0;
            if (count > 0) {
                const TToken& t = *scanner.Tokens(count - 1);
                end = static_cast<size_t>(t.Start + t.Length) + (t.Kind == tkString || t.Kind == tkBlock ? 1 : 0);
            }
            while (end < text.size() &&
                   (text[end] == ' ' || text[end] == '\t' || text[end] == '\r' || text[end] == '\n'))
                ++end;
            FErrorPosition = static_cast<int>(end) + 1;
        } else {
            // A quoted string or braced group starts at its delimiter.
            const TToken& t = *scanner.Tokens(i);
            FErrorPosition = t.Start + (t.Kind == tkString || t.Kind == tkBlock ? 0 : 1);
        }
        throw ESyntaxError(kSyntaxErrorMessage);
    };
    const std::string_view source = scanner.TokenList().Text();
    // Token i's characters, a quoted string's or braced group's delimiters included.
    auto delimited = [&](int i) {
        const TToken& t = *scanner.Tokens(i);
        return t.Kind == tkString || t.Kind == tkBlock;
    };
    auto startOf = [&](int i) { return static_cast<size_t>(scanner.Tokens(i)->Start) - (delimited(i) ? 1 : 0); };
    auto endOf = [&](int i) {
        const TToken& t = *scanner.Tokens(i);
        return static_cast<size_t>(t.Start + t.Length) + (delimited(i) ? 1 : 0);
    };

    while (i < count) {
        if (!(kindOf(i) == tkName || (kindOf(i) == tkBlock && i == 0))) {
            ++i; // anything in front of a command is skipped
            continue;
        }
        TcmdGroup& command = AddCommand(scanner.TokenView(i));
        command.Start = startOf(i);
        for (;;) {
            TcmdItem& item = command.AddItem();
            if (i >= count) fail();
            item.ItemStart = startOf(i);
            // Name.
            if (kindOf(i) == tkName) {
                item.Name.assign(scanner.TokenView(i));
                if (i + 1 >= count || !is(i + 1, '=')) fail();
                i += 2;
                if (i >= count) fail();
            } else {
                item.Name = "link";
            }
            // Value.
            const TToken& value = *scanner.Tokens(i);
            item.ValueStart = startOf(i);
            if (value.Kind == tkSymbol) {
                // Bracket form: [word] or [word=param].
                if (i + 1 >= count || kindOf(i + 1) != tkName) fail();
                item.Value.assign(scanner.TokenView(i + 1));
                item.Source = item.Value;
                item.IsWord = true;
                item.IsBracket = true;
                i += 2;
                if (i >= count) fail();
                if (is(i, '=')) {
                    if (i + 1 >= count) fail();
                    item.Param.assign(scanner.TokenView(i + 1));
                    i += 2;
                }
                if (i >= count || !isSymbol(i, ']')) fail();
            } else {
                item.Value.assign(scanner.TokenView(i));
                if (value.Kind == tkString || value.Kind == tkBlock)
                    item.Source.assign(
                        source.substr(static_cast<size_t>(value.Start) - 1, static_cast<size_t>(value.Length) + 2));
                else
                    item.Source = item.Value;
                item.IsWord = value.Kind == tkName;
            }
            item.End = command.End = endOf(i);
            // Separator.
            ++i;
            if (i >= count) return;
            if (isSymbol(i, ',')) {
                ++i;
                break;
            }
            ++i; // any other token separates two items
        }
    }
}

} // namespace elo
