// Developer-only diagnostics. Silent unless the environment variable ELO_DEBUG is
// set (then each text goes to stderr on a line of its own); tests capture it
// through a hook.
#pragma once

#include <functional>
#include <string_view>

namespace elo {

void DebugOutput(std::string_view text);

using DebugOutputHook = std::function<void(std::string_view)>;
// Installs a receiver for every DebugOutput text (instead of the default);
// returns the previous one. An empty hook restores the default.
DebugOutputHook SetDebugOutputHook(DebugOutputHook hook);

} // namespace elo
