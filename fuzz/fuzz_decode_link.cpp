// Arbitrary bytes decoded as a link string into a record, encoded again, and the
// tags' parameter rows taken apart and rebuilt.
#include <cstddef>
#include <cstdint>
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
    for (const TLinkTag& tag : record.Tags) {
        try {
            const auto rows = ParametersFromTagText(tag.Text);
            (void)TagTextFromParameters(rows);
        } catch (const Exception&) {
        }
    }
    return 0;
}
