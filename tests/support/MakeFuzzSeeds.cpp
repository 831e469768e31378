// Writes the starting corpus of the library fuzz target: one library of every
// format version 1 to 25, whose entries have groups in both symbol tables and
// symbols whose group index points at a group of either table.
//   make-fuzz-seeds DIR
#include <cstdio>
#include <fstream>
#include <string>

#include "NlxWriter.h"

using namespace elo::test;

namespace {

NlxEntrySpec CrossedEntry(const std::string& prefix, const std::string& name, uint8_t kind, int salt) {
    NlxEntrySpec e = SimpleEntry(prefix, name, kind, 0);
    e.Text1 = "t1 " + name;
    e.LongText = std::string(static_cast<size_t>(40 + salt * 7), 'L');
    e.Text2 = "t2";
    e.Groups = {{"G0", 1, 2, 0, 3, "a", "b"},
                {"G1", -1, 4, 1, 5, "c", "d"},
                {"g0", 2, 0, 0, 0, "", ""},
                {"Gx", 3, 1, 0, 1, "e", ""},
                {"Gy", 4, 1, 1, 2, "", "f"}};
    for (int t = 0; t < 2; ++t) {
        for (int i = 0; i < 3 + salt % 3; ++i) {
            NlxSymbolSpec s;
            s.Name = "s" + std::to_string(t) + "_" + std::to_string(i);
            s.GroupIndex =
                static_cast<int16_t>((i + t + salt) % 6 - (i == 2 ? 1 : 0)); // -1..5: across, none, past the end
            s.GroupName = i % 2 ? "G1" : "G0";
            s.Text1 = i == 1 ? "NOT NULL" : "x";
            s.Reference = i % 2 ? "A.B" : ".C.D";
            s.Text2 = "t2", s.Text5 = "t5", s.Text9 = "t9", s.Text13 = "t13";
            s.Word1 = static_cast<uint16_t>(100 * i), s.Word2 = 7;
            (t == 0 ? e.Table0 : e.Table1).push_back(s);
        }
    }
    return e;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds DIR\n");
        return 2;
    }
    for (int v = 1; v <= 25; ++v) {
        NlxLibrarySpec plan;
        plan.Version = v;
        plan.Entries = {CrossedEntry("Pfx", "Alpha", 10, 0), CrossedEntry("Pfx", "beta", 3, 1),
                        CrossedEntry("Q", "Gamma", 10, 2), SimpleEntry("", "Plain", 7, 2)};
        plan.FileOrder = {2, 0, 3, 1};
        std::ofstream(std::string(argv[1]) + "/crossed-v" + std::to_string(v) + ".nlx", std::ios::binary)
            << WriteNlx(plan);
    }
    return 0;
}
