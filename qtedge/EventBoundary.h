// The one boundary between Qt's event dispatch and the application's code.
// Every Qt override and slot that runs application code runs it through Guard:
// EAbort is the silent veto, any other exception goes to the standard error
// display (a message box with its message) and the program goes on. Nothing
// ever unwinds through Qt's own code.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "platform/Exceptions.h"

namespace elo {

// The standard error display: the exception's message in a message box (the
// application's message-box hook; stderr without one).
void ShowException(const std::exception& e);
// The message an exception carries, in the system's text.
std::string ExceptionMessage(const std::exception& e);

// Runs f; true when it ran to its end, false when it raised (and the raise was
// shown, unless it was the silent EAbort).
template <typename F> bool Guard(F&& f) noexcept {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (const std::exception& e) {
        ShowException(e);
        return false;
    } catch (...) {
        ShowException(Exception("Unknown error"));
        return false;
    }
}

// A slot of object run through Guard, for connect: Guarded(this,
// &TfrmMain::NewFile) or, with the arguments it is called with,
// Guarded(this, &TfrmMain::FindNext, true). Whatever the signal passes is not
// handed on, and what the slot returns is dropped.
template <typename T, typename R, typename... Params, typename... Bound>
auto Guarded(T* object, R (T::*slot)(Params...), Bound... bound) {
    return [object, slot, bound...]() { Guard([&] { (void)(object->*slot)(bound...); }); };
}

} // namespace elo
