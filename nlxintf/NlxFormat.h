// The interface library file format: strings of three classes, the block
// compression of sections (format version 13 and later), the header and
// directory, and the readers of entry headers, group and symbol records.
// Every length, offset and count is checked against the data there really is: a
// malformed file gives TNLXInterfaceError, never a read out of bounds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace elo {

class TNLXInterfaceError : public Exception {
public:
    using Exception::Exception;
};

inline constexpr const char* kBadStringSize = "Bad string size.The nlx file can be corrupt";
inline constexpr const char* kTruncatedData = "Unexpected end of data.The nlx file can be corrupt";
inline constexpr int32_t kMaxLibraryString = 102400;
inline constexpr int32_t kBlockSize = 8192;
// Room after a block buffer for word-wide copies that run a little past the end.
inline constexpr int32_t kBlockSlack = 64;
inline constexpr int kNewestFormatVersion = 25;

// String classes by the width of their length prefix.
inline int NameStringWidth(int version) {
    return version >= 8 ? 1 : 4;
}
inline int TextStringWidth(int version) {
    return version >= 8 ? 2 : 4;
}
inline constexpr int kLongStringWidth = 4;

// Exact reads of little-endian numbers; a shortfall is TNLXInterfaceError.
void ReadBytes(TStream& stream, void* buffer, int32_t count);
uint8_t ReadU8(TStream& stream);
uint16_t ReadU16(TStream& stream);
int16_t ReadI16(TStream& stream);
int32_t ReadI32(TStream& stream);

// A string with a length prefix of width bytes (1, 2 or 4; 1 and 2 unsigned).
std::string ReadLibraryString(TStream& stream, int width);
void SkipLibraryString(TStream& stream, int width);

// Expands one stored block of size bytes (mode byte first) into out, which has
// room for kBlockSize + kBlockSlack bytes; returns the expanded length.
int32_t ExpandBlock(const unsigned char* stored, int32_t size, unsigned char* out);
// Expands the compressed section at the library stream's position into memory,
// which then holds exactly the expanded bytes, positioned at 0. The library
// stream is left after the section's terminating zero length (or at the end of
// the data, which also ends a section). Returns the expanded length. A
// section that expands past limit bytes raises TNLXInterfaceError.
int32_t ExpandSection(TStream& library, TMemoryStream& memory, unsigned char* inBuffer, unsigned char* outBuffer,
                      int64_t limit = INT32_MAX);
// The same, handing each expanded block to sink as it comes (nothing is held).
int64_t ExpandSectionTo(TStream& library, const std::function<void(const unsigned char*, int32_t)>& sink,
                        unsigned char* inBuffer, unsigned char* outBuffer, int64_t limit = INT64_MAX);

// What a section may expand to: an entry header holds a few texts of at most
// 102400 bytes each; a body holds as many group and symbol records as the
// header counts, each of a few such texts, and no more than the memory a
// reader may spend on a library of its size.
inline constexpr int64_t kHeaderSectionLimit = int64_t{1} << 20;
int64_t BodySectionLimit(int64_t librarySize, int64_t groups, int64_t symbols);

// The format version of a signature (the file's first bytes up to a NUL, at
// most 6): the digits at its 4th and 5th characters, "S" counting as "0";
// -1 when they are not a number or the signature is too short to hold them.
int FormatVersionOf(std::string_view signature);

// A directory record: 68 bytes, one per entry, after the entries' data.
namespace dir {
inline constexpr size_t kRecordSize = 68;
inline constexpr size_t kNameLength = 0; // a byte: the name's length, at most kNameMax
inline constexpr size_t kName = 1;       // the dotted name's bytes
inline constexpr size_t kNameMax = 58;
inline constexpr size_t kOmitFlag = 59;   // passed over from format version 17 when set
inline constexpr size_t kKind = 60;       // from format version 3
inline constexpr size_t kDataOffset = 64; // 4 bytes, little-endian: the entry's header
} // namespace dir

struct TDirectoryRecord {
    std::string_view Prefix;   // the dotted name up to its last "."
    std::string_view NamePart; // after it
    int32_t DataOffset = 0;
    uint8_t OmitFlag = 0;
    uint8_t Kind = 0;
};

// Splits a dotted name at its last ".": ("A.B", "C") for "A.B.C", ("", "C") for "C".
std::pair<std::string_view, std::string_view> SplitDottedName(std::string_view name);

// Reads the header and the directory: the records (dir::kRecordSize bytes each)
// with their name lengths checked. An empty stream has no entries and keeps
// formatVersion as it was.
std::vector<unsigned char> ReadDirectoryRecords(TStream& library, int& formatVersion);
// Hands each accepted record of what ReadDirectoryRecords returned to take (its
// texts are valid during the call). Records with a set omit flag are passed
// over from format version 17 when omitFlagged is on. Returns the records
// accepted.
template <typename Take>
size_t ForEachDirectoryRecord(const std::vector<unsigned char>& records, bool omitFlagged, int formatVersion,
                              Take&& take) {
    size_t accepted = 0;
    for (size_t at = 0; at + dir::kRecordSize <= records.size(); at += dir::kRecordSize) {
        const unsigned char* r = records.data() + at;
        if (omitFlagged && formatVersion >= 17 && r[dir::kOmitFlag] != 0) continue;
        TDirectoryRecord record;
        std::tie(record.Prefix, record.NamePart) =
            SplitDottedName(std::string_view(reinterpret_cast<const char*>(r + dir::kName), r[dir::kNameLength]));
        record.OmitFlag = r[dir::kOmitFlag];
        record.Kind = formatVersion >= 3 ? r[dir::kKind] : 0;
        const unsigned char* offset = r + dir::kDataOffset;
        record.DataOffset =
            static_cast<int32_t>(static_cast<uint32_t>(offset[0]) | (static_cast<uint32_t>(offset[1]) << 8) |
                                 (static_cast<uint32_t>(offset[2]) << 16) | (static_cast<uint32_t>(offset[3]) << 24));
        take(record);
        ++accepted;
    }
    return accepted;
}

// A Reference qualified with the library name: a leading "." is dropped, and a
// text with exactly one "." gets the library name in front.
std::string QualifyReference(std::string_view reference, std::string_view libraryName);

// A reader of expanded section bytes in memory: the same checks as the
// stream reads, without a call per field.
class TByteReader {
public:
    TByteReader(const void* data, size_t size) : FAt(static_cast<const unsigned char*>(data)), FEnd(FAt + size) {}
    uint8_t U8() {
        Need(1);
        return *FAt++;
    }
    uint16_t U16() {
        Need(2);
        const uint16_t v = static_cast<uint16_t>(FAt[0] | (FAt[1] << 8));
        FAt += 2;
        return v;
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    int32_t I32() {
        Need(4);
        const uint32_t v = static_cast<uint32_t>(FAt[0]) | (static_cast<uint32_t>(FAt[1]) << 8) |
                           (static_cast<uint32_t>(FAt[2]) << 16) | (static_cast<uint32_t>(FAt[3]) << 24);
        FAt += 4;
        return static_cast<int32_t>(v);
    }
    void Bytes(void* to, size_t n) {
        Need(n);
        __builtin_memcpy(to, FAt, n);
        FAt += n;
    }
    std::string String(int width);
    void SkipString(int width);

private:
    int32_t Length(int width) { return width == 1 ? U8() : width == 2 ? U16() : I32(); }
    void Need(size_t n) const {
        if (static_cast<size_t>(FEnd - FAt) < n) throw TNLXInterfaceError(kTruncatedData);
    }
    const unsigned char* FAt;
    const unsigned char* FEnd;
};

class TNLXInterface;
class TNLXGroupDef;
class TNLXSymbolDef;
// The entry header record into entry's fields (FullName from the two name parts).
// From a stream (plain libraries) or from expanded bytes.
void ReadEntryHeaderRecord(TStream& stream, int version, bool loadLongTexts, TNLXInterface& entry);
void ReadEntryHeaderRecord(TByteReader& reader, int version, bool loadLongTexts, TNLXInterface& entry);
void ReadGroupRecord(TStream& stream, int version, TNLXGroupDef& group);
void ReadGroupRecord(TByteReader& reader, int version, TNLXGroupDef& group);
void ReadSymbolRecord(TStream& stream, int version, std::string_view libraryName, TNLXSymbolDef& symbol);
void ReadSymbolRecord(TByteReader& reader, int version, std::string_view libraryName, TNLXSymbolDef& symbol);

} // namespace elo
