// Files renumbered while read give the same document whether their links are
// renumbered on the reading thread or on a second one.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "links/LinksFile.h"
#include "links/Renumbering.h"
#include "support/TestFiles.h"

using namespace elo;

namespace {

// A never-numbered file: paths from a small vocabulary (so some repeat and
// are ignored), counter lines at any depth (some no number), links plain,
// with tags, nested, with caption suffixes, and some that do not parse.
std::string RandomRawFile(std::mt19937& rng, int lines) {
    static const char* const kParts[] = {"Menu", "Cadastro", "Vendas", "Itens", "_currentid", "Caixa"};
    static const char* const kLinks[] = {
        "T",
        "T&pointer=p;Caption=\"C\"",
        "A&link={B&link={C};x=y};_id=\"9\";k=v",
        "A&p=[a,b],q=\"x\"",
        "A&{x};y=1",  // no parse
        "A&p=\"open", // no parse
        "B&link={C&link={D}}",
        "X&a=1 (Legenda)", // a caption suffix
        "123",
        "-5",
        "abc",
    };
    std::string text;
    for (int i = 0; i < lines; ++i) {
        const int depth = 1 + static_cast<int>(rng() % 3);
        for (int d = 0; d < depth; ++d) {
            if (d) text += '\\';
            text += kParts[rng() % std::size(kParts)];
            if (rng() % 3) text += std::to_string(rng() % 400);
        }
        if (rng() % 10) {
            text += '=';
            text += kLinks[rng() % std::size(kLinks)];
        }
        text += "\r\n";
    }
    return text;
}

struct TReading {
    std::string Error;
    std::string Text;
    int32_t Counter = 0;
    std::vector<std::pair<int, std::string>> Problems;
    std::vector<std::pair<std::string, int>> Items;
    int Repaired = 0;
};

TReading Read(const std::string& text, const std::string* file, bool keepGoing, bool twoThreads) {
    TLinksDocument doc;
    doc.CurrentId = 7;
    doc.TwoThreadsFrom = twoThreads ? 0 : SIZE_MAX;
    TLoadReport report;
    report.KeepGoing = keepGoing;
    TReading r;
    try {
        if (file)
            doc.LoadLinksFile(*file, &report);
        else
            doc.LoadLinksText(text, &report);
    } catch (const Exception& e) {
        r.Error = e.Message;
    }
    r.Text = doc.LinksText();
    r.Counter = doc.CurrentId;
    for (const TLoadProblem& p : report.Problems) r.Problems.emplace_back(p.Line, p.Message);
    for (const auto& [node, line] : report.ItemLines) r.Items.emplace_back(TLinksDocument::NodePath(node), line);
    r.Repaired = report.CounterRepairedLine;
    return r;
}

void ExpectSame(const TReading& one, const TReading& two) {
    EXPECT_EQ(one.Error, two.Error);
    EXPECT_EQ(one.Text, two.Text);
    EXPECT_EQ(one.Counter, two.Counter);
    EXPECT_EQ(one.Problems, two.Problems);
    EXPECT_EQ(one.Items, two.Items);
    EXPECT_EQ(one.Repaired, two.Repaired);
}

} // namespace

TEST(RenumberingThreads, RandomFilesReadAlikeOnOneThreadAndOnTwo) {
    std::mt19937 rng(3);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const std::string text = RandomRawFile(rng, 1 + static_cast<int>(rng() % 300));
        for (bool keepGoing : {false, true})
            ExpectSame(Read(text, nullptr, keepGoing, false), Read(text, nullptr, keepGoing, true));
    }
}

TEST(RenumberingThreads, BigFilesReadAlikeFromMemoryAndFromDisk) {
    // Many batches: links that all parse, one that does not far into the
    // file, and a random file.
    std::mt19937 rng(4);
    elo::test::TTestDir dir("elo-renumber");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::string text = RandomRawFile(rng, 20000);
        if (round < 2) {
            text.clear();
            for (int i = 0; i < 40000; ++i) {
                text += "Menu\\Pasta " + std::to_string(i % 300) + "\\Item " + std::to_string(i) +
                        "=T&pointer=p,link={U&a=" + std::to_string(i) + "}\r\n";
                if (round == 1 && i == 35000) text += "Menu\\Ruim=A&{x};y=1\r\n";
            }
        }
        const std::string file = dir.Write("raw.lnk", text);
        for (bool keepGoing : {false, true}) {
            if (round == 0 && keepGoing) continue; // nothing fails: the same reading
            const TReading one = Read(text, nullptr, keepGoing, false);
            ExpectSame(one, Read(text, nullptr, keepGoing, true));
            ExpectSame(one, Read(text, &file, keepGoing, true));
            if (round == 0) {
                EXPECT_TRUE(one.Error.empty());
                EXPECT_EQ(one.Counter, 7 + 2 * 40000);
            }
        }
    }
}

TEST(RenumberingThreads, AFullQueueMakesTheReaderWait) {
    // A queue of one byte: every batch waits until the worker took the last.
    TRenumberPipeline pipeline(1, false, 100, 1);
    TRenumberer renumberer;
    int32_t counter = 1;
    std::vector<std::string> expected;
    for (int i = 0; i < 50000; ++i) {
        const std::string raw = "T&a=" + std::to_string(i) + ",link={U}";
        pipeline.Link(raw);
        expected.emplace_back();
        renumberer.Into(expected.back(), raw, false, counter, 100);
        if (i == 30000) {
            pipeline.SetCounter(500);
            counter = 500;
        }
    }
    pipeline.Finish();
    EXPECT_FALSE(pipeline.Failed());
    EXPECT_EQ(pipeline.Counter(), counter);
    size_t n = 0;
    pipeline.ForEachResult([&](size_t i, std::string_view link) {
        ++n;
        ASSERT_EQ(link, expected[i]) << i;
    });
    EXPECT_EQ(n, expected.size());
}

TEST(RenumberingThreads, APipelineLeftEarlyStopsItsWorker) {
    // The reader fails (or is done) before handing everything over.
    for (int n : {0, 1, 100000}) {
        TRenumberPipeline pipeline(1, false, 100);
        for (int i = 0; i < n; ++i) pipeline.Link("T&a=1");
    }
    TRenumberPipeline failing(1, false, 100);
    failing.Link("A&{x};y=1");
    for (int i = 0; i < 100000 && !failing.Failed(); ++i) failing.Link("T&a=1");
    failing.Finish();
    EXPECT_TRUE(failing.Failed());
    ASSERT_EQ(failing.Failures().size(), 1u);
    EXPECT_EQ(failing.Failures()[0].first, 0u);
    // The counter at its limit fails the link that needs one more.
    TRenumberPipeline limit(INT32_MAX - 1, true, 100);
    limit.Link("T");
    limit.Link("U");
    limit.Finish();
    ASSERT_EQ(limit.Failures().size(), 1u);
    EXPECT_EQ(limit.Failures()[0].first, 1u);
    std::vector<std::string> results;
    limit.ForEachResult([&](size_t, std::string_view link) { results.emplace_back(link); });
    EXPECT_EQ(results, (std::vector<std::string>{"link={T};_id=\"2147483646\"", "U"}));
}

TEST(RenumberingThreads, NumberedFilesReadAlikeFromMemoryAndFromDisk) {
    // Numbered files are not renumbered: one thread reads them whatever their
    // size. A CR LF across 2 MB, a NUL that ends the file, no line break at the end.
    elo::test::TTestDir dir("elo-ahead");
    std::string text = "_currentid=9\r\nPad" + std::string(110, 'x') + "\r\n";
    for (int i = 0; text.size() < (size_t{5} << 20); ++i) {
        std::string line = "Menu\\Pasta " + std::to_string(i % 50) + "\\Item " + std::to_string(i) +
                           "=link={T};_id=\"" + std::to_string(i) + "\";Caption=\"";
        line += std::string(128 - 2 - line.size() - 1, 'c') + "\"\r\n";
        ASSERT_EQ(line.size(), 128u);
        text += line;
    }
    ASSERT_EQ(text[(size_t{2} << 20) - 1], '\r');
    ASSERT_EQ(text[size_t{2} << 20], '\n');
    std::string ended = text;
    ended[(size_t{3} << 20) + 7] = '\0';
    std::string open = text + "Menu\\Last=link={T};_id=\"1\"";
    for (const std::string* t : {&text, &ended, &open}) {
        const std::string file = dir.Write("numbered.lnk", *t);
        const TReading one = Read(*t, nullptr, false, false);
        EXPECT_TRUE(one.Error.empty());
        ExpectSame(one, Read(*t, &file, false, true));
        ExpectSame(one, Read(*t, &file, false, false));
    }
}
