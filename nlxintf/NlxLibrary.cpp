#include "NlxLibrary.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/Files.h"
#include "platform/LockScope.h"
#include "platform/Resources.h"
#include "platform/ScopeExit.h"
#include "platform/Text.h"

namespace elo {

TLibraryOptions LibraryOptions;
TLibraryWaits LibraryWaits;

TNamedMutex& InterfaceMutex() {
    static TNamedMutex mutex(kInterfaceMutexName);
    return mutex;
}

std::string ResolveLibraryPath(const std::string& name) {
    // The path is kept absolute: the library is read lazily and reloaded long
    // after it was found, when the current directory may be another one.
    const std::string candidate = ProgramDirectory() + ChangeFileExt(name, ".nlx");
    if (FileExists(candidate)) return AbsolutePath(candidate);
    std::string found = SearchPath(name, ".nlx");
    if (!found.empty()) return AbsolutePath(found);
    // An embedded library is known by its bare name.
    if (FindResource(kLibraryResourceType, UpperCaseLocale(ChangeFileExt(ExtractFileName(name), "")))) return name;
    return AbsolutePath(name);
}

TNLXInterfaceItem::TNLXInterfaceItem(bool loadNow, const TLibraryOptions& options, TLibraryOwner owner)
    : LoadLongTexts(options.LoadLongTexts), OmitFlaggedEntries(options.OmitFlaggedEntries),
      InBuffer(kBlockSize + kBlockSlack), OutBuffer(kBlockSize + kBlockSlack), FOwner(std::move(owner)) {
    if (loadNow) LoadDirectory();
}

TNLXInterfaceItem::~TNLXInterfaceItem() {
    StopWatching();
    FEntries.clear();
    Stream.reset();
}

void TNLXInterfaceItem::Open(const std::string& name) {
    if (name == RequestedName || name == LibraryName) return;
    RequestedName = name;
    const std::string path = ResolveLibraryPath(name);
    if (Stream && SameTextLocale(path, Path)) return;
    if (Stream && !Path.empty()) Stream.reset(); // another file: nothing of the old window may serve it
    if (!Stream) {
        Stream = std::make_unique<TnlxBufferedStream>(nullptr, kLibraryWindowSize);
        Stream->OwnsStream = true;
        Stream->OnGetStream = [this](TnlxBufferedStream&, TStream*& stream) { OpenLibraryStream(stream); };
    }
    if (SameTextLocale(path, Path)) return;
    Path = path;
    LibraryName = FileNameText(ChangeFileExt(ExtractFileName(path), "")); // the system's text of the name
    LoadDirectory();
    StartWatching(Path);
}

void TNLXInterfaceItem::StartWatching(const std::string& path) {
    if (Watcher && SameTextAscii(Watcher->FileName(), path)) return;
    StopWatching();
    Watcher = std::make_unique<TFileWatcher>(path);
    Watcher->SetOnChange([this](TFileWatcher&) { FileChanged(); });
    Watcher->Start();
}

void TNLXInterfaceItem::StopWatching() {
    if (!Watcher) return;
    Watcher->SetOnChange(nullptr);
    Watcher->Stop();
    if (WaitForThreadEnd(*Watcher, kStopWatchingTimeoutMs)) {
        Watcher.reset();
        return;
    }
    // The thread did not end in time. There is no suspending a thread here;
    // instead it is left to end by itself, which is safe: its change handler is
    // cleared, so it can no longer reach this library; it owns nothing but its
    // own object (the file name and the stop event), which it frees when it
    // ends; and the stop event stays signalled, so it leaves its loop as soon as
    // it runs again or its pending synchronised call is served.
    TFileWatcher* watcher = Watcher.release();
    if (!watcher->Abandon()) delete watcher; // it ended just now after all
}

void TNLXInterfaceItem::FileChanged() {
    std::unique_lock<std::recursive_mutex> section;
    if (FOwner.Section) section = std::unique_lock(*FOwner.Section);
    TLockScope<TNLXInterfaceItem> use(*this);
    {
        // A library whose file is gone keeps what it has: waiting for the file
        // here would freeze the main thread.
        if (!Path.empty() && FileExists(Path)) {
            // The date decides, as the file's identity does: a file written
            // twice within one clock tick keeps its date, but a new file renamed
            // over the old one, or one of another size, is another state.
            const TFileStamp stamp = CurrentFileStamp();
            // The size of the file as it is now, not the size cached in the stream.
            if (stamp.Size > 0 && (stamp.Date != FileDate || !(stamp == FileStamp))) {
                Stream.reset();
                const std::string path = Path;
                Path.clear();
                RequestedName.clear();
                Open(path);
                if (FOwner.Reloaded) FOwner.Reloaded(this);
            }
        }
    }
}

void TNLXInterfaceItem::PauseWaiting() {
    if (LibraryWaits.Pause)
        LibraryWaits.Pause(Path, LibraryWaits.PollMs, false);
    else
        Sleep(LibraryWaits.PollMs);
}

void AcquireInterfaceMutex() {
    TNamedMutex& mutex = InterfaceMutex();
    if (LibraryWaits.LockWaitMs < 0 && !LibraryWaits.Pause) {
        mutex.Acquire();
        return;
    }
    // In short steps: a window stays alive meanwhile, and a bounded wait ends.
    constexpr int kStepMs = 50;
    // A bound past a day is a day: the tick count runs round after 49 days.
    const int64_t bound = std::min<int64_t>(LibraryWaits.LockWaitMs, int64_t{24} * 60 * 60 * 1000);
    const uint32_t start = GetTickCount();
    for (;;) {
        if (mutex.TryAcquireFor(kStepMs)) return;
        if (bound >= 0 && GetTickCount() - start >= bound)
            throw TNLXInterfaceError("N\xE3o foi poss\xEDvel obter a trava " + FileNameText(mutex.LockPath()) +
                                     ": outro programa a mant\xE9m");
        if (LibraryWaits.Pause) LibraryWaits.Pause(mutex.LockPath(), kStepMs, true);
    }
}

void TNLXInterfaceItem::OpenLibraryStream(TStream*& stream) {
    if (FindResource(kLibraryResourceType, UpperCaseLocale(LibraryName))) {
        stream = new TResourceStream(kLibraryResourceType, UpperCaseLocale(LibraryName));
        return;
    }
    // Something there that is no regular file (a FIFO, a directory) will not
    // become one by waiting: refused at once.
    auto refuseNonFile = [this] {
        struct stat st {};
        if (::stat(Path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            throw TNLXInterfaceError("N\xE3o foi poss\xEDvel abrir " + FileNameText(Path) + " (not a regular file)");
    };
    uint32_t start = GetTickCount();
    while (GetTickCount() - start < LibraryWaits.FileWaitMs) {
        refuseNonFile();
        try {
            if (FileExists(Path)) break;
        } catch (...) {
        }
        PauseWaiting();
    }
    start = GetTickCount();
    for (;;) {
        refuseNonFile();
        try {
            stream = new TFileStream(Path, fmOpenRead | fmShareDenyWrite);
            return;
        } catch (const EFOpenError&) {
        }
        if (GetTickCount() - start >= LibraryWaits.OpenRetryMs) break;
        PauseWaiting();
    }
    throw TNLXInterfaceError("N\xE3o foi poss\xEDvel abrir " + FileNameText(Path));
}

void TNLXInterfaceItem::Lock() {
    if (UseCount++ > 0) return;
    try {
        AcquireInterfaceMutex();
    } catch (...) {
        --UseCount;
        throw;
    }
}

void TNLXInterfaceItem::Unlock() {
    if (UseCount <= 0) return;
    if (--UseCount == 0) {
        InterfaceMutex().Release();
        if (Stream) Stream->CloseStream(); // the file is open only while in use
    }
}

TFileStamp TNLXInterfaceItem::CurrentFileStamp() {
    if (!Stream) return {};
    if (auto* file = dynamic_cast<THandleStream*>(Stream->GetStream())) return FileStampOfHandle(file->Handle());
    return {};
}

int64_t TNLXInterfaceItem::CurrentFileDate() {
    if (!Stream) return 0;
    if (auto* file = dynamic_cast<THandleStream*>(Stream->GetStream())) return FileDateOfHandle(file->Handle());
    return 0;
}

void TNLXInterfaceItem::ClearEntries() {
    FEntries.clear();
    EntryCount = 0;
}

void TNLXInterfaceItem::LoadDirectory() {
    Loading = true;
    FSorted = false;
    // Sorted and no longer loading however the reading ends; the use lock is
    // let go of first.
    TScopeExit done([this] {
        SortEntries();
        Loading = false;
    });
    TLockScope<TNLXInterfaceItem> use(*this);
    {
        ClearEntries();
        if (Stream) {
            Stream->GetStream(); // the file itself, or the error that it cannot be had
            const std::vector<unsigned char> records = ReadDirectoryRecords(*Stream, FormatVersion);
            FEntries.reserve(records.size() / dir::kRecordSize);
            ForEachDirectoryRecord(records, OmitFlaggedEntries, FormatVersion, [&](const TDirectoryRecord& r) {
                TNLXInterface* entry = AddEntry(r.Prefix, r.NamePart);
                entry->InMemory = false;
                entry->SymbolsLoaded = false;
                entry->DataOffset = r.DataOffset;
                entry->OmitFlag = r.OmitFlag;
                entry->Kind = r.Kind;
            });
        }
        FileStamp = CurrentFileStamp();
        FileDate = FileStamp.Date;
    }
}

TNLXInterface* TNLXInterfaceItem::AddEntry(std::string_view prefix, std::string_view namePart) {
    auto entry = std::make_unique<TNLXInterface>(this);
    entry->InMemory = true;
    TNLXInterface* raw = entry.get();
    std::string fullName;
    fullName.reserve(prefix.size() + 1 + namePart.size());
    fullName.append(prefix).append(".").append(namePart);
    raw->SetFullName(fullName);
    // The key is the upper-case name; the collator ignores letter case, so the
    // name's own order is the key's.
    raw->SortKey = MakeCollationKey(raw->FullName);
    size_t position = FEntries.size();
    if (FSorted) position = SortedPosition(raw->SortKey);
    FEntries.insert(FEntries.begin() + static_cast<ptrdiff_t>(position), std::move(entry));
    raw->ListIndex = static_cast<int16_t>(position);
    raw->Listed = true;
    EntryCount = static_cast<int32_t>(FEntries.size());
    return raw;
}

TNLXInterface* TNLXInterfaceItem::EntryAt(int index) {
    if (index < 0 || index >= static_cast<int>(FEntries.size())) throw EListError(index);
    TNLXInterface* entry = FEntries[static_cast<size_t>(index)].get();
    entry->LastAccess = GetTickCount();
    return entry;
}

size_t TNLXInterfaceItem::SortedPosition(const TCollationKey& order) const {
    const auto it = std::upper_bound(FEntries.begin(), FEntries.end(), order,
                                     [](const TCollationKey& k, const std::unique_ptr<TNLXInterface>& e) {
                                         return CompareCollationKeys(k, e->SortKey) < 0;
                                     });
    return static_cast<size_t>(it - FEntries.begin());
}

void TNLXInterfaceItem::SortEntries() {
    FSorted = true;
    // Small records (the key's first sixteen ranks and the entry) are sorted;
    // ties are broken by the whole key, then by the position, so that equal
    // names keep their order.
    struct Item {
        uint64_t p1, p2;
        TNLXInterface* entry;
        uint32_t index;
        bool ascii;
    };
    std::vector<Item> order(FEntries.size());
    bool sorted = true;
    for (size_t i = 0; i < FEntries.size(); ++i) {
        const TCollationKey& k = FEntries[i]->SortKey;
        order[i] = {k.Prefix, k.Prefix2, FEntries[i].get(), static_cast<uint32_t>(i), k.Ascii};
        if (sorted && i > 0) {
            const Item& p = order[i - 1];
            if (p.ascii && k.Ascii && (p.p1 != k.Prefix || p.p2 != k.Prefix2))
                sorted = p.p1 < k.Prefix || (p.p1 == k.Prefix && p.p2 < k.Prefix2);
            else
                sorted = CompareCollationKeys(p.entry->SortKey, k) <= 0;
        }
    }
    if (sorted) return; // a directory written in order costs one pass
    std::sort(order.begin(), order.end(), [](const Item& a, const Item& b) {
        if (a.ascii && b.ascii) {
            if (a.p1 != b.p1) return a.p1 < b.p1;
            if (a.p2 != b.p2) return a.p2 < b.p2;
        }
        const int c = CompareCollationKeys(a.entry->SortKey, b.entry->SortKey);
        return c != 0 ? c < 0 : a.index < b.index;
    });
    for (size_t i = 0; i < order.size(); ++i) FEntries[order[i].index].release();
    for (size_t i = 0; i < order.size(); ++i) FEntries[i].reset(order[i].entry);
}

int TNLXInterfaceItem::IndexOfKey(const std::string& key) const {
    for (size_t i = 0; i < FEntries.size(); ++i)
        if (UpperCaseLocale(FEntries[i]->FullName) == key) return static_cast<int>(i);
    return -1;
}

void TNLXInterfaceItem::RenameEntry(TNLXInterface* entry, const std::string& newName) {
    // The slot of this very object: other entries may share its name.
    auto it = std::find_if(FEntries.begin(), FEntries.end(), [&](const auto& e) { return e.get() == entry; });
    if (it == FEntries.end()) return;
    std::unique_ptr<TNLXInterface> owned = std::move(*it);
    FEntries.erase(it);
    owned->SortKey = MakeCollationKey(newName);
    const size_t position = FSorted ? SortedPosition(owned->SortKey) : FEntries.size();
    FEntries.insert(FEntries.begin() + static_cast<ptrdiff_t>(position), std::move(owned));
}

} // namespace elo
