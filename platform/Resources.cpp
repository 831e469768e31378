#include "Resources.h"

#include <map>
#include <mutex>
#include <string>

#include "Text.h"

namespace elo {

namespace {
struct Registry {
    std::mutex mutex;
    std::map<std::string, TResource> resources; // key: TYPE + "/" + NAME, upper case
};
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}
std::string Key(std::string_view type, std::string_view name) {
    return UpperCaseAscii(type) + "/" + UpperCaseAscii(name);
}
} // namespace

const TResource* FindResource(std::string_view type, std::string_view name) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const auto it = r.resources.find(Key(type, name));
    return it == r.resources.end() ? nullptr : &it->second;
}

void RegisterResource(std::string_view type, std::string_view name, const unsigned char* data, size_t size) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.resources[Key(type, name)] = TResource{data, size};
}

void UnregisterResource(std::string_view type, std::string_view name) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.resources.erase(Key(type, name));
}

} // namespace elo
