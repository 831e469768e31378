#include "LinkDef.h"

#include "LinksFile.h"
#include "cmdlang/LnkUtils.h"
#include "platform/Text.h"

namespace elo {

const char* const kLinkTypeCaptions[kLinkTypeCount] = {"(nenhum)",
                                                       "M\xF3"
                                                       "dulo",
                                                       "Inser\xE7\xE3o",
                                                       "Edi\xE7\xE3o",
                                                       "Exclus\xE3o",
                                                       "Lista",
                                                       "Relat\xF3rio",
                                                       "Gen\xE9rico"};

namespace {
constexpr int kTypeCodes[kLinkTypeCount] = {-1, 0, 3, 4, 5, 6, 7, 8};
// The items of a link string's first command that the record's fields take.
constexpr const char* kFieldNames[] = {"link", "_tag", "_id", "_keyw", "Caption", "ORDER", "_hidden", "DEFAULTEDIT"};

// The command as written, readable again where it stands after a ",": a
// command that begins with a braced group gets the name its first item has.
std::string WrittenCommand(const TcmdListParser& parser, const TcmdGroup& c) {
    std::string written(parser.Written(c));
    if (c.Count() > 0 && c.Items(0).ItemStart == c.Items(0).ValueStart) written.insert(0, "link=");
    return written;
}

std::string LaterCommands(const TcmdListParser& parser) {
    if (parser.Count() < 2) return {};
    return "," + std::string(std::string_view(parser.Text()).substr(parser.Commands(1).Start));
}

// The items of c that no field takes, as written, joined by ";".
std::string ExtraItemsOf(const TcmdListParser& parser, const TcmdGroup& c) {
    std::vector<bool> taken(static_cast<size_t>(c.Count()), false);
    for (const char* name : kFieldNames)
        if (const int i = c.IndexOf(name); i >= 0) taken[static_cast<size_t>(i)] = true;
    std::string extras;
    for (int i = 0; i < c.Count(); ++i) {
        if (taken[static_cast<size_t>(i)]) continue;
        if (!extras.empty()) extras += ';';
        const TcmdItem& item = c.Items(i);
        if (item.ItemStart == item.ValueStart) extras += "link="; // an item without a name
        extras += parser.Written(item);
    }
    return extras;
}
} // namespace

int TypeCode(int typeIndex) {
    return typeIndex >= 1 && typeIndex < kLinkTypeCount ? kTypeCodes[typeIndex] : -1;
}

int TypeIndexOfCode(int32_t code) {
    const int low = static_cast<int>(static_cast<uint32_t>(code) & 127u);
    for (int i = 1; i < kLinkTypeCount; ++i)
        if (kTypeCodes[i] == low) return i;
    return 0;
}

void DecodeLink(TLinkDefinition& r, std::string_view text, const TGetNewIdEvent& onGetNewId, void* sender,
                const std::function<void(TLinkDefinition&)>& afterTags) {
    // Target, TypeIndex and Caption keep their values until a later step sets them.
    r.RawText.assign(text);
    r.Tags.clear();
    r.Id.clear();
    r.Keywords.clear();
    r.Order.clear();
    r.Hidden = false;
    r.DefaultEdit = false;
    r.ExtraItems.clear();
    r.LaterCommands.clear();
    r.Verbatim = true;
    if (text.find("RULES") != std::string_view::npos) return;

    TcmdListParser parser;
    parser.Parse(text);
    std::string w;
    if (parser.Count() > 0) {
        const TcmdGroup& c = parser.Commands(0); // later commands are ignored
        w = c.ValueDef("link", "");
        r.TypeIndex = c.IndexOf("_tag") < 0 ? 0 : TypeIndexOfCode(StrToInt(c.Values("_tag")));
        r.Id = c.ValueDef("_id", "");
        r.Keywords = c.ValueDef("_keyw", "");
        r.Caption = c.ValueDef("Caption", "");
        r.Order = c.ValueDef("ORDER", "");
        r.Hidden = SameTextLocale(c.ValueDef("_hidden", "false"), "true");
        r.DefaultEdit = c.ValueDef("DEFAULTEDIT", "0") == "1";
        r.ExtraItems = ExtraItemsOf(parser, c);
        r.LaterCommands = LaterCommands(parser);
    } else {
        w.assign(text); // no command: the whole text is the "link" value
    }

    const size_t amp = w.find('&');
    if (amp == std::string::npos || w.compare(0, amp, "pointer") == 0) {
        r.Target = w;
    } else {
        r.Target = w.substr(0, amp);
        if (amp + 1 < w.size()) r.Tags = TagsFromText(std::string_view(w).substr(amp + 1));
    }

    if (afterTags) afterTags(r);
    if (r.Id.empty()) {
        int32_t id = 0;
        if (onGetNewId) onGetNewId(sender, id);
        r.Id = std::to_string(id);
    }
    r.Verbatim = false;
}

std::string EncodeLink(const TLinkDefinition& r) {
    std::string s = "link={";
    s += r.Target;
    bool first = true;
    for (const TLinkTag& tag : r.Tags) {
        s += first ? '&' : ',';
        s += tag.Text;
        first = false;
    }
    s += "};";
    auto quoted = [&](const char* key, std::string_view value) {
        s += key;
        s += "=\"";
        s += value;
        s += "\";";
    };
    quoted("_id", r.Id);
    if (r.TypeIndex != 0) quoted("_tag", std::to_string(TypeCode(r.TypeIndex)));
    if (!r.Keywords.empty()) quoted("_keyw", r.Keywords);
    if (r.Hidden) quoted("_hidden", "TRUE");
    if (!r.Caption.empty()) quoted("Caption", r.Caption);
    if (!r.Order.empty()) quoted("ORDER", r.Order);
    if (r.DefaultEdit) quoted("DEFAULTEDIT", "1");
    if (!r.ExtraItems.empty()) {
        s += r.ExtraItems;
        s += ';';
    }
    s.pop_back();
    s += r.LaterCommands;
    return s;
}

std::string LinkTextToStore(const TLinkDefinition& record) {
    return record.Verbatim ? record.RawText : EncodeLink(record);
}

std::vector<TLinkTag> TagsFromText(std::string_view text) {
    TcmdListParser parser;
    parser.Parse(text);
    std::vector<TLinkTag> tags;
    tags.reserve(static_cast<size_t>(parser.Count()));
    for (int i = 0; i < parser.Count(); ++i) {
        const TcmdGroup& c = parser.Commands(i);
        tags.push_back({c.Name, c.ValueDef("Caption", ""), c.ItemText(), WrittenCommand(parser, c)});
    }
    return tags;
}

namespace {
std::vector<TTagParameter> Parameters(std::string_view text, bool written) {
    TcmdListParser parser;
    parser.Parse(text);
    std::vector<TTagParameter> rows;
    if (parser.Count() == 0) return rows;
    const TcmdGroup& c = parser.Commands(0);
    for (int i = 0; i < c.Count(); ++i) {
        const TcmdItem& item = c.Items(i);
        rows.push_back(
            {item.IsWord ? "1" : "0", item.Name, written ? std::string(parser.WrittenValue(item)) : item.Source});
    }
    return rows;
}
} // namespace

std::vector<TTagParameter> ParametersFromTagText(std::string_view text) {
    return Parameters(text, false);
}

std::vector<TTagParameter> WrittenParametersFromTagText(std::string_view text) {
    return Parameters(text, true);
}

std::string LaterCommandsOfTagText(std::string_view text) {
    TcmdListParser parser;
    parser.Parse(text);
    return LaterCommands(parser);
}

std::string LinkReadBackProblem(std::string_view link) {
    if (link.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return "O link cont\xE9m quebras de linha";
    try {
        TLinkDefinition scratch;
        DecodeLink(scratch, link, nullptr);
    } catch (const Exception& e) {
        return e.Message;
    }
    // Read from a file, a "(" outside quoted values and braced groups would
    // begin a caption suffix and cut the link there.
    const std::string line = "=" + std::string(link);
    if (FindCaptionSuffix(line, 0) != std::string::npos) return "O link cont\xE9m um \"(\" fora de aspas e chaves";
    return {};
}

namespace {
std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
    return out;
}
} // namespace

std::string TagTextReadBackProblem(std::string_view text) {
    if (WithoutBlanks(text).empty() || WithoutBlanks(text) == "=") return {};
    TcmdListParser parser;
    try {
        parser.Parse(text);
    } catch (const Exception& e) {
        return e.Message;
    }
    // What is read, written again, holds every token of the text.
    std::string read;
    for (int i = 0; i < parser.Count(); ++i) {
        if (i > 0) read += ',';
        read += WrittenCommand(parser, parser.Commands(i));
    }
    if (WithoutBlanks(read) == WithoutBlanks(text)) return {};
    return "a tag \"" + std::string(text.substr(0, 80)) + (text.size() > 80 ? "..." : "") +
           "\" tem partes que n\xE3o seriam lidas (um nome vazio?)";
}

int TagCount(std::string_view text) {
    TcmdListParser parser;
    parser.Parse(text);
    return parser.Count();
}

std::string WithIdentifier(std::string_view link, std::string_view id) {
    TcmdListParser parser;
    parser.Parse(link);
    if (parser.Count() == 0) return {};
    const TcmdGroup& c = parser.Commands(0);
    const std::string quoted = "\"" + std::string(id) + "\"";
    std::string out(link);
    if (const int i = c.IndexOf("_id"); i >= 0) {
        const TcmdItem& item = c.Items(i);
        out.replace(item.ValueStart, item.End - item.ValueStart, quoted);
    } else {
        out.insert(c.End, ";_id=" + quoted);
    }
    return out;
}

std::string TagTextFromParameters(const std::vector<TTagParameter>& rows) {
    std::string s;
    for (const TTagParameter& row : rows) {
        s += row.Name;
        s += '=';
        s += row.Source;
        s += ';';
    }
    if (!s.empty()) s.pop_back();
    return s;
}

} // namespace elo
