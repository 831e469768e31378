// Renumbering: the complete form of a raw link string ("link={" + text +
// "};_id=" and a new identifier, links inside it numbered first), and a
// pipeline that renumbers a file's links on a second thread, in line order,
// while the tree is built from the same lines.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/LargeArray.h"

namespace elo {

class TcmdListParser;

// Hands out counter and advances it. Raises ELinksFileError when the counter
// has reached the largest 32-bit value.
int32_t DrawIdentifier(int32_t& counter);

// Renumbers with one parser, reused from link to link and from level to level.
class TRenumberer {
public:
    TRenumberer();
    ~TRenumberer();
    TRenumberer(const TRenumberer&) = delete;
    TRenumberer& operator=(const TRenumberer&) = delete;
    // Appends the complete form of s to out, drawing identifiers from counter.
    // A link nested deeper than maxNesting levels is ESyntaxError.
    void Into(std::string& out, std::string_view s, bool nested, int32_t& counter, int maxNesting);

private:
    // One level: s (held by own, when not null, which is released once s is
    // parsed) nested depth levels deep.
    void Into(std::string& out, std::string_view s, std::string* own, bool nested, int depth, int32_t& counter,
              int maxNesting);
    std::unique_ptr<TcmdListParser> FParser;
};

// The links of a file renumbered on a second thread. The reader hands over
// each item's raw link and each counter line's value in line order; the
// worker renumbers them in that order, so the identifiers are the ones a
// reading on one thread gives. After Finish the complete links come back in
// the order handed over.
class TRenumberPipeline {
public:
    // keepGoing: a link that fails keeps its raw text and the work goes on;
    // otherwise the first failure stops the worker (Failed()).
    // At most queueBytes of raw links wait for the worker; the reader waits beyond.
    TRenumberPipeline(int32_t counter, bool keepGoing, int maxNesting, size_t queueBytes = size_t{8} << 20);
    ~TRenumberPipeline();
    TRenumberPipeline(const TRenumberPipeline&) = delete;
    TRenumberPipeline& operator=(const TRenumberPipeline&) = delete;

    void Link(std::string_view raw);
    void SetCounter(int32_t value);
    // The worker stopped at a failure (or ran out of memory).
    bool Failed() const { return FFailed.load(std::memory_order_relaxed); }
    // Ends the input and waits for the worker; what it could not survive (not
    // a renumbering failure) is raised here.
    void Finish();

    // After Finish: the complete links (raw where renumbering failed), in the
    // order handed over, with the bytes that hold them.
    template <typename F> void ForEachResult(F&& f) const {
        size_t index = 0;
        for (size_t c = 0; c < FChunks.size(); ++c) {
            const char* at = FChunks[c].begin();
            for (size_t k = 0; k < FChunkResults[c]; ++k, ++index) {
                f(index, std::string_view(at, FLengths[index]));
                at += FLengths[index];
            }
        }
    }
    std::vector<TLargeArray<char>> TakeChunks() { return std::move(FChunks); }
    // The counter after the last link.
    int32_t Counter() const { return FCounter; }
    // The links that failed (their index among those handed over) and why.
    const std::vector<std::pair<size_t, std::string>>& Failures() const { return FFailures; }

private:
    struct TEntry {
        uint32_t Length; // of a link's raw text in the batch
        bool IsCounter;
        int32_t Value; // a counter line's value
    };
    struct TBatch {
        std::string Text;
        std::vector<TEntry> Entries;
    };
    void Flush();
    void Run();
    void Work(const TBatch& batch);
    void Store(std::string_view link);
    void Stop(bool cancel);

    TBatch FBatch; // being filled by the reader
    // Batches handed over, not yet taken by the worker.
    std::mutex FMutex;
    std::condition_variable FReady, FRoom;
    std::deque<TBatch> FQueue;
    std::vector<TBatch> FSpare; // taken and done with: their memory serves again
    size_t FQueuedBytes = 0;
    bool FEnded = false, FCancelled = false, FStopped = false;
    std::atomic<bool> FFailed{false};
    std::exception_ptr FFatal;
    // The worker's own.
    TRenumberer FRenumberer;
    std::string FScratch;
    int32_t FCounter;
    bool FKeepGoing;
    int FMaxNesting;
    size_t FQueueLimit;
    size_t FNext = 0; // index of the next link
    std::vector<TLargeArray<char>> FChunks;
    std::vector<size_t> FChunkResults;
    std::vector<uint32_t> FLengths;
    char* FAt = nullptr;
    size_t FLeft = 0;
    std::vector<std::pair<size_t, std::string>> FFailures;
    std::thread FThread;
};

} // namespace elo
