#include "NlxFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "NlxEntries.h"

namespace elo {

// ---- numbers and strings ----------------------------------------------------------

void ReadBytes(TStream& stream, void* buffer, int32_t count) {
    if (count <= 0) return;
    try {
        stream.ReadBuffer(buffer, count);
    } catch (const EStreamError&) {
        throw TNLXInterfaceError(kTruncatedData);
    }
}

uint8_t ReadU8(TStream& stream) {
    uint8_t b = 0;
    ReadBytes(stream, &b, 1);
    return b;
}

uint16_t ReadU16(TStream& stream) {
    unsigned char b[2];
    ReadBytes(stream, b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

int16_t ReadI16(TStream& stream) {
    return static_cast<int16_t>(ReadU16(stream));
}

int32_t ReadI32(TStream& stream) {
    unsigned char b[4];
    ReadBytes(stream, b, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

namespace {
int32_t ReadLength(TStream& stream, int width) {
    if (width == 1) return ReadU8(stream);
    if (width == 2) return ReadU16(stream);
    return ReadI32(stream);
}
} // namespace

std::string ReadLibraryString(TStream& stream, int width) {
    const int32_t length = ReadLength(stream, width);
    if (length < 0 || length > kMaxLibraryString) throw TNLXInterfaceError(kBadStringSize);
    std::string s(static_cast<size_t>(length), '\0');
    ReadBytes(stream, s.data(), length);
    return s;
}

void SkipLibraryString(TStream& stream, int width) {
    const int32_t length = ReadLength(stream, width);
    // A negative length would move backwards: the file is corrupt.
    if (length < 0) throw TNLXInterfaceError(kBadStringSize);
    if (stream.Position() + length > stream.Size()) throw TNLXInterfaceError(kTruncatedData);
    stream.Seek(length, soCurrent);
}

// ---- block compression ---------------------------------------------------------------

namespace {
[[noreturn]] void BadBlock(const char* what) {
    throw TNLXInterfaceError(std::string("Bad compressed block (") + what + ").The nlx file can be corrupt");
}
inline uint64_t Load8(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void Store8(unsigned char* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}
} // namespace

int32_t ExpandBlock(const unsigned char* s, int32_t size, unsigned char* out) {
    if (size <= 1) return 0;
    if (size > kBlockSize) BadBlock("stored size over 8192");
    if (s[0] == 0x80) {
        std::memcpy(out, s + 1, static_cast<size_t>(size - 1));
        return size - 1;
    }
    if (size < 3) return 0; // no room for a control word: no items
    // The control word's bit 15 tells the next item: 0 a literal byte, 1 a copy
    // or a run. "control" keeps the bits not used yet at its top. Literals come
    // in stretches (the zero bits in a row), and after a stretch that does not
    // use up the word comes a copy or a run: the loop takes one of each.
    uint32_t control = (static_cast<uint32_t>(s[1]) << 8) | s[2];
    int bits = 16;
    int32_t p = 3;
    int32_t n = 0;
    auto nextControl = [&] {
        // A control word is fetched only when another item follows it.
        if (p + 2 >= size) BadBlock("control word without items");
        control = (static_cast<uint32_t>(s[p]) << 8) | s[p + 1];
        p += 2;
        bits = 16;
    };
    auto copy = [&](int32_t distance, int32_t count) {
        unsigned char* to = out + n;
        const unsigned char* from = to - distance;
        // Word copies write up to 24 bytes whatever the count: into the
        // slack, and later output overwrites what lies past the count.
        if (distance < 8) {
            // A distance shorter than a word repeats the last bytes: spread
            // them over the first 8 bytes so that word copies can follow.
            static constexpr int kInc[8] = {0, 1, 2, 1, 0, 4, 4, 4};
            static constexpr int kDec[8] = {0, 0, 0, -1, -4, 1, 2, 3};
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = from[3];
            from += kInc[distance];
            std::memcpy(to + 4, from, 4);
            from -= kDec[distance]; // now the source of to + 8, at least 8 bytes behind it
            Store8(to + 8, Load8(from));
            Store8(to + 16, Load8(from + 8));
        } else {
            Store8(to, Load8(from));
            Store8(to + 8, Load8(from + 8));
            Store8(to + 16, Load8(from + 16));
        }
        n += count;
    };
    // One copy or run item at p; checkInput: the item may be cut short by the
    // end of the block (the fast path has made sure it is not).
    auto copyOrRun = [&](bool checkInput) {
        const int32_t distance = (static_cast<int32_t>(s[p]) << 4) | (s[p + 1] >> 4);
        if (distance != 0) {
            const int32_t count = (s[p + 1] & 0x0F) + 3;
            if (distance > n) BadBlock("reference before the block's start");
            if (n + count > kBlockSize) BadBlock("copy past 8192 bytes");
            copy(distance, count);
            p += 2;
        } else {
            if (checkInput && p + 3 >= size) BadBlock("run cut short");
            const int32_t count = ((s[p + 1] & 0x0F) << 8) + s[p + 2] + 16;
            if (n + count > kBlockSize) BadBlock("run past 8192 bytes");
            std::memset(out + n, s[p + 3], static_cast<size_t>(count));
            n += count;
            p += 4;
        }
    };
    while (p < size) {
        if (bits == 16 && p + 80 <= size && n + 16 * 18 <= kBlockSize) {
            // A whole control word's items with room to spare on both sides: at
            // most 64 stored bytes and, but for runs, 288 expanded ones. Only
            // what the room does not cover is checked.
            for (int k = 0; k < 16;) {
                if (!(control & 0x8000u)) {
                    const int literals = std::min(16 - k, std::countl_zero(static_cast<uint16_t>(control)));
                    if (n + literals > kBlockSize) BadBlock("expands past 8192 bytes");
                    Store8(out + n, Load8(s + p));
                    Store8(out + n + 8, Load8(s + p + 8));
                    n += literals;
                    p += literals;
                    k += literals;
                    control = (control << literals) & 0xFFFFu;
                    continue;
                }
                copyOrRun(false);
                control = (control << 1) & 0xFFFFu;
                ++k;
            }
            bits = 0;
            if (p < size) nextControl();
            continue;
        }
        if (!(control & 0x8000u)) {
            int literals = std::min(bits, std::countl_zero(static_cast<uint16_t>(control)));
            if (literals > size - p) literals = size - p; // the block ends inside the word
            if (n + literals > kBlockSize) BadBlock("expands past 8192 bytes");
            if (p + 16 <= size) {
                Store8(out + n, Load8(s + p)); // 16 bytes, whatever the count: within the output's slack
                Store8(out + n + 8, Load8(s + p + 8));
            } else {
                for (int k = 0; k < literals; ++k) out[n + k] = s[p + k];
            }
            n += literals;
            p += literals;
            bits -= literals;
            control = (control << literals) & 0xFFFFu;
            if (p >= size) break;
            if (bits == 0) {
                nextControl();
                continue;
            }
        }
        // A copy or a run.
        if (p + 1 >= size) BadBlock("item cut short");
        copyOrRun(true);
        control = (control << 1) & 0xFFFFu;
        if (--bits == 0 && p < size) nextControl();
    }
    return n;
}

int64_t ExpandSectionTo(TStream& library, const std::function<void(const unsigned char*, int32_t)>& sink,
                        unsigned char* in, unsigned char* out, int64_t limit) {
    int64_t total = 0;
    const int64_t size = library.Size();
    for (;;) {
        if (library.Position() + 2 > size) break; // the data ended: so does the section
        const uint16_t stored = ReadU16(library);
        if (stored == 0) break;
        if (stored > kBlockSize) BadBlock("stored size over 8192");
        ReadBytes(library, in, stored);
        const int32_t n = ExpandBlock(in, stored, out);
        total += n;
        // A few bytes can stand for thousands: a section may not grow past
        // what its reader can hold for it.
        if (total > limit)
            throw TNLXInterfaceError("Compressed section expands past " + std::to_string(limit) +
                                     " bytes.The nlx file can be corrupt");
        sink(out, n);
    }
    return total;
}

int64_t BodySectionLimit(int64_t librarySize, int64_t groups, int64_t symbols) {
    constexpr int64_t kText = 102400 + 4;                       // the longest text with its length
    constexpr int64_t kGroup = 8 * kText, kSymbol = 32 * kText; // more than a record of either holds
    const int64_t records = groups * kGroup + symbols * kSymbol + (int64_t{64} << 10);
    return std::min(records, (int64_t{32} << 20) + 2 * librarySize);
}

int32_t ExpandSection(TStream& library, TMemoryStream& memory, unsigned char* in, unsigned char* out, int64_t limit) {
    memory.SetPosition(0);
    // The memory grows to the section's size without being copied on the way.
    if (limit < INT32_MAX) memory.Reserve(limit);
    const int64_t total = ExpandSectionTo(
        library, [&](const unsigned char* bytes, int32_t n) { memory.WriteBuffer(bytes, n); }, in, out,
        std::min<int64_t>(limit, INT32_MAX));
    // Only what this section expanded to: nothing of an earlier, longer section
    // may be read as if it belonged to this one.
    memory.SetSize(total);
    memory.SetPosition(0);
    return static_cast<int32_t>(total);
}

// ---- header and directory ----------------------------------------------------------------

int FormatVersionOf(std::string_view signature) {
    const size_t nul = signature.find('\0');
    if (nul != std::string_view::npos) signature = signature.substr(0, nul);
    if (signature.size() > 6) signature = signature.substr(0, 6);
    if (signature.size() < 5) return -1;
    char a = signature[3];
    const char b = signature[4];
    if (a == 'S') a = '0';
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

std::pair<std::string_view, std::string_view> SplitDottedName(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {std::string_view(), name};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

std::vector<unsigned char> ReadDirectoryRecords(TStream& library, int& formatVersion) {
    const int64_t size = library.Size();
    if (size == 0) return {};
    if (size < 12) throw TNLXInterfaceError(kTruncatedData);
    library.SetPosition(0);
    char header[8];
    ReadBytes(library, header, 8);
    formatVersion = FormatVersionOf(std::string_view(header, 6));
    const uint16_t entryCount =
        static_cast<uint16_t>(static_cast<unsigned char>(header[6]) | (static_cast<unsigned char>(header[7]) << 8));
    library.SetPosition(size - 4);
    const int32_t directory = ReadI32(library);
    if (directory < 8 || directory > size - 4)
        throw TNLXInterfaceError("Directory offset outside the file.The nlx file can be corrupt");
    const int64_t capacity = (size - directory - 4) / static_cast<int64_t>(dir::kRecordSize);
    if (entryCount > capacity)
        throw TNLXInterfaceError("More entries than the directory holds.The nlx file can be corrupt");
    std::vector<unsigned char> records;
    records.resize(static_cast<size_t>(entryCount) * dir::kRecordSize);
    library.SetPosition(directory);
    ReadBytes(library, records.data(), static_cast<int32_t>(records.size()));
    for (size_t at = 0; at < records.size(); at += dir::kRecordSize)
        if (records[at + dir::kNameLength] > dir::kNameMax)
            throw TNLXInterfaceError("Bad entry name length.The nlx file can be corrupt");
    return records;
}

std::string QualifyReference(std::string_view reference, std::string_view libraryName) {
    if (reference.empty()) return {};
    if (reference.front() == '.') reference.remove_prefix(1);
    if (std::count(reference.begin(), reference.end(), '.') == 1)
        return std::string(libraryName) + "." + std::string(reference);
    return std::string(reference);
}

// ---- records -----------------------------------------------------------------------------

std::string TByteReader::String(int width) {
    const int32_t length = Length(width);
    if (length < 0 || length > kMaxLibraryString) throw TNLXInterfaceError(kBadStringSize);
    Need(static_cast<size_t>(length));
    std::string s(reinterpret_cast<const char*>(FAt), static_cast<size_t>(length));
    FAt += length;
    return s;
}

void TByteReader::SkipString(int width) {
    const int32_t length = Length(width);
    if (length < 0) throw TNLXInterfaceError(kBadStringSize);
    Need(static_cast<size_t>(length));
    FAt += length;
}

namespace {

// The record readers are written once for both sources.
struct TStreamReader {
    TStream& s;
    uint8_t U8() { return ReadU8(s); }
    uint16_t U16() { return ReadU16(s); }
    int16_t I16() { return ReadI16(s); }
    int32_t I32() { return ReadI32(s); }
    void Bytes(void* to, size_t n) { ReadBytes(s, to, static_cast<int32_t>(n)); }
    std::string String(int width) { return ReadLibraryString(s, width); }
    void SkipString(int width) { SkipLibraryString(s, width); }
};

template <typename R> void HeaderRecord(R& s, int v, bool loadLongTexts, TNLXInterface& e) {
    const int name = NameStringWidth(v);
    if (v < 3) {
        s.U8();
        e.FullName = s.String(name);
    }
    e.NamePrefix = s.String(name);
    e.NamePart = s.String(name);
    if (loadLongTexts)
        e.LongText = s.String(kLongStringWidth);
    else
        s.SkipString(kLongStringWidth);
    e.Text1 = s.String(name);
    e.SymbolCount0 = s.U16();
    e.SymbolCount1 = s.U16();
    if (v >= 9)
        e.GroupCount = s.U16();
    else
        e.Word0 = s.U16();
    e.Kind = v >= 3 ? s.U8() : 0;
    e.Word1 = v >= 6 ? s.U16() : 0;
    if (v >= 7) {
        e.Byte1 = s.U8();
    } else {
        e.Byte1 = 1;
        e.Modified = true;
    }
    e.Byte2 = v >= 10 ? s.U8() : 0;
    if (v >= 11 && v <= 16) e.OmitFlag = s.U8();
    e.Text2 = v >= 20 ? s.String(2) : std::string();
    e.Byte3 = v >= 21 ? s.U8() : 1;
}

template <typename R> void GroupRecord(R& s, int v, TNLXGroupDef& g) {
    g.Name = s.String(1);
    g.Word1 = s.I16();
    if (v >= 13) {
        g.Byte1 = s.U8();
        g.TableIndex = s.U8() == 0 ? 0 : 1;
    } else {
        g.TableIndex = 1;
    }
    if (v >= 25) {
        g.Byte2 = s.U8();
        g.Text1 = s.String(1);
        g.Text2 = s.String(2);
    }
}

template <typename R> void SymbolRecord(R& s, int v, std::string_view libraryName, TNLXSymbolDef& y) {
    const int name = NameStringWidth(v);
    const int text = TextStringWidth(v);
    if (v < 3) {
        unsigned char skipped[2];
        s.Bytes(skipped, 2);
    }
    y.Name = s.String(name);
    y.Byte1 = s.U8();
    y.Word1 = s.U16();
    y.Flags = v >= 24 ? s.U16() : s.U8();
    y.Byte2 = s.U8();
    y.Text1 = s.String(name);
    if (v == 3 && y.Text1 == "NOT NULL") {
        y.Flags |= 0x10;
        y.Text1.clear();
    }
    if (v >= 3 && v <= 8) y.GroupName = s.String(name);
    y.GroupIndex = v >= 9 ? s.I16() : -1;
    if (v >= 3) {
        y.Text2 = s.String(text);
        y.Text3 = s.String(name);
        y.Text4 = s.String(name);
        y.Text5 = s.String(name);
        y.Text6 = s.String(name);
        y.Reference = QualifyReference(s.String(name), libraryName);
    }
    y.Word2 = v >= 21 ? s.U16() : (v >= 4 ? s.U8() : 0);
    if (v >= 5) {
        y.Text7 = s.String(name);
        y.Text8 = s.String(text);
        y.Byte3 = s.U8();
    }
    if (v >= 12) {
        y.Text9 = s.String(text);
        y.Text10 = s.String(text);
    }
    if (v >= 18) {
        y.Text11 = s.String(text);
        y.Text12 = s.String(text);
    }
    if (v >= 19) y.Byte4 = s.U8();
    if (v >= 22) y.Text13 = s.String(text);
    if (v >= 23) y.Byte5 = s.U8();
}

} // namespace

void ReadEntryHeaderRecord(TStream& stream, int v, bool loadLongTexts, TNLXInterface& e) {
    TStreamReader r{stream};
    HeaderRecord(r, v, loadLongTexts, e);
}
void ReadEntryHeaderRecord(TByteReader& r, int v, bool loadLongTexts, TNLXInterface& e) {
    HeaderRecord(r, v, loadLongTexts, e);
}
void ReadGroupRecord(TStream& stream, int v, TNLXGroupDef& g) {
    TStreamReader r{stream};
    GroupRecord(r, v, g);
}
void ReadGroupRecord(TByteReader& r, int v, TNLXGroupDef& g) {
    GroupRecord(r, v, g);
}
void ReadSymbolRecord(TStream& stream, int v, std::string_view libraryName, TNLXSymbolDef& y) {
    TStreamReader r{stream};
    SymbolRecord(r, v, libraryName, y);
}
void ReadSymbolRecord(TByteReader& r, int v, std::string_view libraryName, TNLXSymbolDef& y) {
    SymbolRecord(r, v, libraryName, y);
}

} // namespace elo
