#include "NlxWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

// The directory record, written from the format's description on its own (not
// from the reader's constants), so that a slip in either shows.
namespace dirRecord {
constexpr size_t kRecordSize = 68, kNameLength = 0, kName = 1, kNameMax = 58, kOmitFlag = 59, kKind = 60,
                 kDataOffset = 64;
} // namespace dirRecord

namespace elo::test {

namespace {

struct Out {
    std::string s;
    void U8(unsigned v) { s.push_back(static_cast<char>(v & 0xFF)); }
    void U16(unsigned v) {
        U8(v);
        U8(v >> 8);
    }
    void I32(int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        U16(u & 0xFFFF);
        U16(u >> 16);
    }
    void Str(const std::string& text, int width) {
        if (width == 1)
            U8(static_cast<unsigned>(text.size()));
        else if (width == 2)
            U16(static_cast<unsigned>(text.size()));
        else
            I32(static_cast<int32_t>(text.size()));
        s += text;
    }
};

int NameWidth(int version) {
    return version >= 8 ? 1 : 4;
}
int TextWidth(int version) {
    return version >= 8 ? 2 : 4;
}

} // namespace

std::string EntryHeaderBytes(const NlxEntrySpec& e, int v) {
    Out o;
    if (v < 3) {
        o.U8(0);
        o.Str(e.OldFullName, NameWidth(v));
    }
    o.Str(e.NamePrefix, NameWidth(v));
    o.Str(e.NamePart, NameWidth(v));
    o.Str(e.LongText, 4);
    o.Str(e.Text1, NameWidth(v));
    o.U16(e.SymbolCount0.value_or(static_cast<uint16_t>(e.Table0.size())));
    o.U16(e.SymbolCount1.value_or(static_cast<uint16_t>(e.Table1.size())));
    if (v >= 9)
        o.U16(e.GroupCount.value_or(static_cast<uint16_t>(e.Groups.size())));
    else
        o.U16(e.Word0);
    if (v >= 3) o.U8(e.Kind);
    if (v >= 6) o.U16(e.Word1);
    if (v >= 7) o.U8(e.Byte1);
    if (v >= 10) o.U8(e.Byte2);
    if (v >= 11 && v <= 16) o.U8(e.HeaderOmitFlag);
    if (v >= 20) o.Str(e.Text2, 2);
    if (v >= 21) o.U8(e.Byte3);
    return o.s;
}

std::string EntryBodyBytes(const NlxEntrySpec& e, int v) {
    Out o;
    if (v >= 9) {
        for (const NlxGroupSpec& g : e.Groups) {
            o.Str(g.Name, 1);
            o.U16(static_cast<uint16_t>(g.Word1));
            if (v >= 13) {
                o.U8(g.Byte1);
                o.U8(g.TableIndex);
            }
            if (v >= 25) {
                o.U8(g.Byte2);
                o.Str(g.Text1, 1);
                o.Str(g.Text2, 2);
            }
        }
    }
    auto symbol = [&](const NlxSymbolSpec& y) {
        if (v < 3) o.U16(0);
        o.Str(y.Name, NameWidth(v));
        o.U8(y.Byte1);
        o.U16(y.Word1);
        if (v >= 24)
            o.U16(y.Flags);
        else
            o.U8(y.Flags);
        o.U8(y.Byte2);
        o.Str(y.Text1, NameWidth(v));
        if (v >= 3 && v <= 8) o.Str(y.GroupName, NameWidth(v));
        if (v >= 9) o.U16(static_cast<uint16_t>(y.GroupIndex));
        if (v >= 3) {
            o.Str(y.Text2, TextWidth(v));
            for (const std::string* t : {&y.Text3, &y.Text4, &y.Text5, &y.Text6, &y.Reference}) o.Str(*t, NameWidth(v));
        }
        if (v >= 4 && v <= 20) o.U8(y.Word2);
        if (v >= 21) o.U16(y.Word2);
        if (v >= 5) {
            o.Str(y.Text7, NameWidth(v));
            o.Str(y.Text8, TextWidth(v));
            o.U8(y.Byte3);
        }
        if (v >= 12) {
            o.Str(y.Text9, TextWidth(v));
            o.Str(y.Text10, TextWidth(v));
        }
        if (v >= 18) {
            o.Str(y.Text11, TextWidth(v));
            o.Str(y.Text12, TextWidth(v));
        }
        if (v >= 19) o.U8(y.Byte4);
        if (v >= 22) o.Str(y.Text13, TextWidth(v));
        if (v >= 23) o.U8(y.Byte5);
    };
    for (const auto& y : e.Table0) symbol(y);
    for (const auto& y : e.Table1) symbol(y);
    return o.s;
}

std::string CompressBlock(std::string_view in) {
    if (in.size() > 8191) throw std::invalid_argument("a block holds at most 8191 bytes");
    const size_t n = in.size();
    std::string out(3, '\0');
    out[0] = static_cast<char>(0x40);
    size_t controlAt = 1;
    unsigned control = 0;
    int items = 0;
    auto flushControl = [&] {
        out[controlAt] = static_cast<char>(control >> 8);
        out[controlAt + 1] = static_cast<char>(control & 0xFF);
    };
    auto item = [&](bool match) {
        if (items == 16) { // the next control word goes right before this item
            flushControl();
            controlAt = out.size();
            out += std::string(2, '\0');
            control = 0;
            items = 0;
        }
        if (match) control |= 0x8000u >> items;
        ++items;
    };
    // Last position of every 3-byte prefix.
    std::vector<int> last(1 << 16, -1);
    auto key = [&](size_t i) {
        return (static_cast<unsigned char>(in[i]) * 251u + static_cast<unsigned char>(in[i + 1]) * 31u +
                static_cast<unsigned char>(in[i + 2])) &
               0xFFFF;
    };
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 4111 && in[i + run] == in[i]) ++run;
        if (run >= 16) {
            item(true);
            const size_t c = run - 16;
            out.push_back(0);
            out.push_back(static_cast<char>(c >> 8));
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(in[i]);
            for (size_t k = i; k + 2 < n && k < i + run; ++k) last[key(k)] = static_cast<int>(k);
            i += run;
            continue;
        }
        size_t bestLength = 0, bestDistance = 0;
        if (i + 2 < n) {
            const int candidate = last[key(i)];
            if (candidate >= 0 && i - static_cast<size_t>(candidate) <= 4095) {
                size_t len = 0;
                while (len < 18 && i + len < n && in[static_cast<size_t>(candidate) + len] == in[i + len]) ++len;
                if (len >= 3) {
                    bestLength = len;
                    bestDistance = i - static_cast<size_t>(candidate);
                }
            }
            last[key(i)] = static_cast<int>(i);
        }
        if (bestLength >= 3) {
            item(true);
            out.push_back(static_cast<char>(bestDistance >> 4));
            out.push_back(static_cast<char>(((bestDistance & 0xF) << 4) | (bestLength - 3)));
            for (size_t k = i + 1; k + 2 < n && k < i + bestLength; ++k) last[key(k)] = static_cast<int>(k);
            i += bestLength;
        } else {
            item(false);
            out.push_back(in[i]);
            ++i;
        }
    }
    flushControl();
    if (out.size() >= n + 1) return std::string(1, static_cast<char>(0x80)) + std::string(in);
    return out;
}

std::string CompressSection(std::string_view data, size_t blockSize) {
    Out o;
    for (size_t at = 0; at < data.size(); at += blockSize) {
        const std::string block = CompressBlock(data.substr(at, blockSize));
        o.U16(static_cast<unsigned>(block.size()));
        o.s += block;
    }
    o.U16(0);
    return o.s;
}

std::string WriteNlx(const NlxLibrarySpec& lib) {
    const int v = lib.Version;
    Out o;
    std::string signature = lib.Signature.value_or(std::string("QPX") + static_cast<char>('0' + (v / 10) % 10) +
                                                   static_cast<char>('0' + v % 10));
    signature.resize(6, '\0');
    o.s = signature;
    o.U16(lib.EntryCount.value_or(static_cast<uint16_t>(lib.Entries.size())));

    std::vector<size_t> order = lib.FileOrder;
    if (order.empty())
        for (size_t i = 0; i < lib.Entries.size(); ++i) order.push_back(i);
    std::vector<int32_t> offsets(lib.Entries.size(), 0);
    for (size_t index : order) {
        const NlxEntrySpec& e = lib.Entries[index];
        offsets[index] = static_cast<int32_t>(o.s.size());
        const std::string header = EntryHeaderBytes(e, v);
        const std::string body = EntryBodyBytes(e, v);
        if (v >= 13 && lib.Compress) {
            o.s += CompressSection(header);
            o.s += CompressSection(body);
        } else {
            o.s += header;
            o.s += body;
        }
    }
    const auto directory = static_cast<int32_t>(o.s.size());
    for (size_t i = 0; i < lib.Entries.size(); ++i) {
        const NlxEntrySpec& e = lib.Entries[i];
        std::string record(dirRecord::kRecordSize, '\0');
        const size_t length = std::min(e.DirName.size(), dirRecord::kNameMax);
        record[dirRecord::kNameLength] = static_cast<char>(length);
        std::memcpy(record.data() + dirRecord::kName, e.DirName.data(), length);
        record[dirRecord::kOmitFlag] = static_cast<char>(e.DirOmitFlag);
        record[dirRecord::kKind] = static_cast<char>(e.DirKind);
        const auto offset = static_cast<uint32_t>(offsets[i]);
        for (size_t b = 0; b < 4; ++b)
            record[dirRecord::kDataOffset + b] = static_cast<char>((offset >> (8 * b)) & 0xFF);
        o.s += record;
    }
    o.I32(lib.DirectoryOffset.value_or(directory));
    return o.s;
}

NlxEntrySpec SimpleEntry(const std::string& prefix, const std::string& name, uint8_t kind, int symbols) {
    NlxEntrySpec e;
    e.DirName = prefix;
    e.DirName += '.';
    e.DirName += name;
    e.DirKind = kind;
    e.NamePrefix = prefix;
    e.NamePart = name;
    e.Kind = kind;
    e.Text1 = "Entry ";
    e.Text1 += name;
    e.Groups.push_back({"Main", 1, 0, 0, 0, "", ""});
    for (int i = 0; i < symbols; ++i) {
        NlxSymbolSpec s;
        s.Name = 'S';
        s.Name += std::to_string(i);
        s.GroupIndex = 0;
        s.Text2 = "symbol text";
        s.Reference = i % 2 ? "Other.Ref" : "";
        e.Table0.push_back(s);
    }
    return e;
}

} // namespace elo::test
