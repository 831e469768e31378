#include "EventBoundary.h"

#include "platform/MessageHook.h"

namespace elo {

std::string ExceptionMessage(const std::exception& e) {
    if (const auto* ex = dynamic_cast<const Exception*>(&e)) return ex->Message;
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "Out of memory";
    return e.what();
}

void ShowException(const std::exception& e) {
    ShowMessageBox(ExceptionMessage(e), "");
}

} // namespace elo
