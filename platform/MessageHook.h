// Message boxes shown by core code. The default writes to stderr; the desktop
// application installs one that shows a real message box.
#pragma once

#include <functional>
#include <string>

namespace elo {

using TMessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;

void ShowMessageBox(const std::string& text, const std::string& caption);
// Installs hook (empty: the default); returns the previous one.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

} // namespace elo
