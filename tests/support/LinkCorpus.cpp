#include "LinkCorpus.h"

#include <vector>

namespace elo::test {

namespace {

int Pick(std::mt19937& rng, int n) {
    return static_cast<int>(rng() % static_cast<unsigned>(n));
}

std::string Word(std::mt19937& rng) {
    static const char* const words[] = {"pointer", "Caption", "frm", "Cad.Clientes", "x",  "_tag2",
                                        "v",       "periodo", "mes", "Filtro_1",     "#h", "Q.R.S"};
    return words[Pick(rng, static_cast<int>(std::size(words)))];
}

// A value of any kind; inside a braced link value, quoted texts hold no
// braces (the outer braces would count them).
std::string Value(std::mt19937& rng, bool canonical, int nesting) {
    static const char* const texts[] = {"a b", "x,y;z", "Cl\xEDnica", "", "1=2", "[v]", "pre&pos", "\xE9\xC7"};
    const char* text = texts[Pick(rng, static_cast<int>(std::size(texts)))];
    switch (Pick(rng, canonical ? 4 : 8)) {
    case 0:
        return Word(rng);
    case 1:
        return std::to_string(Pick(rng, 1000));
    case 2:
        return "\"" + std::string(text) + "\"";
    case 3:
        return "[" + Word(rng) + (Pick(rng, 2) ? "=" + Word(rng) : std::string()) + "]";
    case 4:
        return "'" + std::string(text) + "'";
    case 5:
        return "{" + std::string(Pick(rng, 2) ? "a{b}c" : "t") + "}";
    case 6:
        return nesting > 0 ? "{" + Word(rng) + "&" + RandomTagText(rng, canonical, nesting - 1) + "}" : "-5";
    default:
        return "0x1F";
    }
}

} // namespace

std::string RandomTagText(std::mt19937& rng, bool canonical, int nesting) {
    if (nesting > 0 && Pick(rng, 5) == 0) {
        // A nested link, as renumbering writes it.
        std::string inner = "link={" + Word(rng);
        if (Pick(rng, 2)) inner += "&" + RandomTagText(rng, canonical, nesting - 1);
        return inner + "};_id=\"" + std::to_string(Pick(rng, 90)) + "\"";
    }
    std::string s = Word(rng) + "=" + Value(rng, canonical, nesting);
    for (int i = Pick(rng, 4); i > 0; --i)
        s += (canonical || Pick(rng, 4) ? ";" : " ; ") + Word(rng) + "=" + Value(rng, canonical, nesting);
    return s;
}

std::string RandomLink(std::mt19937& rng, const TLinkCorpusOptions& o) {
    std::string s = "link={" + Word(rng);
    const int tags = Pick(rng, 4);
    for (int t = 0; t < tags; ++t) s += (t == 0 ? "&" : ",") + RandomTagText(rng, o.Canonical, o.MaxNesting);
    s += "};_id=\"" + std::to_string(Pick(rng, 100000)) + "\"";
    // The fields, in the editor's order.
    if (Pick(rng, 2)) s += ";_tag=\"" + std::to_string(std::vector<int>{0, 3, 4, 5, 6, 7, 8}[Pick(rng, 7)]) + "\"";
    if (Pick(rng, 2)) s += ";_keyw=\"k" + std::to_string(Pick(rng, 9)) + "\"";
    if (Pick(rng, 3) == 0) s += ";_hidden=\"TRUE\"";
    const bool caption = Pick(rng, 3) != 0;
    if (caption) s += ";Caption=\"" + std::string(Pick(rng, 2) ? "Nome" : "Cl\xEDnica ; x") + "\"";
    if (Pick(rng, 3) == 0) s += ";ORDER=\"" + std::to_string(Pick(rng, 20)) + "\"";
    if (Pick(rng, 4) == 0) s += ";DEFAULTEDIT=\"1\"";
    // Beyond the fields: items no field takes, a second Caption, later commands.
    if (Pick(rng, 3) == 0) s += ";Extra=" + Value(rng, o.Canonical, 0);
    if (caption && Pick(rng, 5) == 0) s += ";caption=\"segunda\"";
    if (Pick(rng, 4) == 0) s += "," + RandomTagText(rng, o.Canonical, 0);
    if (!o.Canonical && Pick(rng, 4) == 0) {
        // Written another way: fields out of order, bare values, spaces.
        const size_t at = s.find("};") + 1;
        s.insert(at, ";  Order=3");
        s.replace(0, 6, "link = {");
    }
    return s;
}

} // namespace elo::test
