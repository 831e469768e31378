// The link definition record: what the keys of a link string mean, and the
// conversions between a link string and the record the editor shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace elo {

struct TLinkTag {
    std::string Name;  // the command's name, e.g. "link" or "pointer"
    std::string Label; // its "Caption" value
    std::string Text;  // the command written out again (ItemText)
    bool operator==(const TLinkTag&) const = default;
};

struct TTagParameter {
    std::string Var;    // "1" for a bare word or the bracket form, else "0"
    std::string Name;   // the item's name
    std::string Source; // the value as written, quotes and braces included
    bool operator==(const TTagParameter&) const = default;
};

struct TLinkDefinition {
    std::string RawText; // the link string last handed to decoding
    std::string Target;
    std::vector<TLinkTag> Tags;
    std::string Id;
    int TypeIndex = 0; // row of the link type table, 0..7
    std::string Keywords;
    bool Hidden = false;
    std::string Caption;
    std::string Order;
    bool DefaultEdit = false;
    // Decoding stopped before its end: the text holds "RULES" or failed to
    // decode. The fields then do not describe RawText, and what the editor hands
    // back for an unchanged link is RawText (see LinkTextToStore).
    bool Verbatim = false;
};

// The editor's new-identifier provider: receives the sender, answers the next
// identifier through id.
using TGetNewIdEvent = std::function<void(void* sender, int32_t& id)>;

inline constexpr int kLinkTypeCount = 8;
// Captions of the link types, in the order of the editor's "Tipo" list.
extern const char* const kLinkTypeCaptions[kLinkTypeCount];
// The "_tag" code of a TypeIndex 1..7; -1 for any other index.
int TypeCode(int typeIndex);
// The TypeIndex whose code is the low seven bits of code, or 0 when none is.
int TypeIndexOfCode(int32_t code);

// Fills record from text (see the rules in LinkDef.cpp). Calls onGetNewId at
// most once, when the text carries no identifier; without a provider the new
// identifier is 0. Raises the parser's ESyntaxError or the conversion error of a
// "_tag" that is no integer; what was set before stays.
// afterTags, when given, runs once the tags are in the record and before the
// identifier is drawn (the editor fills its tag list there).
void DecodeLink(TLinkDefinition& record, std::string_view text, const TGetNewIdEvent& onGetNewId,
                void* sender = nullptr, const std::function<void(TLinkDefinition&)>& afterTags = nullptr);
std::string EncodeLink(const TLinkDefinition& record);
// What the editor stores for a link it showed: the original text when decoding
// did not complete, else the encoding of the record.
std::string LinkTextToStore(const TLinkDefinition& record);

std::vector<TLinkTag> TagsFromText(std::string_view text);
std::vector<TTagParameter> ParametersFromTagText(std::string_view text);
std::string TagTextFromParameters(const std::vector<TTagParameter>& rows);

} // namespace elo
