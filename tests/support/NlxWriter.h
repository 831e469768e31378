// Writes interface libraries (.nlx) for tests, benchmarks, fuzz seeds and the
// examples: every format version 1 to 25, plain or block-compressed, entries in
// any file order, and malformed variants on request. It is written from the
// format's description, independently of the reader it checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace elo::test {

struct NlxGroupSpec {
    std::string Name;
    int16_t Word1 = 0;
    uint8_t Byte1 = 0;
    uint8_t TableIndex = 1;
    uint8_t Byte2 = 0;
    std::string Text1, Text2;
};

struct NlxSymbolSpec {
    std::string Name;
    uint8_t Byte1 = 0;
    uint16_t Word1 = 0;
    uint16_t Flags = 0;
    uint8_t Byte2 = 0;
    std::string Text1;
    std::string GroupName;   // versions 3 to 8
    int16_t GroupIndex = -1; // version 9 and later
    std::string Text2, Text3, Text4, Text5, Text6, Reference;
    uint16_t Word2 = 0;
    std::string Text7, Text8;
    uint8_t Byte3 = 0;
    std::string Text9, Text10, Text11, Text12;
    uint8_t Byte4 = 0;
    std::string Text13;
    uint8_t Byte5 = 0;
};

struct NlxEntrySpec {
    std::string DirName; // the dotted name in the directory
    uint8_t DirKind = 0;
    uint8_t DirOmitFlag = 0;
    std::string OldFullName; // versions below 3
    std::string NamePrefix, NamePart, LongText, Text1;
    uint16_t Word0 = 0; // versions below 9, in place of GroupCount
    uint16_t Word1 = 0;
    uint8_t Kind = 0, Byte1 = 1, Byte2 = 0, HeaderOmitFlag = 0;
    std::string Text2;
    uint8_t Byte3 = 1;
    std::vector<NlxGroupSpec> Groups;
    std::vector<NlxSymbolSpec> Table0, Table1;
    // Malformed variants: counts that do not match the records written.
    std::optional<uint16_t> SymbolCount0, SymbolCount1, GroupCount;
};

struct NlxLibrarySpec {
    int Version = 25;
    std::optional<std::string> Signature; // default "QPX" + two digits + NUL
    bool Compress = true;                 // sections compressed from version 13
    std::vector<NlxEntrySpec> Entries;
    std::vector<size_t> FileOrder;      // order of the data areas; default as listed
    std::optional<uint16_t> EntryCount; // malformed: another count
    std::optional<int32_t> DirectoryOffset;
};

std::string WriteNlx(const NlxLibrarySpec& library);
std::string EntryHeaderBytes(const NlxEntrySpec& entry, int version);
std::string EntryBodyBytes(const NlxEntrySpec& entry, int version);

// One stored block (mode byte and data, without the 2-byte length) for at most
// 8191 bytes: compressed (mode 0x40) when that is smaller, else stored (0x80).
std::string CompressBlock(std::string_view data);
// A compressed section: blocks of at most blockSize bytes, each behind its
// 2-byte length, ended by a zero length.
std::string CompressSection(std::string_view data, size_t blockSize = 4096);

// A convenient entry: prefix.name of a kind, with n symbols in table 0.
NlxEntrySpec SimpleEntry(const std::string& prefix, const std::string& name, uint8_t kind, int symbols = 1);

} // namespace elo::test
