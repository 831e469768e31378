// Captures what the standard error display shows while it lives.
#pragma once

#include <string>
#include <vector>

#include "platform/MessageHook.h"

namespace elo::test {

struct ShownMessages {
    ShownMessages() {
        previous = SetMessageBoxHook([this](const std::string& text, const std::string&) { texts.push_back(text); });
    }
    ~ShownMessages() { SetMessageBoxHook(previous); }
    ShownMessages(const ShownMessages&) = delete;
    ShownMessages& operator=(const ShownMessages&) = delete;
    std::vector<std::string> texts;
    TMessageBoxHook previous;
};

} // namespace elo::test
