#include "Renumbering.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

#include "LinksFile.h"
#include "cmdlang/LnkUtils.h"

namespace elo {

int32_t DrawIdentifier(int32_t& counter) {
    if (counter == INT32_MAX)
        throw ELinksFileError("O contador de identificadores chegou ao limite (" + std::to_string(counter) + ")");
    return counter++;
}

// ---- TRenumberer ---------------------------------------------------------------------

namespace {
// How deep braces nest in text: a link cannot nest deeper than its braces.
int BraceDepth(std::string_view text) {
    int depth = 0, deepest = 0;
    for (char c : text) {
        if (c == '{')
            deepest = std::max(deepest, ++depth);
        else if (c == '}' && depth > 0)
            --depth;
    }
    return deepest;
}
} // namespace

TRenumberer::TRenumberer() : FParser(std::make_unique<TcmdListParser>()) {}
TRenumberer::~TRenumberer() = default;

void TRenumberer::Into(std::string& out, std::string_view s, bool nested, int32_t& counter, int maxNesting) {
    Into(out, s, nullptr, nested, 0, counter, maxNesting);
}

void TRenumberer::Into(std::string& out, std::string_view s, std::string* own, bool nested, int depth, int32_t& counter,
                       int maxNesting) {
    const auto tooDeep = [&] {
        return ESyntaxError("Links nested too deeply (more than " + std::to_string(maxNesting) + " levels)");
    };
    if (depth >= maxNesting) throw tooDeep();
    // A long text nested past the limit is refused before any work on it.
    if (depth == 0 && s.size() > (size_t{64} << 10) && BraceDepth(s) >= maxNesting) throw tooDeep();
    // A complete link is "link={" + its text + "};_id=" and a new identifier,
    // drawn after the identifiers of the links inside it.
    auto closeWithId = [&] {
        out += "};_id=\"";
        char digits[16];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, DrawIdentifier(counter));
        (void)error;
        out.append(digits, end);
        out += '"';
    };
    if (!nested) out += "link={";
    const size_t amp = s.find('&');
    if (amp == std::string_view::npos) {
        out += s;
        if (!nested) closeWithId();
        return;
    }
    out += s.substr(0, amp + 1);
    // This level is written out in pieces: what it writes itself, and the
    // text of each link inside it, renumbered in its turn. The parser is done
    // with this level (and the level's own text released) before the next
    // level starts (its storage serves the next), so memory stays in
    // proportion to the text however deep the links nest.
    struct TPiece {
        std::string Text;
        bool Link; // the text of a nested link
    };
    std::vector<TPiece> pieces(1, TPiece{{}, false});
    FParser->Parse(s.substr(amp + 1));
    const TcmdListParser& parser = *FParser;
    for (int c = 0; c < parser.Count(); ++c) {
        const TcmdGroup& command = parser.Commands(c);
        if (command.IsNamed("link")) {
            // The nested link first, so links inside a link get the lower numbers.
            pieces.back().Text += "link={";
            pieces.push_back({command.Values("link"), true});
            pieces.push_back({{}, false});
        } else {
            // The first item always in double quotes, also a bare word.
            std::string& text = pieces.back().Text;
            text += command.Name;
            text += "=\"";
            text += command.Values(command.Name);
            text += '"';
        }
        std::string& text = pieces.back().Text;
        for (int i = 1; i < command.Count(); ++i) {
            const TcmdItem& item = command.Items(i);
            text += ';';
            text += item.Name;
            text += '=';
            if (item.IsWord) {
                text += item.Value;
            } else {
                text += '"';
                text += item.Value;
                text += '"';
            }
        }
        text += ',';
    }
    if (parser.Count() == 0)
        out.pop_back(); // the "&" itself when no command followed
    else
        pieces.back().Text.pop_back(); // the last ","
    if (own) std::string().swap(*own); // s is not used from here on
    for (TPiece& piece : pieces) {
        if (!piece.Link) {
            out += piece.Text;
            continue;
        }
        std::string text = std::move(piece.Text);
        Into(out, text, &text, true, depth + 1, counter, maxNesting);
        closeWithId();
    }
    if (!nested) closeWithId();
}

// ---- TRenumberPipeline -----------------------------------------------------------------

namespace {
constexpr size_t kBatchBytes = size_t{256} << 10; // handed over at a time
constexpr size_t kQueueBytes = size_t{8} << 20;   // waiting at most: the reader waits beyond
constexpr size_t kResultChunk = size_t{4} << 20;  // results are written into blocks of this size
} // namespace

TRenumberPipeline::TRenumberPipeline(int32_t counter, bool keepGoing, int maxNesting, size_t queueBytes)
    : FCounter(counter), FKeepGoing(keepGoing), FMaxNesting(maxNesting), FQueueLimit(queueBytes) {
    FBatch.Text.reserve(kBatchBytes + 4096);
    FThread = std::thread([this] { Run(); });
}

TRenumberPipeline::~TRenumberPipeline() {
    Stop(true);
}

void TRenumberPipeline::Link(std::string_view raw) {
    FBatch.Text += raw;
    FBatch.Entries.push_back({static_cast<uint32_t>(raw.size()), false, 0});
    if (FBatch.Text.size() >= kBatchBytes) Flush();
}

void TRenumberPipeline::SetCounter(int32_t value) {
    FBatch.Entries.push_back({0, true, value});
}

void TRenumberPipeline::Flush() {
    if (FBatch.Entries.empty()) return;
    std::unique_lock lock(FMutex);
    FRoom.wait(lock, [&] { return FQueuedBytes < FQueueLimit || FStopped || FCancelled; });
    if (FStopped || FCancelled) {
        FBatch = TBatch();
        return;
    }
    FQueuedBytes += FBatch.Text.size();
    FQueue.push_back(std::move(FBatch));
    FReady.notify_one();
    if (!FSpare.empty()) {
        FBatch = std::move(FSpare.back());
        FSpare.pop_back();
    } else {
        FBatch = TBatch();
        FBatch.Text.reserve(kBatchBytes + 4096);
    }
}

void TRenumberPipeline::Finish() {
    Flush();
    Stop(false);
    if (FFatal) std::rethrow_exception(FFatal);
}

void TRenumberPipeline::Stop(bool cancel) {
    {
        std::lock_guard lock(FMutex);
        FEnded = true;
        if (cancel) FCancelled = true;
        FReady.notify_one();
    }
    if (FThread.joinable()) FThread.join();
}

void TRenumberPipeline::Run() {
    for (;;) {
        TBatch batch;
        {
            std::unique_lock lock(FMutex);
            FReady.wait(lock, [&] { return !FQueue.empty() || FEnded || FCancelled; });
            if (FCancelled || FQueue.empty()) return;
            batch = std::move(FQueue.front());
            FQueue.pop_front();
            FQueuedBytes -= batch.Text.size();
            FRoom.notify_one();
        }
        try {
            Work(batch);
        } catch (...) {
            FFatal = std::current_exception(); // memory ran out: the reader raises it
        }
        batch.Text.clear();
        batch.Entries.clear();
        {
            std::lock_guard lock(FMutex);
            if (FSpare.size() < 4) FSpare.push_back(std::move(batch));
        }
        if (FFailed.load(std::memory_order_relaxed)) {
            // The reader stops handing over; what it hands over still is dropped.
            std::lock_guard lock(FMutex);
            FStopped = true;
            FQueue.clear();
            FQueuedBytes = 0;
            FRoom.notify_one();
            return;
        }
    }
}

void TRenumberPipeline::Work(const TBatch& batch) {
    const char* at = batch.Text.data();
    for (const TEntry& entry : batch.Entries) {
        if (entry.IsCounter) {
            FCounter = entry.Value;
            continue;
        }
        const std::string_view raw(at, entry.Length);
        at += entry.Length;
        try {
            FScratch.clear();
            FRenumberer.Into(FScratch, raw, false, FCounter, FMaxNesting);
            Store(FScratch);
        } catch (const Exception& e) {
            // The failing line's item keeps its raw link string.
            FFailures.emplace_back(FNext, e.Message);
            Store(raw);
            if (!FKeepGoing) {
                FFailed = true;
                return;
            }
        } catch (...) {
            FFailed = true;
            throw;
        }
        ++FNext;
    }
}

void TRenumberPipeline::Store(std::string_view link) {
    if (FChunks.empty() || FLeft < link.size()) {
        FChunks.emplace_back(std::max(kResultChunk, link.size()), TLargeArray<char>::TPages::Small);
        FChunkResults.push_back(0);
        FAt = FChunks.back().begin();
        FLeft = FChunks.back().size();
    }
    if (!link.empty()) std::memcpy(FAt, link.data(), link.size());
    FAt += link.size();
    FLeft -= link.size();
    FLengths.push_back(static_cast<uint32_t>(link.size()));
    ++FChunkResults.back();
}

} // namespace elo
