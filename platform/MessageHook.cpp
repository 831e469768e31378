#include "MessageHook.h"

#include <cstdio>
#include <mutex>

#include "MainThread.h"
#include "Text.h"

namespace elo {

namespace {
std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}
TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}
} // namespace

void ShowMessageBox(const std::string& text, const std::string& caption) {
    TMessageBoxHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = Hook();
    }
    if (hook) {
        // A box is shown by the main thread (the windows live there); another
        // thread waits for it as for a modal box. Without a main thread the
        // hook runs here.
        if (!IsMainThread() && HasMainThread())
            Synchronize([&] { hook(text, caption); });
        else
            hook(text, caption);
        return;
    }
    const std::string line = (caption.empty() ? "" : Cp1252ToUtf8(caption) + ": ") + Cp1252ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
    std::lock_guard lock(HookMutex());
    TMessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

} // namespace elo
