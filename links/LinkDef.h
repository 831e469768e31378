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
    // The command as it stood in the text, so that a tag nobody edits is
    // written back as it came ([v=w] stays a bracket, 30 stays a number).
    // Where a tag came from, not what it is: equality does not look at it.
    std::string Written{};
    bool operator==(const TLinkTag& o) const { return Name == o.Name && Label == o.Label && Text == o.Text; }
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
    // What the link string holds beyond the fields above, carried through an
    // edit instead of dropped: the items of the first command that no field
    // takes (unknown names, a name's second item), as written and joined by
    // ";", and the commands after the first, from the first of them on.
    std::string ExtraItems;
    std::string LaterCommands;
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
// The same rows with each Source as it was written: the bracket form with its
// brackets and parameter ("[v=w]"), so that the row text writes it back whole.
std::vector<TTagParameter> WrittenParametersFromTagText(std::string_view text);
// The commands of a tag text after its first, from the first of them on
// (empty when there is none); the tag's grid shows the first command only.
std::string LaterCommandsOfTagText(std::string_view text);

// Why a link string would not come back as it is when stored in a links file
// and read again, or empty when it would: it must decode, hold no line break
// or NUL, and no "(" that reading would take for a caption suffix.
std::string LinkReadBackProblem(std::string_view link);
// Why a tag text would not come back whole as tags when its link is read
// again, or empty when it would: it must parse, and every part of it must be
// read into a command (the parser passes over what stands before a command,
// such as an item without a name). The empty text and "=" (a tag whose
// parameters were all deleted) give no tag and are no problem.
std::string TagTextReadBackProblem(std::string_view text);
// The number of commands (tags) a tag text holds; raises when it does not parse.
int TagCount(std::string_view text);

// link with its identifier set to id: the value of its first "_id" item
// replaced, or the item added to its first command; the rest stays as written.
// Empty when link holds no command to put it in.
std::string WithIdentifier(std::string_view link, std::string_view id);
std::string TagTextFromParameters(const std::vector<TTagParameter>& rows);

} // namespace elo
