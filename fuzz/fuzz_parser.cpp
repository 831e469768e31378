// Arbitrary bytes into the command-list parser, then every lookup on whatever it
// produced. Syntax errors are the expected outcome for most inputs; anything
// else (a crash, a sanitizer report, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cmdlang/LnkUtils.h"
#include "cmdlang/Scanner.h"

using namespace elo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The scanner alone, with the first bytes as keywords too.
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    if (size > 2) scanner.AddKeyword(std::string(text.substr(0, 2)));
    try {
        scanner.SetText(text);
        for (int i = 0; i < scanner.TokenCount(); ++i) {
            (void)scanner.TokenText(i);
            (void)scanner.TokenStartsWith(scanner.Tokens(i), "ab", 3);
        }
    } catch (const Exception&) {
    }

    TcmdListParser parser;
    try {
        parser.Parse(text);
    } catch (const ESyntaxError&) {
    }
    // Lookups run on the partial result of a failed parse too.
    for (int c = 0; c < parser.Count(); ++c) {
        const TcmdGroup& group = parser.Commands(c);
        (void)group.ItemText();
        (void)group.IsNamed("link");
        (void)group.ValueDef("", "d");
        for (int i = 0; i < group.Count(); ++i) {
            const TcmdItem& item = group.Items(i);
            if (group.IndexOf(item.Name) > i) __builtin_trap();
            try {
                (void)group.Values(item.Name);
            } catch (const ESyntaxError&) {
                __builtin_trap(); // an item that exists must be found
            }
        }
    }
    return 0;
}
