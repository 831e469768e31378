// One open interface library: its path (or embedded resource), the buffered
// stream its data is read through, its entries sorted by name, and the use lock
// over the process-wide named mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "NlxEntries.h"
#include "NlxFormat.h"
#include "NlxWatcher.h"
#include "nlxstream/nlxStream.h"
#include "platform/NamedMutex.h"
#include "platform/Text.h"

namespace elo {

// The process-wide switches of the subsystem, set when it starts. A library
// takes a copy when it is made.
struct TLibraryOptions {
    bool OmitFlaggedEntries = true; // flagged directory records passed over (format version 17 on)
    bool LoadLongTexts = false;     // entries' long texts read rather than skipped
};
extern TLibraryOptions LibraryOptions;

class TNLXInterfaceItem;
// What the holder of a library tells it: a reload after its file changed runs
// holding Section (when set), and Reloaded hears of each reload.
struct TLibraryOwner {
    std::recursive_mutex* Section = nullptr;
    std::function<void(TNLXInterfaceItem*)> Reloaded;
};

// The mutex "NLX_INTF_MUTEX_1.1", shared by every process that reads libraries.
inline constexpr const char* kInterfaceMutexName = "NLX_INTF_MUTEX_1.1";
TNamedMutex& InterfaceMutex();
// Takes it as LibraryWaits says (without limit, or bounded, pausing meanwhile).
void AcquireInterfaceMutex();

// How long a missing or locked library file is waited for: 10 s for the file to
// appear, then 30 s of attempts to open it, one attempt a second. Tests and the
// batch tool may shorten them.
struct TLibraryWaits {
    TLibraryWaits(uint32_t fileWaitMs = 10000, uint32_t openRetryMs = 30000, uint32_t pollMs = 1000)
        : FileWaitMs(fileWaitMs), OpenRetryMs(openRetryMs), PollMs(pollMs) {}
    uint32_t FileWaitMs;
    uint32_t OpenRetryMs;
    uint32_t PollMs;
    // How long a library waits for the named mutex that another program
    // holds: without limit (-1), or this many milliseconds, after which the
    // wait fails naming the lock.
    int64_t LockWaitMs = -1;
    // Each pause of a wait, for a library file (path, PollMs) or for the lock
    // (its file, a short moment); sleeps when not set. A window sets it to stay
    // alive while it waits, and may raise to end the wait early.
    std::function<void(const std::string& path, uint32_t ms, bool lock)> Pause;
};
extern TLibraryWaits LibraryWaits;

inline constexpr const char* kLibraryResourceType = "NLXFILE";
inline constexpr int32_t kLibraryWindowSize = 8196;

// The program's directory + name with ".nlx"; else the path search; else name.
std::string ResolveLibraryPath(const std::string& name);

class TNLXInterfaceItem {
public:
    explicit TNLXInterfaceItem(bool loadNow, const TLibraryOptions& options = LibraryOptions, TLibraryOwner owner = {});
    ~TNLXInterfaceItem();
    TNLXInterfaceItem(const TNLXInterfaceItem&) = delete;
    TNLXInterfaceItem& operator=(const TNLXInterfaceItem&) = delete;

    void Open(const std::string& name);
    void LoadDirectory();
    void ClearEntries();
    TNLXInterface* AddEntry(std::string_view prefix, std::string_view namePart);
    // The entry at a position of the sorted list, its LastAccess stamped.
    TNLXInterface* EntryAt(int index);
    // The use lock: the first use takes the named mutex, the last releases it
    // and lets go of the library file.
    void Lock();
    void Unlock();
    // The modification time of the open library file; 0 for a resource.
    int64_t CurrentFileDate();
    // Its date with its identity and size; all 0 for a resource.
    TFileStamp CurrentFileStamp();
    // The critical section guarding the entries' loads, the stream and buffers.
    void EnterSection() { FSection.lock(); }
    void LeaveSection() { FSection.unlock(); }

    // Watching the library's file: a change reloads the library (FileChanged,
    // in the main thread).
    void StartWatching(const std::string& path);
    void StopWatching();
    void FileChanged();
    static constexpr int kStopWatchingTimeoutMs = 5000;

    // The position of the entry whose upper-case FullName is key, or -1.
    int IndexOfKey(const std::string& key) const;
    // Files the entry under its new name (keeping the list sorted).
    void RenameEntry(TNLXInterface* entry, const std::string& newName);

    bool Loading = false;
    std::string LibraryName;
    int32_t UseCount = 0;
    int32_t EntryCount = 0;
    std::unique_ptr<TnlxBufferedStream> Stream;
    std::string Path;
    std::string RequestedName;
    int64_t FileDate = 0;
    TFileStamp FileStamp; // taken with FileDate
    int FormatVersion = kNewestFormatVersion;
    bool LoadLongTexts;
    bool OmitFlaggedEntries;
    TMemoryStream Expanded;
    std::vector<unsigned char> InBuffer, OutBuffer;
    std::unique_ptr<TFileWatcher> Watcher;

private:
    friend class TNLXInterface;
    void OpenLibraryStream(TStream*& stream);
    void PauseWaiting();
    void SortEntries();
    size_t SortedPosition(const TCollationKey& order) const;

    std::recursive_mutex FSection;
    TLibraryOwner FOwner;
    // The entries; the key of each is its FullName in upper case, its order
    // the collator's order of that key (TNLXInterface::SortKey).
    std::vector<std::unique_ptr<TNLXInterface>> FEntries;
    bool FSorted = true;
};

} // namespace elo
