#include "LinksFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include "cmdlang/LnkUtils.h"
#include "platform/Text.h"

namespace elo {

// ---- Caption suffix and node texts ---------------------------------------------

namespace {

// Bytes that FindCaptionSuffix must look at; all others are skipped in bulk.
struct TSuffixBytes {
    bool special[256] = {};
    TSuffixBytes() {
        for (unsigned char c : {'(', '"', '\'', '{'}) special[c] = true;
    }
};
const TSuffixBytes kSuffixBytes;

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
        while (i < n && !kSuffixBytes.special[static_cast<unsigned char>(s[i])]) ++i;
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
// Whether a text can stand in a written path as it is: no "\\", "=" or line break.
bool PlainNodeText(std::string_view text) {
    for (char c : text)
        if (c == '\\' || c == '=' || c == '\r' || c == '\n' || c == '\0') return false;
    return true;
}

bool HasLineBreak(std::string_view text) {
    for (char c : text)
        if (c == '\r' || c == '\n' || c == '\0') return true;
    return false;
}
} // namespace

std::string ValidateNodeText(std::string_view text) {
    for (char c : text) {
        if (c == '\\' || c == '=') return "O nome \"" + std::string(text) + "\" n\xE3o pode conter \"\\\" nem \"=\"";
        if (c == '\r' || c == '\n' || c == '\0')
            return "O nome \"" + std::string(text) + "\" n\xE3o pode conter quebras de linha";
    }
    return {};
}

// ---- TPathIndex -----------------------------------------------------------------

uint32_t TPathIndex::HashOf(const TTreeNode* parent, std::string_view part) {
    const unsigned char* fold = FoldCaseTable();
    uint64_t h = 0xcbf29ce484222325ull ^ (reinterpret_cast<uintptr_t>(parent) * 0x9E3779B97F4A7C15ull);
    for (char c : part) {
        h ^= fold[static_cast<unsigned char>(c)];
        h *= 0x100000001b3ull;
    }
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
}

size_t TPathIndex::Probe(const TTreeNode* parent, std::string_view part, uint32_t hash) const {
    const size_t mask = FSlots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = FSlots[i];
        if (!slot.Node) return i;
        if (slot.Hash == hash && slot.PartLength == part.size() && slot.Node->Parent() == parent &&
            SameTextLocale(std::string_view(slot.Node->Text()).substr(0, part.size()), part) &&
            (FDead.empty() || !FDead.count(slot.Node)))
            return i;
    }
}

TTreeNode* TPathIndex::Find(const TTreeNode* parent, std::string_view part, uint32_t hash) const {
    if (FSlots.empty()) return nullptr;
    return FSlots[Probe(parent, part, hash)].Node;
}

void TPathIndex::Add(TTreeNode* node, std::string_view part, uint32_t hash) {
    if ((FCount + 1) * 10 > FSlots.size() * 7) Grow(FSlots.empty() ? 1024 : FSlots.size() * 2);
    Slot& slot = FSlots[Probe(node->Parent(), part, hash)];
    if (!slot.Node) ++FCount;
    slot = {node, hash, static_cast<uint32_t>(part.size())};
}

void TPathIndex::Reserve(size_t n) {
    size_t slots = 1024;
    while (slots * 7 < n * 10) slots *= 2;
    if (slots > FSlots.size()) Grow(slots);
}

void TPathIndex::Grow(size_t slots) {
    TLargeArray<Slot> old = std::move(FSlots);
    FSlots = TLargeArray<Slot>(slots);
    const size_t mask = FSlots.size() - 1;
    for (const Slot& s : old) {
        if (!s.Node) continue;
        size_t i = s.Hash & mask;
        while (FSlots[i].Node) i = (i + 1) & mask;
        FSlots[i] = s;
    }
}

void TPathIndex::Bury(std::unique_ptr<TTreeNode> subtree) {
    if (!subtree) return;
    // The detached subtree's keys can no longer match: its nodes are dead.
    FDead.insert(subtree.get());
    for (TTreeNode* n = subtree->HasChildren() ? subtree->Item(0) : nullptr; n; n = n->GetNext()) FDead.insert(n);
    FGraveyard.push_back(std::move(subtree));
    PreviousLine.clear();
    PreviousParts.clear();
}

// ---- Reading lines ----------------------------------------------------------------

namespace {

// Splits text into lines: CR LF, CR and LF end a line, a final line without an
// ending counts, and a NUL ends the text.
class TLineSplitter {
public:
    // Finds the next line in [data, data+size); returns false when none is
    // complete there. atEnd: no more data will follow.
    static bool Split(const char* data, size_t size, bool atEnd, std::string_view& line, size_t& consumed,
                      bool& ended) {
        ended = false;
        const char* b = data;
        const char* e = data + size;
        const char* limit = static_cast<const char*>(std::memchr(b, '\n', size));
        if (!limit) limit = e;
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

class TMemoryLines {
public:
    explicit TMemoryLines(std::string_view text) : FText(text) {}
    bool Next(std::string_view& line) {
        if (FEnded) return false;
        size_t consumed = 0;
        const bool got = TLineSplitter::Split(FText.data() + FPos, FText.size() - FPos, true, line, consumed, FEnded);
        FPos += consumed;
        return got;
    }

private:
    std::string_view FText;
    size_t FPos = 0;
    bool FEnded = false;
};

class TFileLines {
public:
    explicit TFileLines(int fd, const std::string& name) : FFd(fd), FName(name), FBuffer(1 << 20) {}
    bool Next(std::string_view& line) {
        for (;;) {
            if (FEnded) return false;
            size_t consumed = 0;
            if (TLineSplitter::Split(FBuffer.data() + FPos, FEnd - FPos, FEof, line, consumed, FEnded)) {
                FPos += consumed;
                return true;
            }
            if (FEnded || FEof) return false;
            Fill();
        }
    }

private:
    void Fill() {
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
    size_t FPos = 0, FEnd = 0;
    bool FEof = false, FEnded = false;
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

} // namespace

// ---- TLinksDocument: reading --------------------------------------------------------

namespace {
// The offset of the first "\\" or "=" in p[0..n), or n; eight bytes at a time.
size_t FindPathEnd(const char* p, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    constexpr uint64_t kBackslashes = kOnes * '\\', kEquals = kOnes * '=';
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        const uint64_t a = w ^ kBackslashes, b = w ^ kEquals;
        if (((a - kOnes) & ~a & kHighs) | ((b - kOnes) & ~b & kHighs)) break; // one of them is in these 8
    }
    for (; i < n; ++i)
        if (p[i] == '\\' || p[i] == '=') return i;
    return n;
}
} // namespace

TLinksDocument::TLinksDocument() = default;
TLinksDocument::~TLinksDocument() = default;

int32_t TLinksDocument::NewId() {
    if (CurrentId == INT32_MAX)
        throw ELinksFileError("O contador de identificadores chegou ao limite (" + std::to_string(CurrentId) + ")");
    return CurrentId++;
}

TTreeNode* TLinksDocument::AddLinkLine(TPathIndex& index, std::string_view line) {
    LineOutcome outcome;
    return AddLine(index, line, outcome);
}

TTreeNode* TLinksDocument::AddLine(TPathIndex& index, std::string_view line, LineOutcome& outcome) {
    outcome = LineOutcome::Nothing;
    if (line.empty()) return nullptr;
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
        const size_t end = start + FindPathEnd(line.data() + start, line.size() - start);
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
                node = Tree.AddChild(parent, std::string(part));
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
    index.PreviousLine.assign(line);
    std::swap(index.PreviousParts, index.Parts);
    outcome = LineOutcome::Folders;
    if (eq == std::string_view::npos) return nullptr;

    // Caption suffix: everything after the "(" but the line's last character.
    if (!parenKnown) paren = FindCaptionSuffix(line, eq);
    if (paren != std::string_view::npos) {
        const size_t suffixLength = line.size() >= paren + 2 ? line.size() - paren - 2 : 0;
        std::string text = parent->Text();
        text += " (";
        text += line.substr(paren + 1, suffixLength);
        text += ')';
        Tree.SetText(parent, std::move(text));
        line = line.substr(0, paren);
    }
    if (parent->Data()) {
        outcome = LineOutcome::Ignored; // the first line for a path wins
        return nullptr;
    }
    Tree.SetData(parent, TLinkData{std::string(TrimControls(line.substr(eq + 1)))});
    Tree.SetImages(parent, 1, 1);
    outcome = LineOutcome::Item;
    return parent;
}

template <typename Source> void TLinksDocument::ReadLines(Source& source, TLoadReport* report, size_t sizeHint) {
    TPathIndex index;
    index.Reserve(sizeHint / 200); // a key per line, lines of 100 to 200 bytes
    TTreeBatch batch(Tree);
    std::string_view line;
    int lineNo = 0;
    bool renumber = true;
    while (source.Next(line)) {
        ++lineNo;
        if (lineNo == 1) {
            renumber = !(line.size() >= 10 && line.substr(0, 10) == "_currentid");
            if (report) report->Numbered = !renumber;
        }
        LineOutcome outcome;
        TTreeNode* node = AddLine(index, line, outcome);
        if (outcome == LineOutcome::Ignored && report)
            report->Problems.push_back({lineNo, "Linha ignorada: o caminho j\xE1 tem um link"});
        if (!node) continue;
        if (node->Text() == "_currentid") {
            // The counter line, at any depth.
            int32_t value = 0;
            if (TryDecimalToInt(node->Data()->Link, value))
                CurrentId = value;
            else if (report)
                report->Problems.push_back(
                    {lineNo, "Contador inv\xE1lido: '" + node->Data()->Link + "' is not a valid integer value"});
            if (node->HasChildren()) {
                // A folder of that name holds items: keep them, drop only the counter.
                Tree.SetData(node, std::nullopt);
                Tree.SetImages(node, 0, 0);
            } else {
                index.Bury(Tree.Detach(node));
            }
            continue;
        }
        if (report) report->ItemLines.emplace_back(node, lineNo);
        if (renumber) {
            try {
                Tree.SetLink(node, RenumberLink(node->Data()->Link, false));
            } catch (const Exception& e) {
                if (!report || !report->KeepGoing) throw;
                report->Problems.push_back({lineNo, e.Message});
            }
        }
    }
}

void TLinksDocument::LoadLinksText(std::string_view text, TLoadReport* report) {
    Tree.Clear();
    TMemoryLines lines(text);
    ReadLines(lines, report, text.size());
}

void TLinksDocument::LoadLinksFile(const std::string& fileName, TLoadReport* report) {
    FileName = fileName;
    Tree.Clear();
    TFd file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (file.fd < 0) throw EFOpenError::CannotOpen(fileName, errno);
    if (fstat(file.fd, &st) != 0 || S_ISDIR(st.st_mode)) throw EFOpenError::CannotOpen(fileName, EISDIR);
    TFileLines lines(file.fd, fileName);
    ReadLines(lines, report, static_cast<size_t>(st.st_size));
}

void TLinksDocument::NewLinksFile() {
    Tree.Clear();
    FileName.clear();
}

// ---- Renumbering ------------------------------------------------------------------

std::string TLinksDocument::RenumberLink(std::string_view s, bool nested) {
    return RenumberAt(s, nested, 0);
}

std::string TLinksDocument::RenumberAt(std::string_view s, bool nested, int depth) {
    if (depth >= kMaxNesting)
        throw ESyntaxError("Links nested too deeply (more than " + std::to_string(kMaxNesting) + " levels)");
    auto wrap = [&](std::string_view inner) {
        std::string out = "link={";
        out += inner;
        out += "};_id=\"";
        out += std::to_string(NewId());
        out += '"';
        return out;
    };
    const size_t amp = s.find('&');
    if (amp == std::string_view::npos) return nested ? std::string(s) : wrap(s);

    std::string out(s.substr(0, amp + 1));
    if (FParsers.size() <= static_cast<size_t>(depth)) FParsers.push_back(std::make_unique<TcmdListParser>());
    TcmdListParser& parser = *FParsers[static_cast<size_t>(depth)];
    parser.Parse(s.substr(amp + 1));
    for (int c = 0; c < parser.Count(); ++c) {
        const TcmdGroup& command = parser.Commands(c);
        if (command.IsNamed("link")) {
            // The nested link first, so links inside a link get the lower numbers.
            out += wrap(RenumberAt(command.Values("link"), true, depth + 1));
        } else {
            out += command.Name;
            out += "=\"";
            out += command.Values(command.Name);
            out += '"';
        }
        for (int i = 1; i < command.Count(); ++i) {
            const TcmdItem& item = command.Items(i);
            out += ';';
            out += item.Name;
            out += '=';
            if (item.IsWord) {
                out += item.Value;
            } else {
                out += '"';
                out += item.Value;
                out += '"';
            }
        }
        out += ',';
    }
    out.pop_back(); // the last ",", or the "&" itself when no command followed
    return nested ? out : wrap(out);
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

template <typename Sink> void TLinksDocument::WriteLinks(Sink& sink) const {
    std::string line = "_currentid=" + std::to_string(CurrentId) + "\r\n";
    sink(line);
    // Depth-first with the path built up level by level; "bad" marks a level
    // whose path holds a text that would read back differently.
    struct Level {
        const TTreeNode* node;
        int next;
        size_t pathEnd;
        bool bad;
    };
    std::vector<Level> stack;
    std::string path;
    auto visit = [&](const TTreeNode* node) {
        const size_t base = stack.empty() ? 0 : stack.back().pathEnd;
        path.resize(base);
        if (!stack.empty()) path += '\\';
        path += node->Text();
        const bool bad = (!stack.empty() && stack.back().bad) || !PlainNodeText(node->Text());
        stack.push_back({node, 0, path.size(), bad});
        if (const TLinkData* data = node->Data()) {
            if (bad) {
                for (const Level& l : stack) {
                    const std::string why = ValidateNodeText(l.node->Text());
                    if (!why.empty()) throw ELinksFileError(why);
                }
            }
            const std::string_view link = data->Link;
            line.assign(path);
            line += '=';
            line += link;
            if (HasLineBreak(link)) throw ELinksFileError("O link de \"" + path + "\" cont\xE9m quebras de linha");
            line += "\r\n";
            sink(line);
        }
    };
    for (int r = 0; r < Tree.RootCount(); ++r) {
        stack.clear();
        visit(Tree.Root(r));
        while (!stack.empty()) {
            Level& top = stack.back();
            if (top.next < top.node->Count())
                visit(top.node->Item(top.next++));
            else
                stack.pop_back();
        }
    }
}

std::string TLinksDocument::LinksText() const {
    std::string out;
    auto sink = [&](const std::string& s) { out += s; };
    WriteLinks(sink);
    return out;
}

namespace {

// Writes through a large buffer into a file descriptor; raises the platform's
// error on any failure.
class TFileSink {
public:
    TFileSink(int fd, const std::string& name) : FFd(fd), FName(name) { FBuffer.reserve(1 << 20); }
    ~TFileSink() = default;
    void operator()(const std::string& s) {
        if (FBuffer.size() + s.size() > (1u << 20)) Flush();
        if (s.size() > (1u << 20))
            WriteAll(s.data(), s.size());
        else
            FBuffer += s;
    }
    void Flush() {
        WriteAll(FBuffer.data(), FBuffer.size());
        FBuffer.clear();
    }

private:
    void WriteAll(const char* p, size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(FFd, p, n);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) throw EInOutError::FromErrno(errno, FName);
            if (w == 0) throw EInOutError::FromErrno(ENOSPC, FName);
            p += w;
            n -= static_cast<size_t>(w);
            FWritten += static_cast<off_t>(w);
        }
        // Start the disk writing of what is complete while the rest is produced,
        // so that the final sync has little left to wait for.
        if (FWritten - FFlushed >= (8 << 20)) {
            (void)::sync_file_range(FFd, FFlushed, FWritten - FFlushed, SYNC_FILE_RANGE_WRITE);
            FFlushed = FWritten;
        }
    }
    int FFd;
    const std::string& FName;
    std::string FBuffer;
    off_t FWritten = 0, FFlushed = 0;
};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace

void TLinksDocument::SaveLinksFile(const std::string& fileName) const {
    // Write over the file a symbolic link points at, not over the link.
    std::string target = fileName;
    char resolved[PATH_MAX];
    if (::realpath(fileName.c_str(), resolved)) target = resolved;

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    const std::string dir = DirectoryOf(target);
    const std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);

    std::random_device random;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = dir + "/." + base + ".elo-" + std::to_string(random() % 1000000000u);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100)) throw EInOutError::FromErrno(errno, fileName);
    }
    try {
        TFd file(fd);
        if (exists) (void)::fchmod(fd, old.st_mode & 07777);
        TFileSink sink(fd, fileName);
        WriteLinks(sink);
        sink.Flush();
        if (::fsync(fd) != 0) throw EInOutError::FromErrno(errno, fileName);
        file.fd = -1;
        if (::close(fd) != 0) throw EInOutError::FromErrno(errno, fileName);
        if (::rename(temp.c_str(), target.c_str()) != 0) throw EInOutError::FromErrno(errno, fileName);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // Make the rename itself durable; a failure here loses nothing.
    TFd directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0) (void)::fsync(directory.fd);
}

} // namespace elo
