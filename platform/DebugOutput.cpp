#include "DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace elo {

namespace {
std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}
DebugOutputHook& Hook() {
    static DebugOutputHook hook;
    return hook;
}
} // namespace

void DebugOutput(std::string_view text) {
    std::lock_guard lock(HookMutex());
    if (Hook()) {
        Hook()(text);
        return;
    }
    static const bool enabled = std::getenv("ELO_DEBUG") != nullptr;
    if (enabled) {
        std::string line(text);
        line.push_back('\n');
        std::fputs(line.c_str(), stderr);
    }
}

DebugOutputHook SetDebugOutputHook(DebugOutputHook hook) {
    std::lock_guard lock(HookMutex());
    DebugOutputHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

} // namespace elo
