// Arbitrary bytes decoded as a link string into a record, encoded again, and the
// tags' parameter rows taken apart and rebuilt.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "links/LinkDef.h"
#include "platform/Exceptions.h"

using namespace elo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TLinkDefinition record;
    int draws = 0;
    const TGetNewIdEvent provider = [&](void*, int32_t& id) { id = ++draws; };
    try {
        DecodeLink(record, text, provider);
    } catch (const Exception&) {
        if (!record.Verbatim) __builtin_trap(); // a failed decoding keeps the text
        return 0;
    }
    if (draws > 1) __builtin_trap();
    (void)EncodeLink(record);
    (void)LinkTextToStore(record);
    (void)LinkReadBackProblem(text);
    try {
        (void)WithIdentifier(text, "7");
    } catch (const Exception&) {
    }
    if (!record.Verbatim) {
        // The editor's encoding (every tag as written, what no field takes
        // carried along) decodes to the same record, when it decodes at all.
        TLinkDefinition kept = record;
        for (TLinkTag& tag : kept.Tags) tag.Text = tag.Written;
        const std::string encoded = EncodeLink(kept);
        TLinkDefinition back;
        bool decoded = true;
        try {
            DecodeLink(back, encoded, nullptr);
        } catch (const Exception&) {
            decoded = false;
        }
        if (decoded && !back.Verbatim &&
            (back.Tags != record.Tags || back.Id != record.Id || back.Caption != record.Caption ||
             back.Keywords != record.Keywords || back.Order != record.Order || back.TypeIndex != record.TypeIndex ||
             back.Hidden != record.Hidden || back.DefaultEdit != record.DefaultEdit ||
             back.ExtraItems != record.ExtraItems || back.LaterCommands != record.LaterCommands))
            __builtin_trap();
    }
    for (const TLinkTag& tag : record.Tags) {
        try {
            const auto rows = ParametersFromTagText(tag.Text);
            (void)TagTextFromParameters(rows);
        } catch (const Exception&) {
        }
    }
    return 0;
}
