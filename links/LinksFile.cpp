#include "LinksFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <iterator>
#include <optional>
#include <unordered_set>
#include <utility>

#include "Renumbering.h"
#include "platform/LargeArray.h"
#include "platform/SafeSave.h"

#include "cmdlang/LnkUtils.h"
#include "platform/Text.h"

namespace elo {

// ---- Caption suffix and node texts ---------------------------------------------

namespace {

// The offset of the first of the bytes Cs in p[0..n), or n: bytes that are
// none of them are passed over eight at a time.
template <char... Cs> size_t FindFirstOf(const char* p, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    auto zeroBytes = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if ((zeroBytes(w ^ (kOnes * static_cast<unsigned char>(Cs))) | ...)) break; // one of them is in these 8
    }
    for (; i < n; ++i)
        if (((p[i] == Cs) || ...)) return i;
    return n;
}

} // namespace

size_t FindCaptionSuffix(std::string_view line, size_t eq) {
    if (eq == std::string_view::npos || eq >= line.size()) return std::string_view::npos;
    const size_t n = line.size();
    const char* s = line.data();
    size_t found = std::string_view::npos;
    bool noMoreDouble = false, noMoreSingle = false;
    // After the first "{" that is never closed, the closing brace of every later
    // "{" comes from this table (offsets from tableStart; -1 when unmatched).
    std::vector<int64_t> braceMatch;
    size_t tableStart = 0;
    bool haveTable = false;

    for (size_t i = eq + 1; i < n; ++i) {
        i += FindFirstOf<'(', '"', '\'', '{'>(s + i, n - i); // the bytes that matter here
        if (i >= n) break;
        const char c = s[i];
        if (c == '(') {
            found = i;
        } else if (c == '"' || c == '\'') {
            bool& noMore = c == '"' ? noMoreDouble : noMoreSingle;
            if (noMore) continue;
            const void* close = std::memchr(s + i + 1, c, n - i - 1);
            if (!close)
                noMore = true;
            else
                i = static_cast<size_t>(static_cast<const char*>(close) - s); // skip the quoted value
        } else {                                                              // '{'
            size_t close = std::string_view::npos;
            if (haveTable) {
                const int64_t m = braceMatch[i - tableStart];
                if (m >= 0) close = static_cast<size_t>(m);
            } else {
                int depth = 0;
                for (size_t j = i; j < n; ++j) {
                    if (s[j] == '{')
                        ++depth;
                    else if (s[j] == '}' && --depth == 0) {
                        close = j;
                        break;
                    }
                }
                if (close == std::string_view::npos) {
                    // Unmatched: match every later brace in one pass from here.
                    haveTable = true;
                    tableStart = i;
                    braceMatch.assign(n - i, -1);
                    std::vector<size_t> open;
                    for (size_t j = i; j < n; ++j) {
                        if (s[j] == '{') {
                            open.push_back(j);
                        } else if (s[j] == '}' && !open.empty()) {
                            braceMatch[open.back() - i] = static_cast<int64_t>(j);
                            open.pop_back();
                        }
                    }
                }
            }
            if (close != std::string_view::npos) i = close; // skip the braced group
        }
    }
    return found;
}

namespace {
bool HasLineBreak(std::string_view text) {
    return FindFirstOf<'\r', '\n', '\0'>(text.data(), text.size()) < text.size();
}

// What each byte is in a node text: most bytes are nothing special.
struct TNodeTextBytes {
    TNodeTextProblem Of[256] = {};
    TNodeTextBytes() {
        Of[static_cast<unsigned char>('\\')] = Of[static_cast<unsigned char>('=')] = TNodeTextProblem::PathSeparator;
        Of[static_cast<unsigned char>('\r')] = Of[static_cast<unsigned char>('\n')] = Of[0] =
            TNodeTextProblem::LineBreak;
    }
};
const TNodeTextBytes kNodeTextBytes;
} // namespace

TNodeTextProblem ClassifyNodeText(std::string_view text) {
    // The first character that cannot stand in a path decides.
    for (const char c : text)
        if (const TNodeTextProblem problem = kNodeTextBytes.Of[static_cast<unsigned char>(c)];
            problem != TNodeTextProblem::None)
            return problem;
    return TNodeTextProblem::None;
}

std::string NodeTextMessage(std::string_view text, TNodeTextProblem problem) {
    switch (problem) {
    case TNodeTextProblem::PathSeparator:
        return "O nome \"" + std::string(text) + "\" n\xE3o pode conter \"\\\" nem \"=\"";
    case TNodeTextProblem::LineBreak:
        return "O nome \"" + std::string(text) + "\" n\xE3o pode conter quebras de linha";
    case TNodeTextProblem::None:
        break;
    }
    return {};
}

std::string ValidateNodeText(std::string_view text) {
    return NodeTextMessage(text, ClassifyNodeText(text));
}

// ---- The path index -----------------------------------------------------------------

// Maps a path key (the line's text up to a "\" or "=") to its node while one
// file is read. Keys compare ignoring letter case, accented letters included.
// A key is held as (parent node, part of the path) — the same thing, since a
// key is its parent's key, "\" and the part — so no key text is stored: a slot
// is one word, the node's address and the top bits of the key's hash. The
// length of a node's part is kept in the node while the file is read (its text
// may grow a caption suffix).
class TPathIndex {
public:
    // The hash of a key: its parent and its part with letter case folded, eight
    // bytes at a time (ASCII folds without the table).
    static uint32_t HashOf(const TTreeNode* parent, std::string_view part) {
        constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
        const unsigned char* fold = FoldCaseTable();
        uint64_t h =
            0x9E3779B97F4A7C15ull ^ (reinterpret_cast<uintptr_t>(parent) * 0xbf58476d1ce4e5b9ull) ^ part.size();
        auto mix = [&h](uint64_t w) {
            h = (h ^ w) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
        };
        const char* p = part.data();
        size_t n = part.size();
        for (; n >= 8; p += 8, n -= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            if (w & kHighs) {
                unsigned char b[8];
                for (int i = 0; i < 8; ++i) b[i] = fold[static_cast<unsigned char>(p[i])];
                std::memcpy(&w, b, 8);
            } else {
                // "A".."Z" gain 0x20, as the table folds them.
                const uint64_t atLeastA = w + kOnes * (0x80 - 'A');
                const uint64_t aboveZ = w + kOnes * (0x80 - 'Z' - 1);
                w |= (atLeastA & ~aboveZ & kHighs) >> 2;
            }
            mix(w);
        }
        if (n > 0) {
            unsigned char b[8] = {};
            for (size_t i = 0; i < n; ++i) b[i] = fold[static_cast<unsigned char>(p[i])];
            uint64_t w;
            std::memcpy(&w, b, 8);
            mix(w);
        }
        h *= 0xbf58476d1ce4e5b9ull;
        h ^= h >> 32;
        return static_cast<uint32_t>(h);
    }
    TTreeNode* Find(const TTreeNode* parent, std::string_view part, uint32_t hash) const {
        if (FSlots.empty()) return nullptr;
        return NodeOf(FSlots[Probe(parent, part, hash)]);
    }
    void Add(TTreeNode* node, std::string_view part, uint32_t hash) {
        if ((FCount + 1) * 10 > FSlots.size() * 7) Grow(FSlots.empty() ? 1024 : FSlots.size() * 2);
        uint64_t& slot = FSlots[Probe(node->Parent(), part, hash)];
        if (!slot) ++FCount;
        slot = Pack(node, hash);
        FPartLengths.Set(node, part.size());
    }
    // Starts loading the slot of a key into the cache before it is needed.
    void Prefetch(uint32_t hash) const {
        if (!FSlots.empty()) __builtin_prefetch(&FSlots[hash & (FSlots.size() - 1)]);
    }
    // A node that left the tree: its key can no longer match.
    void MarkDead(const TTreeNode* node) {
        FDead.insert(node);
        PreviousLine = {};
        PreviousParts.clear();
    }
    // Makes room for about n keys at once.
    void Reserve(size_t n) {
        size_t slots = 1024;
        while (slots * 7 < n * 10) slots *= 2;
        if (slots > FSlots.size()) Grow(slots);
    }

    // The length of the part each indexed node was made for.
    struct TPartLengths {
        // Kept in the node's index hint, which the builder sets only at its end.
        static void Set(TTreeNode* node, size_t length);
        static size_t Get(const TTreeNode* node);
    } FPartLengths;

    // The previous line and the nodes of its path parts (each with the offset of
    // the "\" or "=" that ended it): lines that share a prefix share those nodes
    // without a lookup.
    struct TPathPart {
        size_t End;
        TTreeNode* Node;
    };
    std::string_view PreviousLine;
    std::vector<TPathPart> PreviousParts, Parts;

private:
    // Node addresses are 8-aligned and below 2^47: 44 bits, beside 20 bits of hash.
    static uint64_t Pack(const TTreeNode* node, uint32_t hash) {
        return (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(node)) >> 3) << 20 | (hash >> 12);
    }
    static TTreeNode* NodeOf(uint64_t slot) {
        return reinterpret_cast<TTreeNode*>(static_cast<uintptr_t>(slot >> 20) << 3);
    }
    static uint32_t HashBitsOf(uint64_t slot) { return static_cast<uint32_t>(slot & 0xFFFFF); }

    // The slot holding the key, or the empty slot where it belongs.
    size_t Probe(const TTreeNode* parent, std::string_view part, uint32_t hash) const {
        const size_t mask = FSlots.size() - 1;
        const uint32_t bits = hash >> 12;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const uint64_t slot = FSlots[i];
            if (!slot) return i;
            if (HashBitsOf(slot) != bits) continue;
            const TTreeNode* node = NodeOf(slot);
            if (TPartLengths::Get(node) == part.size() && node->Parent() == parent &&
                SameTextLocale(node->Text().substr(0, part.size()), part) && (FDead.empty() || !FDead.count(node)))
                return i;
        }
    }
    void Grow(size_t slots) {
        TLargeArray<uint64_t> old = std::move(FSlots);
        FSlots = TLargeArray<uint64_t>(slots);
        const size_t mask = FSlots.size() - 1;
        for (const uint64_t slot : old) {
            if (!slot) continue;
            const TTreeNode* node = NodeOf(slot);
            // The slot's position came from the full hash: recompute it.
            const uint32_t hash = HashOf(node->Parent(), node->Text().substr(0, TPartLengths::Get(node)));
            size_t i = hash & mask;
            while (FSlots[i]) i = (i + 1) & mask;
            FSlots[i] = slot;
        }
    }

    TLargeArray<uint64_t> FSlots;
    size_t FCount = 0;
    std::unordered_set<const TTreeNode*> FDead;
};

// ---- Reading lines ----------------------------------------------------------------

namespace {

// Splits text into lines: CR LF, CR and LF end a line, a final line without an
// ending counts, and a NUL ends the text.
class TLineSplitter {
public:
    // Finds the next line in [data, data+size); returns false when none is
    // complete there. atEnd: no more data will follow. noLf: how many bytes
    // from data on are known to hold no LF; kept up to date for the next
    // call (whose data begins consumed bytes later), so that text with CR
    // line ends is not searched for an LF again and again.
    static bool Split(const char* data, size_t size, bool atEnd, std::string_view& line, size_t& consumed, bool& ended,
                      size_t& noLf) {
        ended = false;
        if (size == 0) { // nothing in (data may be null)
            ended = atEnd;
            return false;
        }
        const char* b = data;
        const char* e = data + size;
        const char* limit = noLf < size ? static_cast<const char*>(std::memchr(b + noLf, '\n', size - noLf)) : nullptr;
        if (!limit) limit = e;
        noLf = static_cast<size_t>(limit - b);
        if (const char* cr = static_cast<const char*>(std::memchr(b, '\r', static_cast<size_t>(limit - b)))) limit = cr;
        if (const char* z = static_cast<const char*>(std::memchr(b, '\0', static_cast<size_t>(limit - b)))) {
            line = std::string_view(b, static_cast<size_t>(z - b));
            consumed = size;
            ended = true;
            return true;
        }
        if (limit < e) {
            size_t skip = 1;
            if (*limit == '\r') {
                if (limit + 1 == e && !atEnd) return false; // an LF may follow
                if (limit + 1 < e && limit[1] == '\n') skip = 2;
            }
            line = std::string_view(b, static_cast<size_t>(limit - b));
            consumed = static_cast<size_t>(limit - b) + skip;
            noLf = noLf > consumed ? noLf - consumed : 0;
            return true;
        }
        if (!atEnd) return false;
        ended = true;
        if (b == e) return false;
        line = std::string_view(b, size);
        consumed = size;
        return true;
    }
};

// The lines of text that stays where it is while the tree refers into it.
class TMemoryLines {
public:
    explicit TMemoryLines(std::string_view text) : FText(text) {}
    static constexpr bool kLinesStay = true;
    // Whether the bytes of earlier lines moved during the last Next.
    static bool Moved() { return false; }
    bool Next(std::string_view& line) {
        if (FEnded) return false;
        size_t consumed = 0;
        const bool got =
            TLineSplitter::Split(FText.data() + FPos, FText.size() - FPos, true, line, consumed, FEnded, FNoLf);
        FPos += consumed;
        return got;
    }

private:
    std::string_view FText;
    size_t FPos = 0, FNoLf = 0;
    bool FEnded = false;
};

// The lines of a file read a piece at a time: a line is valid until the next.
class TFileLines {
public:
    explicit TFileLines(int fd, const std::string& name) : FFd(fd), FName(name), FBuffer(1 << 20) {}
    static constexpr bool kLinesStay = false;
    // Whether the bytes of earlier lines moved during the last Next: a line
    // stays valid until the buffer is refilled.
    bool Moved() const { return FMoved; }
    bool Next(std::string_view& line) {
        FMoved = false;
        for (;;) {
            if (FEnded) return false;
            size_t consumed = 0;
            if (TLineSplitter::Split(FBuffer.data() + FPos, FEnd - FPos, FEof, line, consumed, FEnded, FNoLf)) {
                FPos += consumed;
                return true;
            }
            if (FEnded || FEof) return false;
            Fill();
        }
    }

private:
    void Fill() {
        FMoved = true;
        if (FPos > 0) {
            std::memmove(FBuffer.data(), FBuffer.data() + FPos, FEnd - FPos);
            FEnd -= FPos;
            FPos = 0;
        }
        if (FEnd == FBuffer.size()) FBuffer.resize(FBuffer.size() * 2); // a very long line
        for (;;) {
            const ssize_t n = read(FFd, FBuffer.data() + FEnd, FBuffer.size() - FEnd);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw EInOutError::FromErrno(errno, FName);
            if (n == 0) FEof = true;
            FEnd += static_cast<size_t>(n);
            return;
        }
    }

    int FFd;
    const std::string& FName;
    std::vector<char> FBuffer;
    size_t FPos = 0, FEnd = 0, FNoLf = 0; // FNoLf counts from FPos
    bool FEof = false, FEnded = false, FMoved = false;
};

class TFd {
public:
    explicit TFd(int fd) : fd(fd) {}
    ~TFd() {
        if (fd >= 0) ::close(fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int fd;
};

// The whole of a file in memory of its own (small pages: it is read in order), for
// the tree to keep: texts and link strings refer into it. A NUL ends the text,
// so the reading stops at the piece that holds one (a sparse file of gigabytes
// is not read through).
std::pair<TLargeArray<char>, size_t> ReadWholeFile(int fd, const std::string& name, size_t sizeHint) {
    // One byte more than the file is said to hold shows whether it grew.
    constexpr auto kInOrder = TLargeArray<char>::TPages::Small;
    constexpr size_t kPiece = size_t{4} << 20;
    TLargeArray<char> bytes(sizeHint + 1, kInOrder);
    size_t length = 0;
    for (;;) {
        if (length == bytes.size()) {
            TLargeArray<char> larger(bytes.size() * 2, kInOrder);
            std::memcpy(larger.begin(), bytes.begin(), length);
            bytes = std::move(larger);
        }
        const ssize_t n = read(fd, bytes.begin() + length, std::min(bytes.size() - length, kPiece));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EInOutError::FromErrno(errno, name);
        if (n == 0) break;
        const bool nul = std::memchr(bytes.begin() + length, '\0', static_cast<size_t>(n)) != nullptr;
        length += static_cast<size_t>(n);
        if (nul) break;
    }
    return {std::move(bytes), length};
}

} // namespace

void TPathIndex::TPartLengths::Set(TTreeNode* node, size_t length) {
    TTreeBuilder::SetScratch(node, static_cast<int32_t>(std::min<size_t>(length, INT32_MAX)));
}
size_t TPathIndex::TPartLengths::Get(const TTreeNode* node) {
    return static_cast<size_t>(TTreeBuilder::Scratch(node));
}

// What one reading keeps between its lines.
struct TLinksDocument::TReadState {
    TReadState(TTreeBuilder& builder, bool linesStay) : Builder(builder), LinesStay(linesStay) {}
    TTreeBuilder& Builder;
    TPathIndex Index;
    // Lines stay where they are while the tree is built (a whole file in
    // memory): texts refer into them; otherwise texts are copied.
    bool LinesStay;
    std::string_view Stable(std::string_view text) { return LinesStay ? text : Builder.KeepCopy(text); }
};

// ---- TLinksDocument: reading --------------------------------------------------------

int64_t LargestIdentifier(std::string_view link) {
    int64_t largest = -1;
    for (size_t at = 0; (at = link.find('=', at)) != std::string_view::npos; ++at) {
        // "_id" right before the "=", in any letter case, spaces allowed around.
        size_t end = at;
        while (end > 0 && link[end - 1] == ' ') --end;
        if (end < 3 || !SameTextAscii(link.substr(end - 3, 3), "_id")) continue;
        if (end > 3 && (std::isalnum(static_cast<unsigned char>(link[end - 4])) || link[end - 4] == '_')) continue;
        size_t p = at + 1;
        while (p < link.size() && link[p] == ' ') ++p;
        if (p < link.size() && (link[p] == '"' || link[p] == '\'')) ++p;
        int64_t value = 0;
        size_t digits = 0;
        for (; p < link.size() && std::isdigit(static_cast<unsigned char>(link[p])) && digits < 18; ++p, ++digits)
            value = value * 10 + (link[p] - '0');
        if (digits > 0) largest = std::max(largest, value);
    }
    return largest;
}

TLinksDocument::TLinksDocument() : FRenumberer(std::make_unique<TRenumberer>()) {}
TLinksDocument::~TLinksDocument() = default;

int32_t TLinksDocument::NewId() {
    return DrawIdentifier(CurrentId);
}

TTreeNode* TLinksDocument::AddLinkLine(TReadState& state, std::string_view line, std::string_view& link,
                                       LineOutcome& outcome) {
    outcome = LineOutcome::Nothing;
    if (line.empty()) return nullptr;
    TPathIndex& index = state.Index;
    TTreeBuilder& builder = state.Builder;
    // Where this line stops agreeing with the previous one.
    const std::string_view previous = index.PreviousLine;
    size_t common = 0;
    const size_t limit = std::min(previous.size(), line.size());
    while (common + 8 <= limit && std::memcmp(previous.data() + common, line.data() + common, 8) == 0) common += 8;
    while (common < limit && previous[common] == line[common]) ++common;

    // The folders of the path: each part ends at a "\" or at the first "=" (or
    // at the end of the line). A part whose key (the line up to and including
    // its end) the previous line shares is the previous line's node.
    index.Parts.clear();
    TTreeNode* parent = nullptr;
    size_t start = 0;
    size_t eq = std::string_view::npos;
    size_t paren = std::string_view::npos;
    bool parenKnown = false;
    for (size_t k = 0;; ++k) {
        const size_t end = start + FindFirstOf<'\\', '='>(line.data() + start, line.size() - start);
        const bool itemPart = end < line.size() && line[end] == '=';
        TTreeNode* node = nullptr;
        if (k < index.PreviousParts.size() && index.PreviousParts[k].End == end && end < common) {
            node = index.PreviousParts[k].Node;
        } else {
            const std::string_view part = line.substr(start, end - start);
            const uint32_t hash = TPathIndex::HashOf(parent, part);
            index.Prefetch(hash);
            // Work that does not need the node, while its slot is on its way.
            if (itemPart) {
                paren = FindCaptionSuffix(line, end);
                parenKnown = true;
            }
            node = index.Find(parent, part, hash);
            if (!node) {
                // A key the index holds is found whatever its node's parent
                // and text have become since: the first line for a path made it.
                node = builder.Add(parent, state.Stable(part));
                index.Add(node, part, hash);
            }
        }
        index.Parts.push_back({end, node});
        parent = node;
        if (end == line.size()) break;
        if (itemPart) {
            eq = end;
            break;
        }
        start = end + 1;
    }
    index.PreviousLine = line; // valid until the source moves its bytes (see ReadLines)
    std::swap(index.PreviousParts, index.Parts);
    outcome = LineOutcome::Folders;
    if (eq == std::string_view::npos) return nullptr; // a line without "=" only makes folders

    // Caption suffix (meant as it is): everything after the "(" but the line's
    // last character, whatever that character is, added to the item's text.
    if (!parenKnown) paren = FindCaptionSuffix(line, eq);
    if (paren != std::string_view::npos) {
        const size_t suffixLength = line.size() >= paren + 2 ? line.size() - paren - 2 : 0;
        std::string text(parent->Text());
        text += " (";
        text += line.substr(paren + 1, suffixLength);
        text += ')';
        builder.SetText(parent, builder.KeepCopy(text));
        line = line.substr(0, paren);
    }
    if (parent->Data()) {
        // Meant: the first line for a path wins; the suffix above was still added.
        outcome = LineOutcome::Ignored;
        return nullptr;
    }
    link = TrimControls(line.substr(eq + 1));
    TTreeBuilder::SetImages(parent, 1, 1);
    outcome = LineOutcome::Item;
    return parent;
}

template <typename Source>
void TLinksDocument::ReadLines(Source& source, TTreeBuilder& builder, TLoadReport* report, size_t sizeHint,
                               bool twoThreads) {
    TReadState state(builder, Source::kLinesStay);
    state.Index.Reserve(sizeHint / 160); // a key per line, lines of 100 to 200 bytes
    // Room for lines of 64 bytes and more; pages never reached cost nothing.
    const size_t expectedLines = sizeHint / 64;
    if (report) report->ItemLines.reserve(expectedLines);
    std::string_view line;
    int lineNo = 0;
    bool renumber = true;
    int badCounterLine = 0;
    std::string badCounterText;
    // Renumbering on a second thread: the items whose links it renumbers, in
    // the order handed over, with their lines.
    std::optional<TRenumberPipeline> pipeline;
    std::vector<TTreeNode*> pipedItems;
    std::vector<int> pipedLines;
    try {
        while (source.Next(line)) {
            ++lineNo;
            if (source.Moved()) state.Index.PreviousLine = {}; // its bytes are gone
            if (lineNo == 1) {
                // Numbered: the first line begins with "_currentid", letter case counting.
                renumber = !(line.size() >= 10 && line.substr(0, 10) == "_currentid");
                if (report) report->Numbered = !renumber;
                if (renumber && twoThreads && sizeHint >= TwoThreadsFrom) {
                    pipeline.emplace(CurrentId, report && report->KeepGoing, kMaxNesting);
                    pipedItems.reserve(expectedLines);
                    pipedLines.reserve(expectedLines);
                }
            }
            LineOutcome outcome;
            std::string_view link;
            TTreeNode* node = AddLinkLine(state, line, link, outcome);
            if (outcome == LineOutcome::Ignored && report)
                report->Problems.push_back({lineNo, "Linha ignorada: o caminho j\xE1 tem um link"});
            if (!node) continue;
            if (node->Text() == "_currentid") {
                // Meant: the counter line is recognised at any depth (a "_currentid"
                // item in any folder), letter case counting.
                int32_t value = 0;
                if (TryDecimalToInt(link, value)) {
                    CurrentId = value;
                    if (pipeline) pipeline->SetCounter(value);
                } else {
                    badCounterLine = lineNo;
                    badCounterText.assign(link);
                }
                TTreeBuilder::SetImages(node, 0, 0);
                if (!node->HasChildren()) {
                    builder.Drop(node);
                    state.Index.MarkDead(node);
                }
                continue; // a folder of that name that holds items keeps them
            }
            if (report) report->ItemLines.emplace_back(node, lineNo);
            if (!renumber) {
                builder.SetLink(node, state.Stable(link));
                continue;
            }
            if (pipeline) {
                pipeline->Link(link);
                // An item from now on (a later line for its path is ignored);
                // its link comes when the worker is done.
                builder.SetLink(node, std::string_view());
                pipedItems.push_back(node);
                pipedLines.push_back(lineNo);
                // A failure ends the reading on one thread at its line: read again so.
                if (pipeline->Failed()) throw TReadAgain();
                continue;
            }
            try {
                FRenumbered.clear();
                FRenumberer->Into(FRenumbered, link, false, CurrentId, kMaxNesting);
                builder.SetLink(node, builder.KeepCopy(FRenumbered));
            } catch (const Exception& e) {
                // The failing line's item keeps its raw link string.
                builder.SetLink(node, builder.KeepCopy(link));
                if (!report || !report->KeepGoing) throw;
                report->Problems.push_back({lineNo, e.Message});
            }
        }
        if (pipeline) {
            pipeline->Finish();
            if (pipeline->Failed()) throw TReadAgain();
        }
    } catch (const TReadAgain&) {
        throw;
    } catch (...) {
        // Whatever stopped a reading on two threads, a reading on one stops at
        // its line with the tree as it was there: read again so.
        if (pipeline) throw TReadAgain();
        throw;
    }
    if (pipeline) {
        pipeline->ForEachResult([&](size_t i, std::string_view complete) { builder.SetLink(pipedItems[i], complete); });
        for (TLargeArray<char>& chunk : pipeline->TakeChunks()) {
            const size_t size = chunk.size();
            builder.Keep(std::move(chunk), size);
        }
        CurrentId = pipeline->Counter();
        if (report && !pipeline->Failures().empty()) {
            // In line order among the lines that were ignored.
            std::vector<TLoadProblem> failures;
            for (const auto& [i, message] : pipeline->Failures()) failures.push_back({pipedLines[i], message});
            std::vector<TLoadProblem> merged;
            std::merge(std::make_move_iterator(report->Problems.begin()),
                       std::make_move_iterator(report->Problems.end()), std::make_move_iterator(failures.begin()),
                       std::make_move_iterator(failures.end()), std::back_inserter(merged),
                       [](const TLoadProblem& a, const TLoadProblem& b) { return a.Line < b.Line; });
            report->Problems = std::move(merged);
        }
    }
    if (badCounterLine > 0) {
        // A counter that is no number must not hand out an identifier the
        // file uses: it goes past the largest one found.
        int64_t largest = -1;
        builder.ForEachAdded([&](const TTreeNode* node) {
            if (const TLinkData* data = node->Data()) largest = std::max(largest, LargestIdentifier(data->Link));
        });
        if (largest + 1 > CurrentId) CurrentId = static_cast<int32_t>(std::min<int64_t>(largest + 1, INT32_MAX));
        if (report) {
            report->CounterRepairedLine = badCounterLine;
            report->Problems.push_back({badCounterLine, "Contador inv\xE1lido: '" + badCounterText +
                                                            "' is not a valid integer value; o contador passa a " +
                                                            std::to_string(CurrentId)});
        }
    }
}

template <typename Read> void TLinksDocument::ReadOnce(TLoadReport* report, Read&& read) {
    const int32_t counter = CurrentId;
    const TLoadReport asked = report ? *report : TLoadReport();
    try {
        TTreeBuilder builder(Tree);
        read(builder, true);
    } catch (const TReadAgain&) {
        CurrentId = counter;
        if (report) *report = asked;
        TTreeBuilder builder(Tree);
        read(builder, false);
    }
}

void TLinksDocument::LoadLinksText(std::string_view text, TLoadReport* report) {
    ReadOnce(report, [&](TTreeBuilder& builder, bool twoThreads) {
        // The tree keeps its own copy of the text.
        TLargeArray<char> copy(text.size(), TLargeArray<char>::TPages::Small);
        if (!text.empty()) std::memcpy(copy.begin(), text.data(), text.size());
        TMemoryLines lines(builder.Keep(std::move(copy), text.size()));
        ReadLines(lines, builder, report, text.size(), twoThreads);
    });
}

void TLinksDocument::LoadLinksFile(const std::string& fileName, TLoadReport* report) {
    // Meant: the name is taken and the tree emptied before the file opens, so
    // a file that cannot be read leaves an empty document under its name.
    FileName = fileName;
    Tree.Clear();
    // Opened without waiting: a FIFO would wait for a writer forever. Links
    // files are regular files.
    TFd file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (file.fd < 0) throw EFOpenError::CannotOpen(fileName, errno);
    if (fstat(file.fd, &st) != 0 || S_ISDIR(st.st_mode)) throw EFOpenError::CannotOpen(fileName, EISDIR);
    if (!S_ISREG(st.st_mode)) throw EFOpenError::NotAFile(fileName);
    (void)::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    // Not while a save writes it in place.
    LockForReading(file.fd, fileName);
    // A numbered file's links are kept as they are: the tree refers into the
    // file's bytes, read whole. A file that is renumbered gets new link
    // strings anyway, so it is read a piece at a time and its texts copied.
    char head[10] = {};
    ssize_t got = 0;
    while ((got = ::pread(file.fd, head, sizeof head, 0)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof head) && std::memcmp(head, "_currentid", sizeof head) == 0) {
        TTreeBuilder builder(Tree);
        auto [bytes, length] = ReadWholeFile(file.fd, fileName, static_cast<size_t>(st.st_size));
        TMemoryLines lines(builder.Keep(std::move(bytes), length));
        ReadLines(lines, builder, report, length, false);
    } else {
        ReadOnce(report, [&](TTreeBuilder& builder, bool twoThreads) {
            if (::lseek(file.fd, 0, SEEK_SET) < 0) throw EInOutError::FromErrno(errno, fileName);
            TFileLines lines(file.fd, fileName);
            ReadLines(lines, builder, report, static_cast<size_t>(st.st_size), twoThreads);
        });
    }
}

void TLinksDocument::NewLinksFile() {
    Tree.Clear();
    FileName.clear();
}

// ---- Renumbering ------------------------------------------------------------------

std::string TLinksDocument::RenumberLink(std::string_view s, bool nested) {
    std::string out;
    FRenumberer->Into(out, s, nested, CurrentId, kMaxNesting);
    return out;
}

// ---- Writing --------------------------------------------------------------------------

std::string TLinksDocument::NodePath(const TTreeNode* node) {
    std::vector<const TTreeNode*> chain;
    for (; node; node = node->Parent()) chain.push_back(node);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += (*it)->Text();
        path += '\\';
    }
    if (!path.empty()) path.pop_back();
    return path;
}

template <typename Sink> size_t TLinksDocument::WriteLinks(Sink& sink) const {
    sink.Append("_currentid=" + std::to_string(CurrentId) + "\r\n");
    // The path is built up level by level; a level whose path holds a text
    // that would read back differently is marked, and an item below it
    // refuses the save.
    struct TLevel {
        size_t PathEnd;
        bool Bad;
    };
    std::vector<TLevel> levels;
    std::string path;
    size_t items = 0;
    WalkTree(
        Tree,
        [&](const TTreeNode* node) {
            const bool nested = !levels.empty();
            path.resize(nested ? levels.back().PathEnd : 0);
            if (nested) path += '\\';
            path += node->Text();
            const bool bad = (nested && levels.back().Bad) || ClassifyNodeText(node->Text()) != TNodeTextProblem::None;
            levels.push_back({path.size(), bad});
            const TLinkData* data = node->Data();
            if (!data) return;
            if (bad) {
                // The text nearest the root that cannot stand in a path is named.
                std::vector<const TTreeNode*> chain;
                for (const TTreeNode* n = node; n; n = n->Parent()) chain.push_back(n);
                for (auto it = chain.rbegin(); it != chain.rend(); ++it)
                    if (const std::string why = ValidateNodeText((*it)->Text()); !why.empty())
                        throw ELinksFileError(why);
            }
            const std::string_view link = data->Link;
            if (HasLineBreak(link)) throw ELinksFileError("O link de \"" + path + "\" cont\xE9m quebras de linha");
            sink.Append(path);
            sink.Append("=");
            sink.Append(link);
            sink.Append("\r\n");
            ++items;
        },
        [&](const TTreeNode*) { levels.pop_back(); },
        [](const TTreeNode* next) {
            __builtin_prefetch(next->Text().data());
            if (const TLinkData* data = next->Data()) __builtin_prefetch(data->Link.data());
        });
    return items;
}

std::string TLinksDocument::LinksText() const {
    struct {
        std::string Out;
        void Append(std::string_view s) { Out += s; }
    } sink;
    WriteLinks(sink);
    return std::move(sink.Out);
}

size_t TLinksDocument::SaveLinksFile(const std::string& fileName) const {
    size_t items = 0;
    SaveFileSafely(fileName, [&](TFileWriter& writer) { items = WriteLinks(writer); });
    return items;
}

} // namespace elo
