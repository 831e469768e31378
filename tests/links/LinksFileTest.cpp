#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cmdlang/LnkUtils.h"
#include "links/LinksFile.h"
#include "support/TestFiles.h"

using namespace elo;
namespace fs = std::filesystem;

namespace {

// node texts with their levels and links, in tree order
std::string Dump(const TLinkTree& tree) {
    std::string s;
    tree.ForEach([&](const TTreeNode* n) {
        s += std::string(static_cast<size_t>(n->Level()) * 2, ' ') + std::string(n->Text());
        if (n->Data()) s += " = " + std::string(n->Data()->Link) + " [" + std::to_string(n->ImageIndex()) + "]";
        s += "\n";
    });
    return s;
}

using elo::test::ReadFile;
using elo::test::WriteFile;

class TempDir : public ::testing::Test {
protected:
    elo::test::TTestDir scratch{"elo-links"};
    fs::path dir = scratch.Path();
};

} // namespace

TEST(LinksFile, NumberedFileKeepsItsLinksAndSetsTheCounter) {
    TLinksDocument doc;
    doc.LoadLinksText("_currentid=7\r\nA\\B=link={x};_id=\"3\"\r\n");
    EXPECT_EQ(Dump(doc.Tree), "A\n  B = link={x};_id=\"3\" [1]\n");
    EXPECT_EQ(doc.CurrentId, 7);
    EXPECT_EQ(doc.Tree.Root(0)->ImageIndex(), 0);
    EXPECT_EQ(doc.Tree.Root(0)->Item(0)->SelectedIndex(), 1);
}

TEST(LinksFile, RawFileIsRenumberedWhileRead) {
    TLinksDocument doc;
    doc.LoadLinksText("A\\B=T\nA\\C=T&\n");
    EXPECT_EQ(Dump(doc.Tree), "A\n  B = link={T};_id=\"0\" [1]\n  C = link={T};_id=\"1\" [1]\n");
    EXPECT_EQ(doc.CurrentId, 2);

    // Only "_currentid" with its letter case counts as the counter line.
    TLinksDocument upper;
    upper.LoadLinksText("_CURRENTID=7\r\n");
    EXPECT_EQ(Dump(upper.Tree), "_CURRENTID = link={7};_id=\"0\" [1]\n");
    EXPECT_EQ(upper.CurrentId, 1);

    // A raw file continues counting from the counter's value.
    TLinksDocument later;
    later.CurrentId = 40;
    later.LoadLinksText("X=T");
    EXPECT_EQ(later.Tree.Root(0)->Data()->Link, "link={T};_id=\"40\"");
}

TEST(LinksFile, RenumberingTheWorkedExampleAndNestedLinks) {
    TLinksDocument doc;
    EXPECT_EQ(doc.RenumberLink("T&pointer=p;Caption=\"C\",link={U}", false),
              "link={T&pointer=\"p\";Caption=\"C\",link={U};_id=\"0\"};_id=\"1\"");
    EXPECT_EQ(doc.CurrentId, 2);
    // Links inside a link get the lower numbers; further items follow the new id.
    EXPECT_EQ(doc.RenumberLink("A&link={B&link={C};x=y};_id=\"9\";k=v", false),
              "link={A&link={B&link={C};_id=\"2\";x=y};_id=\"3\";_id=\"9\";k=v};_id=\"4\"");
    EXPECT_EQ(doc.RenumberLink("U", true), "U");
    EXPECT_EQ(doc.CurrentId, 5);
    // A tag list that begins with a braced group finds no item of its own name.
    EXPECT_THROW(doc.RenumberLink("A&{x};y=1", false), ESyntaxError);
}

TEST(LinksFile, RenumberingFailureStopsTheReadingAtItsLine) {
    TLinksDocument doc;
    try {
        doc.LoadLinksText("A=T\nB=T&p=1;\nC=T\n");
        FAIL();
    } catch (const ESyntaxError& e) {
        EXPECT_EQ(e.Message, "Syntax error in command line");
    }
    EXPECT_EQ(Dump(doc.Tree), "A = link={T};_id=\"0\" [1]\nB = T&p=1; [1]\n");
    EXPECT_EQ(doc.CurrentId, 1);
    EXPECT_FALSE(doc.Tree.Updating()); // the batch was ended

    // Asked to keep going, the reading records the problem and reads on.
    TLinksDocument all;
    TLoadReport report;
    report.KeepGoing = true;
    all.LoadLinksText("A=T\nB=T&p=1;\nC=T\n", &report);
    ASSERT_EQ(report.Problems.size(), 1u);
    EXPECT_EQ(report.Problems[0].Line, 2);
    EXPECT_EQ(all.Tree.Root(2)->Data()->Link, "link={T};_id=\"1\"");
    ASSERT_EQ(report.ItemLines.size(), 3u);
    EXPECT_EQ(report.ItemLines[2].second, 3);
}

TEST(LinksFile, PathsFolderLinesAndTheFirstLineWins) {
    TLinksDocument doc;
    TLoadReport report;
    doc.LoadLinksText("_currentid=1\nA\\B=link={1}\na\\b=link={2}\nX\\Y\n\n\nA\\\\E=link={3}\n", &report);
    EXPECT_EQ(Dump(doc.Tree), "A\n  B = link={1} [1]\n  \n    E = link={3} [1]\nX\n  Y\n");
    ASSERT_EQ(report.Problems.size(), 1u);
    EXPECT_EQ(report.Problems[0].Line, 3);
    // Folders without items are not written.
    EXPECT_EQ(doc.LinksText(), "_currentid=1\r\nA\\B=link={1}\r\nA\\\\E=link={3}\r\n");
    // Accented letters fold too: É and é are one folder.
    TLinksDocument accents;
    accents.LoadLinksText("_currentid=1\n\xC9\\x=link={1}\n\xE9\\y=link={2}\ne\\z=link={3}\n");
    EXPECT_EQ(accents.Tree.RootCount(), 2);
}

TEST(LinksFile, CaptionSuffixOnlyFromAParenthesisOutsideQuotesAndBraces) {
    TLinksDocument doc;
    doc.LoadLinksText("_currentid=1\r\nA\\B=link={x};_id=\"1\" (Ctrl+S)\r\n"
                      "A\\C=link={f(x)};Caption=\"Sair (Alt+F4)\"\r\n"
                      "A\\D=x (a) (b)\r\n"
                      "A\\E=x (\r\n"
                      "A\\F=it's (here)\r\n");
    EXPECT_EQ(Dump(doc.Tree), "A\n"
                              "  B (Ctrl+S) = link={x};_id=\"1\" [1]\n"
                              "  C = link={f(x)};Caption=\"Sair (Alt+F4)\" [1]\n"
                              "  D (b) = x (a) [1]\n"
                              "  E () = x [1]\n"
                              "  F (here) = it's [1]\n");
    // Saved, the suffix is part of the path, before the "=".
    TLinksDocument again;
    again.LoadLinksText(doc.LinksText());
    EXPECT_EQ(again.Tree.Root(0)->Item(0)->Text(), "B (Ctrl+S)");
    EXPECT_EQ(again.Tree.Root(0)->Item(0)->Data()->Link, "link={x};_id=\"1\"");

    EXPECT_EQ(FindCaptionSuffix("a=x{ (y)", 1), 5u);   // an unclosed brace is plain
    EXPECT_EQ(FindCaptionSuffix("a={ {} (y)", 1), 7u); // ... and later braces still pair
    EXPECT_EQ(FindCaptionSuffix("a=\"(\" '(' {(}", 1), std::string_view::npos);
    EXPECT_EQ(FindCaptionSuffix("a(b=c", 3), std::string_view::npos); // before the "=" it is no suffix
}

// The caption suffix and the node-text rule written the plain way, byte by
// byte, against the ones the reader uses, on random lines of the bytes that
// matter, short and long (the reader skips plain bytes eight at a time).
TEST(LinksFile, CaptionSuffixAndNodeTextAgreeWithAPlainReading) {
    auto plainSuffix = [](std::string_view line, size_t eq) {
        size_t found = std::string_view::npos;
        if (eq >= line.size()) return found;
        for (size_t i = eq + 1; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '(') {
                found = i;
            } else if (c == '"' || c == '\'') {
                if (const size_t close = line.find(c, i + 1); close != std::string_view::npos) i = close;
            } else if (c == '{') {
                int depth = 0;
                for (size_t j = i; j < line.size(); ++j) {
                    if (line[j] == '{') ++depth;
                    if (line[j] == '}' && --depth == 0) {
                        i = j;
                        break;
                    }
                }
            }
        }
        return found;
    };
    auto plainClass = [](std::string_view text) {
        const size_t at = text.find_first_of(std::string_view("\\=\r\n\0", 5));
        if (at == std::string_view::npos) return TNodeTextProblem::None;
        return text[at] == '\\' || text[at] == '=' ? TNodeTextProblem::PathSeparator : TNodeTextProblem::LineBreak;
    };
    std::mt19937 random(11);
    const std::string special("()\"'{}=\\\r\n\0", 11), plain("abcdefgh\xE7     ");
    for (int round = 0; round < 20000; ++round) {
        const size_t length = random() % (round % 10 == 0 ? 200 : 24);
        // Mostly plain bytes, so runs of eight and more are skipped in bulk.
        std::string line;
        for (size_t i = 0; i < length; ++i)
            line += random() % 4 == 0 ? special[random() % special.size()] : plain[random() % plain.size()];
        const size_t eq = length == 0 ? 0 : random() % length;
        ASSERT_EQ(FindCaptionSuffix(line, eq), plainSuffix(line, eq)) << line << " from " << eq;
        ASSERT_EQ(ClassifyNodeText(line), plainClass(line)) << line;
    }
}

TEST(LinksFile, LineEndingsNulAndTrimming) {
    TLinksDocument doc;
    doc.LoadLinksText(std::string("_currentid=3\rA=  x  \nB=\t y\r\n\r\nC=z\0D=w\n", 38));
    EXPECT_EQ(Dump(doc.Tree), "A = x [1]\nB = y [1]\nC = z [1]\n");
    EXPECT_EQ(doc.CurrentId, 3);
    TLinksDocument noEnding;
    noEnding.LoadLinksText("_currentid=3\nA=x");
    EXPECT_EQ(noEnding.Tree.RootCount(), 1);
    // Nothing at all: an empty document, the counter as it was.
    TLinksDocument empty;
    empty.CurrentId = 4;
    empty.LoadLinksText("");
    EXPECT_EQ(empty.Tree.NodeCount(), 0);
    EXPECT_EQ(empty.CurrentId, 4);
}

TEST(LinksFile, CounterLines) {
    // At any depth, and the last one read counts; its node never stays.
    TLinksDocument doc;
    TLoadReport report;
    doc.LoadLinksText("_currentid=1\nA\\_currentid=5\nB=x\n_currentid=abc\n", &report);
    EXPECT_EQ(doc.CurrentId, 5);
    EXPECT_EQ(Dump(doc.Tree), "A\nB = x [1]\n");
    ASSERT_EQ(report.Problems.size(), 1u); // the value that is no decimal integer
    EXPECT_EQ(report.Problems[0].Line, 4);
    // A folder that happens to carry the counter's name keeps its items.
    TLinksDocument folder;
    folder.LoadLinksText("_currentid=1\n_currentid\\X=x\n_currentid=9\n");
    EXPECT_EQ(folder.CurrentId, 9);
    EXPECT_EQ(Dump(folder.Tree), "_currentid\n  X = x [1]\n");
}

TEST(LinksFile, CounterStopsAtTheLargest32BitValue) {
    TLinksDocument doc;
    doc.CurrentId = INT32_MAX - 1;
    EXPECT_EQ(doc.NewId(), INT32_MAX - 1);
    EXPECT_THROW(doc.NewId(), ELinksFileError);
    EXPECT_THROW(doc.LoadLinksText("A=T"), ELinksFileError);
    EXPECT_EQ(doc.CurrentId, INT32_MAX);
}

TEST(LinksFile, DeeplyNestedRawLinksAreRefused) {
    std::string raw = "T";
    for (int i = 0; i < 150; ++i) raw = "A&link={" + raw + "}";
    TLinksDocument doc;
    EXPECT_THROW(doc.RenumberLink(raw, false), ESyntaxError);
}

TEST(LinksFile, WritesTheCounterThenItemsInTreeOrder) {
    TLinksDocument doc;
    doc.CurrentId = 12;
    EXPECT_EQ(doc.LinksText(), "_currentid=12\r\n");
    TTreeNode* a = doc.Tree.AddChild(nullptr, "A");
    TTreeNode* b = doc.Tree.AddChild(a, "B");
    TTreeNode* c = doc.Tree.AddChild(b, "C");
    TTreeNode* z = doc.Tree.AddChild(nullptr, "Z");
    doc.Tree.SetData(b, TLinkData{"lb"});
    doc.Tree.SetData(c, TLinkData{"lc"});
    doc.Tree.SetData(z, TLinkData{"lz"});
    EXPECT_EQ(doc.LinksText(), "_currentid=12\r\nA\\B=lb\r\nA\\B\\C=lc\r\nZ=lz\r\n");
    EXPECT_EQ(TLinksDocument::NodePath(c), "A\\B\\C");
    // Texts that would split the path, and links with line breaks, are refused.
    doc.Tree.SetText(c, "C=1");
    EXPECT_THROW(doc.LinksText(), ELinksFileError);
    doc.Tree.SetText(c, "C");
    doc.Tree.SetData(c, TLinkData{"l\nc"});
    EXPECT_THROW(doc.LinksText(), ELinksFileError);
    EXPECT_NE(ValidateNodeText("a\\b"), "");
    EXPECT_EQ(ValidateNodeText("B (Ctrl+S)"), "");
}

TEST(LinksFile, GeneratedTreesRoundTrip) {
    std::mt19937 rng(7);
    const char* words[] = {"Cadastros", "Vendas", "Relat\xF3rios", "a", "B (x)", "", "Estoque", "c\xE7"};
    for (int round = 0; round < 20; ++round) {
        TLinksDocument doc;
        doc.CurrentId = static_cast<int32_t>(rng() % 1000);
        std::vector<TTreeNode*> nodes;
        for (int i = 0; i < 200; ++i) {
            TTreeNode* parent = nodes.empty() || rng() % 4 == 0 ? nullptr : nodes[rng() % nodes.size()];
            // Sibling texts differ in more than letter case, or reading would merge them.
            std::string text = std::string(words[rng() % 8]) + std::to_string(i);
            TTreeNode* n = doc.Tree.AddChild(parent, text);
            if (rng() % 3 != 0) {
                doc.Tree.SetData(
                    n, TLinkData{"link={T" + std::to_string(i) + "&p=\"(q)\"};_id=\"" + std::to_string(i) + "\""});
                doc.Tree.SetImages(n, 1, 1);
            }
            nodes.push_back(n);
        }
        // Folders without an item below them are not written: drop them first.
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
            if (!(*it)->Data() && !(*it)->HasChildren()) doc.Tree.Delete(*it);
        const std::string text = doc.LinksText();
        TLinksDocument back;
        back.LoadLinksText(text);
        EXPECT_EQ(Dump(back.Tree), Dump(doc.Tree));
        EXPECT_EQ(back.CurrentId, doc.CurrentId);
        EXPECT_EQ(back.LinksText(), text); // canonical files come back byte for byte
    }
}

TEST_F(TempDir, LoadAndSaveThroughFiles) {
    const fs::path file = dir / "menu.lnk";
    WriteFile(file, "_currentid=2\r\nA\\B=link={x};_id=\"1\"\r\n");
    TLinksDocument doc;
    doc.LoadLinksFile(file.string());
    EXPECT_EQ(doc.FileName, file.string());
    const fs::path out = dir / "out.lnk";
    doc.SaveLinksFile(out.string());
    EXPECT_EQ(ReadFile(out), "_currentid=2\r\nA\\B=link={x};_id=\"1\"\r\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

    TLinksDocument missing;
    missing.Tree.AddChild(nullptr, "old");
    try {
        missing.LoadLinksFile((dir / "nope.lnk").string());
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file " + (dir / "nope.lnk").string());
    }
    EXPECT_EQ(missing.Tree.RootCount(), 0);
    EXPECT_EQ(missing.FileName, (dir / "nope.lnk").string());
    EXPECT_THROW(missing.LoadLinksFile(dir.string()), EFOpenError);

    missing.NewLinksFile();
    EXPECT_EQ(missing.FileName, "");
}

TEST_F(TempDir, LongLinesAcrossTheReadBuffer) {
    const fs::path file = dir / "long.lnk";
    std::string big(3 << 20, 'x');
    WriteFile(file, "_currentid=1\r\nA=" + big + "\rB=y\r");
    TLinksDocument doc;
    doc.LoadLinksFile(file.string());
    ASSERT_EQ(doc.Tree.RootCount(), 2);
    EXPECT_EQ(doc.Tree.Root(0)->Data()->Link.size(), big.size());
    EXPECT_EQ(doc.Tree.Root(1)->Data()->Link, "y");
}

TEST_F(TempDir, FailedSavesLeaveTheOldFileIntact) {
    const fs::path file = dir / "keep.lnk";
    const std::string original = "_currentid=1\r\nOld=link={x}\r\n";
    WriteFile(file, original);
    TLinksDocument doc;
    doc.CurrentId = 5;
    TTreeNode* n = doc.Tree.AddChild(nullptr, "New");
    doc.Tree.SetData(n, TLinkData{std::string(4 << 20, 'y')});

    // A directory that cannot be written (root writes anywhere: the child
    // process gives up root first).
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_exec);
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(3);
        try {
            doc.SaveLinksFile(file.string());
        } catch (const EInOutError& e) {
            _exit(e.Message.rfind("File access denied", 0) == 0 ? 42 : 1);
        } catch (...) {
        }
        _exit(2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 42);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(ReadFile(file), original);

    // A child process whose file size is limited to 1 MB: the write fails with
    // the limit's own message, and nothing is left behind.
    pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            doc.SaveLinksFile(file.string());
        } catch (const EInOutError& e) {
            _exit(e.Message.rfind("File too large", 0) == 0 ? 42 : 1);
        } catch (...) {
        }
        _exit(2);
    }
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 42);
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1); // no temporary left

    // A text that cannot be written refuses the save before anything is touched.
    doc.Tree.SetText(n, "a=b");
    EXPECT_THROW(doc.SaveLinksFile(file.string()), ELinksFileError);
    EXPECT_EQ(ReadFile(file), original);

    // A good save replaces the file and keeps its permissions.
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    doc.Tree.SetText(n, "New");
    doc.SaveLinksFile(file.string());
    EXPECT_EQ(ReadFile(file).substr(0, 15), "_currentid=5\r\nN");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(TempDir, SaveWritesThroughASymbolicLink) {
    const fs::path real = dir / "real.lnk";
    WriteFile(real, "_currentid=0\r\n");
    fs::create_symlink(real, dir / "alias.lnk");
    TLinksDocument doc;
    doc.CurrentId = 3;
    doc.SaveLinksFile((dir / "alias.lnk").string());
    EXPECT_TRUE(fs::is_symlink(dir / "alias.lnk"));
    EXPECT_EQ(ReadFile(real), "_currentid=3\r\n");
}

TEST(LinksFile, DeepPathsLoadSaveAndFreeWithoutRecursion) {
    std::string line = "_currentid=1\n";
    for (int i = 0; i < 100000; ++i) line += "a\\";
    line += "b=link={x}\n";
    TLinksDocument doc;
    doc.LoadLinksText(line);
    EXPECT_EQ(doc.LinksText().size(), line.size() + 2); // CR LF instead of LF, twice
}

TEST_F(TempDir, EveryLineEndingSplitsAlikeReadWholeOrInPieces) {
    // Lines ended by CR, LF or CR LF at random, some CRs far from any LF,
    // over more than the piece a raw file is read in.
    std::mt19937 rng(26);
    std::string text;
    for (int i = 0; text.size() < (3u << 20); ++i) {
        text += "Pasta " + std::to_string(i % 97) + "\\Item " + std::to_string(i) + "=T&p=" + std::to_string(rng());
        const char* endings[] = {"\r", "\n", "\r\n", "\r\r\n", "\n\r"};
        text += endings[rng() % 5];
    }
    const fs::path raw = dir / "raw.lnk";
    WriteFile(raw, text);
    TLinksDocument inPieces, whole;
    inPieces.LoadLinksFile(raw.string());
    whole.LoadLinksText(text);
    EXPECT_EQ(Dump(inPieces.Tree), Dump(whole.Tree));
    EXPECT_EQ(inPieces.CurrentId, whole.CurrentId);
    // A numbered file is read whole, and a NUL ends it however far it lies.
    const fs::path numbered = dir / "numbered.lnk";
    WriteFile(numbered, "_currentid=1\r" + text + std::string(1, '\0') + "After=x\r\n");
    TLinksDocument fromFile, fromText;
    fromFile.LoadLinksFile(numbered.string());
    fromText.LoadLinksText("_currentid=1\r" + text);
    EXPECT_EQ(Dump(fromFile.Tree), Dump(fromText.Tree));
}

TEST_F(TempDir, ReadersNeverSeeASaveInPlaceHalfWritten) {
    // Two versions of a file of a few megabytes, hard-linked: every save of
    // it writes in place, while this process reads it again and again.
    auto version = [](char c, int lines) {
        TLinksDocument doc;
        std::string text = "_currentid=1\r\n";
        for (int i = 0; i < lines; ++i)
            text +=
                "P" + std::to_string(i / 100) + "\\I" + std::to_string(i) + "=link={" + std::string(60, c) + "}\r\n";
        doc.LoadLinksText(text);
        return doc.LinksText();
    };
    const std::string a = version('a', 80000), b = version('b', 70000);
    const fs::path file = dir / "shared.lnk";
    WriteFile(file, a);
    fs::create_hard_link(file, dir / "other.lnk");
    const pid_t writer = fork();
    if (writer == 0) {
        for (int i = 0; i < 24; ++i) {
            TLinksDocument doc;
            doc.LoadLinksText(i % 2 ? a : b);
            doc.SaveLinksFile(file.string());
        }
        _exit(0);
    }
    int reads = 0, mixed = 0;
    while (waitpid(writer, nullptr, WNOHANG) == 0) {
        TLinksDocument doc;
        doc.LoadLinksFile(file.string());
        const std::string seen = doc.LinksText();
        mixed += seen != a && seen != b;
        ++reads;
    }
    EXPECT_EQ(mixed, 0) << "of " << reads << " readings";
    EXPECT_EQ(fs::hard_link_count(file), 2u);
}
