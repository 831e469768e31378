#include "NlxRegistry.h"

#include "platform/DebugOutput.h"
#include "platform/Files.h"
#include "platform/MessageHook.h"

namespace elo {

namespace {
std::mutex gCreation;
TNLXInterfaces* gRegistry = nullptr;

std::string BaseName(const std::string& path) {
    return ChangeFileExt(ExtractFileName(path), "");
}
} // namespace

TLibraryUse::~TLibraryUse() {
    if (!FRegistry) return;
    try {
        FRegistry->UnlockLibrary(); // lets go of the registry whatever happens
    } catch (const std::exception& e) {
        DebugOutput(std::string("UnlockLibrary: ") + e.what());
    }
}

TNLXInterfaces& NLXInterfaces() {
    std::lock_guard lock(gCreation);
    if (!gRegistry) gRegistry = new TNLXInterfaces;
    return *gRegistry;
}

TNLXInterfaces::~TNLXInterfaces() {
    std::lock_guard lock(Section);
    Current = nullptr;
    // No library may reload while the others go: stopping one watcher serves the
    // calls other watchers have pending, and those must find no handler.
    for (auto& slot : Slots)
        if (slot && slot->Watcher) slot->Watcher->SetOnChange(nullptr);
    for (auto& slot : Slots) slot.reset();
    SlotCount = 0;
}

void TNLXInterfaces::LockLibrary(const std::string& libraryName) {
    std::unique_lock section(Section);
    InternalGetItem(libraryName);
    Current->Lock();
    section.release(); // held until UnlockLibrary
}

void TNLXInterfaces::UnlockLibrary() {
    std::unique_lock section(Section, std::adopt_lock); // let go of whatever happens
    if (Current) Current->Unlock();
}

TLibraryUse TNLXInterfaces::UseLibrary(const std::string& libraryName) {
    LockLibrary(libraryName);
    return TLibraryUse(*this);
}

int TNLXInterfaces::Count() {
    std::lock_guard lock(Section);
    if (!Current) throw TNLXInterfaceError("No Current Interface");
    return Current->EntryCount;
}

TNLXInterface* TNLXInterfaces::Items(int index) {
    std::lock_guard lock(Section);
    if (!Current) throw TNLXInterfaceError("No Current Interface");
    return Current->EntryAt(index);
}

void TNLXInterfaces::NotifyChanged(TNLXInterfaceItem* item) {
    std::lock_guard lock(Section);
    if (OnLibraryChanged) OnLibraryChanged(item);
}

std::unique_ptr<TNLXInterfaceItem> TNLXInterfaces::MakeItem() {
    // A library this registry holds reloads under its section and tells it.
    return std::make_unique<TNLXInterfaceItem>(
        false, LibraryOptions, TLibraryOwner{&Section, [this](TNLXInterfaceItem* item) { NotifyChanged(item); }});
}

TNLXInterfaceItem* TNLXInterfaces::InternalGetItem(const std::string& fileName) {
    std::lock_guard lock(Section);
    Current = nullptr;
    const std::string key = BaseName(fileName);
    TNLXInterfaceItem* result = nullptr;
    // By base name: a library already open is not reopened from another directory.
    for (int i = 0; i < SlotCount && !result; ++i)
        if (SameTextLocale(BaseName(Slots[static_cast<size_t>(i)]->Path), key))
            result = Slots[static_cast<size_t>(i)].get();
    if (!result && SlotCount < kRegistrySlots) {
        auto item = MakeItem();
        item->Open(fileName); // freed and raised again on failure
        if (SlotCount >= kRegistrySlots) throw Exception("No more room to alocate interface library");
        result = item.get();
        Slots[static_cast<size_t>(SlotCount++)] = std::move(item);
    } else if (!result) {
        // Full: the library with the fewest entries goes (the lowest slot on ties).
        int chosen = 0;
        for (int i = 1; i < kRegistrySlots; ++i)
            if (Slots[static_cast<size_t>(i)]->EntryCount < Slots[static_cast<size_t>(chosen)]->EntryCount) chosen = i;
        auto item = MakeItem();
        item->Open(fileName);
        result = item.get();
        Slots[static_cast<size_t>(chosen)] = std::move(item); // frees the old one, its entries and watcher
    }
    Current = result;
    if (!Current)
        throw TNLXInterfaceError("Error at TNLXInterfaces.InternalGetItem. Could not get item to " + fileName);
    return Current;
}

void NlxInterfacesStartup() {
    {
        std::lock_guard lock(gCreation);
        gRegistry = nullptr;
    }
    (void)InterfaceMutex(); // the named mutex, created or opened
    LibraryOptions = {};
}

void NlxInterfacesShutdown() {
    try {
        TNLXInterfaces* registry = nullptr;
        {
            std::lock_guard lock(gCreation);
            registry = gRegistry;
            gRegistry = nullptr;
        }
        delete registry; // each library stops its watcher and frees its entries
    } catch (...) {
        ShowMessageBox("Erro liberando lista de interfaces", "");
    }
}

} // namespace elo
