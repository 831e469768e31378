// Random link strings from the grammar of link strings, for property tests:
// tags with every kind of value (bare words, numbers, quoted strings in both
// quotes, braced groups, the bracket form), nested links, items that no field
// of the record takes, a field's second item, and commands after the first.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace elo::test {

struct TLinkCorpusOptions {
    // Every field item as the editor writes it, in its order: such a link is
    // encoded back byte for byte.
    bool Canonical = false;
    int MaxNesting = 2;
};

std::string RandomLink(std::mt19937& rng, const TLinkCorpusOptions& options = {});
// One tag's text (a command), as a person might write it.
std::string RandomTagText(std::mt19937& rng, bool canonical = false, int nesting = 1);

} // namespace elo::test
