// Blobs compiled into the program and registered under a type and a name (the
// module resources of the desktop). The CMake function elo_embed_resources
// turns files into such blobs.
#pragma once

#include <cstddef>
#include <string_view>

namespace elo {

struct TResource {
    const unsigned char* Data;
    size_t Size;
};

// The resource of that type and name (letter case of ASCII letters ignored in
// both), or null.
const TResource* FindResource(std::string_view type, std::string_view name);

// Called by the generated registration code at start-up; also usable by tests.
void RegisterResource(std::string_view type, std::string_view name, const unsigned char* data, size_t size);
void UnregisterResource(std::string_view type, std::string_view name);

} // namespace elo
