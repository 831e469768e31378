#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "nlxintf/NlxFormat.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

using elo::test::ReadFile;

std::string Expand(const std::string& stored) {
    std::vector<unsigned char> out(kBlockSize + kBlockSlack);
    const int32_t n = ExpandBlock(reinterpret_cast<const unsigned char*>(stored.data()),
                                  static_cast<int32_t>(stored.size()), out.data());
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(n));
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

} // namespace

TEST(BlockExpansion, AgreesWithTheIndependentVectors) {
    const fs::path dir = fs::path(ELO_SHARED_TESTDATA) / "blocks";
    int checked = 0;
    for (const auto& file : fs::directory_iterator(dir)) {
        if (file.path().extension() != ".blk") continue;
        const std::string stored = ReadFile(file.path());
        const std::string expected = ReadFile(fs::path(file.path()).replace_extension(".bin"));
        EXPECT_EQ(Expand(stored), expected) << file.path();
        ++checked;
    }
    EXPECT_EQ(checked, 9);
}

TEST(BlockExpansion, ItemsAndControlWords) {
    EXPECT_EQ(Expand(Bytes({0x80})), ""); // stored, S = 1
    EXPECT_EQ(Expand(Bytes({0x40})), ""); // S = 1, any other mode
    EXPECT_EQ(Expand(""), "");
    // A copy with distance 1 and count 18 repeats the previous byte.
    EXPECT_EQ(Expand(Bytes({0x40, 0x40, 0x00, 'x', 0x00, 0x1F})), std::string(19, 'x'));
    // A run with count field 0 writes 16 bytes.
    EXPECT_EQ(Expand(Bytes({0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 'r'})), std::string(16, 'r'));
    // A copy shorter in distance than in count repeats the last bytes.
    EXPECT_EQ(Expand(Bytes({0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x24})), "ababababa");
    // Seventeen literals: 1 + 2 + 16 + 2 + 1 bytes; the second control word
    // comes right before the seventeenth item.
    std::string seventeen = Bytes({0x40, 0x00, 0x00}) + "abcdefghijklmnop" + Bytes({0x00, 0x00}) + "q";
    EXPECT_EQ(seventeen.size(), 22u);
    EXPECT_EQ(Expand(seventeen), "abcdefghijklmnopq");
}

TEST(BlockExpansion, RejectsBlocksTheFormatForbids) {
    auto bad = [](const std::string& stored) { EXPECT_THROW(Expand(stored), TNLXInterfaceError) << stored.size(); };
    bad(std::string(8193, '\x80'));                   // stored block over 8192 bytes
    bad(Bytes({0x40, 0x80, 0x00, 0x01}));             // a copy cut short
    bad(Bytes({0x40, 0x80, 0x00, 0x00, 0x00, 0x00})); // a run cut short
    bad(Bytes({0x40, 0x80, 0x00, 0x00, 0x20}));       // reference before the start
    bad(Bytes({0x40, 0x40, 0x00, 'a', 0x00, 0x20}));  // distance 2 with one byte out
    bad(Bytes({0x40, 0xC0, 0x00, 0x00, 0x0F, 0xFF, 'a', 0x00, 0x0F, 0xFF, 'b', 0x00, 0x00, 0x00})); // runs past 8192
    std::string literals = Bytes({0x40, 0x00, 0x00});
    for (int i = 0; i < 16; ++i) literals += 'x';
    bad(literals + Bytes({0x00})); // a control word with no item after it
    // Runs of 4111 and copies that fill the block exactly are fine.
    EXPECT_EQ(Expand(Bytes({0x40, 0xC0, 0x00, 0x00, 0x0F, 0xFF, 'a', 0x00, 0x0F, 0xE1, 'b'})).size(), 8192u);
}

TEST(BlockExpansion, CompressorRoundTrips) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        const size_t n = rng() % 8192;
        std::string data(n, '\0');
        const int kind = round % 4;
        for (size_t i = 0; i < n; ++i) {
            if (kind == 0)
                data[i] = static_cast<char>(rng());
            else if (kind == 1)
                data[i] = "abc de"[rng() % 6];
            else if (kind == 2)
                data[i] = static_cast<char>(i / 300);
            else
                data[i] = i % 97 < 40 ? 'z' : static_cast<char>('a' + i % 7);
        }
        if (n > 8191) data.resize(8191);
        ASSERT_EQ(Expand(CompressBlock(data)), data) << round;
    }
}

TEST(Format, VersionDigitsOfTheSignature) {
    EXPECT_EQ(FormatVersionOf(std::string("QPX25\0", 6)), 25);
    EXPECT_EQ(FormatVersionOf(std::string("QPXS9\0", 6)), 9);
    EXPECT_EQ(FormatVersionOf(std::string("QPX09\0", 6)), 9);
    EXPECT_EQ(FormatVersionOf("QPXAB"), -1);
    EXPECT_EQ(FormatVersionOf(std::string("QPX2\0\0", 6)), -1); // too short to hold both digits
    EXPECT_EQ(FormatVersionOf(""), -1);
}

TEST(Format, StringsAndTheirLimits) {
    TMemoryStream m;
    const unsigned char text[] = {3,   'a', 'b',  'c',  2,    0,
                                  'h', 'i', 0x01, 0x90, 0x01, 0x00}; // 1-byte, 2-byte, 4-byte 102401
    m.WriteBuffer(text, sizeof text);
    m.SetPosition(0);
    EXPECT_EQ(ReadLibraryString(m, 1), "abc");
    EXPECT_EQ(ReadLibraryString(m, 2), "hi");
    try {
        ReadLibraryString(m, 4);
        FAIL();
    } catch (const TNLXInterfaceError& e) {
        EXPECT_EQ(e.Message, "Bad string size.The nlx file can be corrupt");
    }
    TMemoryStream cut;
    cut.WriteBuffer("\x05"
                    "ab",
                    3);
    cut.SetPosition(0);
    EXPECT_THROW(ReadLibraryString(cut, 1), TNLXInterfaceError); // runs past the end of the data
    cut.SetPosition(0);
    EXPECT_THROW(SkipLibraryString(cut, 1), TNLXInterfaceError);
    EXPECT_EQ(QualifyReference("A.B", "LIB"), "LIB.A.B");
    EXPECT_EQ(QualifyReference(".A.B", "LIB"), "LIB.A.B");
    EXPECT_EQ(QualifyReference("X.A.B", "LIB"), "X.A.B");
    EXPECT_EQ(QualifyReference("A", "LIB"), "A");
    EXPECT_EQ(QualifyReference("", "LIB"), "");
}

TEST(Format, DirectoryReading) {
    NlxLibrarySpec lib;
    lib.Version = 17;
    lib.Entries = {SimpleEntry("A", "X", 10), SimpleEntry("", "NoDot", 3), SimpleEntry("B", "Y", 10)};
    lib.Entries[1].DirName = "NoDot";
    lib.Entries[2].DirOmitFlag = 1;
    struct Record {
        std::string Prefix, NamePart;
        uint8_t Kind;
    };
    auto read = [](const std::string& bytes, int& version) {
        TMemoryStream m;
        m.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        std::vector<Record> records;
        const std::vector<unsigned char> directory = ReadDirectoryRecords(m, version); // sets the version first
        ForEachDirectoryRecord(directory, true, version, [&](const TDirectoryRecord& r) {
            records.push_back({std::string(r.Prefix), std::string(r.NamePart), r.Kind});
        });
        return records;
    };
    int version = 0;
    auto records = read(WriteNlx(lib), version);
    EXPECT_EQ(version, 17);
    ASSERT_EQ(records.size(), 2u); // the flagged record is left out from version 17
    EXPECT_EQ(records[1].Prefix, "");
    EXPECT_EQ(records[1].NamePart, "NoDot");
    EXPECT_EQ(records[0].Kind, 10);
    lib.Version = 16;
    EXPECT_EQ(read(WriteNlx(lib), version).size(), 3u);
    lib.Version = 2;
    EXPECT_EQ(read(WriteNlx(lib), version)[0].Kind, 0); // no kind before version 3

    int empty = 25;
    EXPECT_TRUE(read("", empty).empty());
    EXPECT_EQ(empty, 25);

    lib.Version = 25;
    lib.EntryCount = 5; // more than the directory holds
    EXPECT_THROW(read(WriteNlx(lib), version), TNLXInterfaceError);
    lib.EntryCount.reset();
    lib.DirectoryOffset = 1 << 30;
    EXPECT_THROW(read(WriteNlx(lib), version), TNLXInterfaceError);
    lib.DirectoryOffset = -4;
    EXPECT_THROW(read(WriteNlx(lib), version), TNLXInterfaceError);
    lib.DirectoryOffset.reset();
    std::string bytes = WriteNlx(lib);
    bytes[bytes.size() - 4 - 3 * dir::kRecordSize] = dir::kNameMax + 1; // a name longer than its bytes
    EXPECT_THROW(read(bytes, version), TNLXInterfaceError);
    EXPECT_THROW(read(std::string("QPX25\0\1\0", 8), version), TNLXInterfaceError); // too short for a directory
}

TEST(Format, SectionsEndAtAZeroLengthOrAtTheEndOfTheData) {
    const std::string data = "header record bytes, header record bytes";
    std::string section = CompressSection(data, 16);
    TMemoryStream m, out;
    std::vector<unsigned char> in(kBlockSize + kBlockSlack), buf(kBlockSize + kBlockSlack);
    m.WriteBuffer(section.data(), static_cast<int32_t>(section.size() - 2)); // no terminating zero
    m.SetPosition(0);
    // An earlier, longer content of the memory stream does not survive.
    out.WriteBuffer(std::string(500, '#').data(), 500);
    EXPECT_EQ(ExpandSection(m, out, in.data(), buf.data()), static_cast<int32_t>(data.size()));
    EXPECT_EQ(out.Size(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(std::string(out.Memory(), data.size()), data);
    // A stored length past the end of the data is corrupt.
    TMemoryStream cut;
    cut.WriteBuffer(section.data(), 10);
    cut.SetPosition(0);
    EXPECT_THROW(ExpandSection(cut, out, in.data(), buf.data()), TNLXInterfaceError);
}
