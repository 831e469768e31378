// Arbitrary bytes as one stored block, and as a compressed section.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "nlxintf/NlxFormat.h"

using namespace elo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the block's bytes, in their own allocation: a read past them is
    // seen by AddressSanitizer.
    std::vector<unsigned char> stored(data, data + size);
    std::vector<unsigned char> out(kBlockSize + kBlockSlack);
    try {
        const int32_t n = ExpandBlock(stored.data(), static_cast<int32_t>(size), out.data());
        if (n < 0 || n > kBlockSize) __builtin_trap();
    } catch (const TNLXInterfaceError&) {
    }
    TMemoryStream section, expanded;
    section.WriteBuffer(data, static_cast<int32_t>(size));
    section.SetPosition(0);
    std::vector<unsigned char> in(kBlockSize + kBlockSlack);
    try {
        ExpandSection(section, expanded, in.data(), out.data());
    } catch (const TNLXInterfaceError&) {
    }
    return 0;
}
