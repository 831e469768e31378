// The process-wide registry of open interface libraries: up to five, found by
// base name or opened, one made current and held under a lock while a caller
// walks its entries.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "NlxLibrary.h"

namespace elo {

inline constexpr int kRegistrySlots = 5;

class TNLXInterfaces;

// A library locked in the registry for a scope: UnlockLibrary when it ends.
class [[nodiscard]] TLibraryUse {
public:
    explicit TLibraryUse(TNLXInterfaces& registry) : FRegistry(&registry) {}
    TLibraryUse(TLibraryUse&& other) noexcept : FRegistry(std::exchange(other.FRegistry, nullptr)) {}
    TLibraryUse& operator=(TLibraryUse&&) = delete;
    ~TLibraryUse();

private:
    TNLXInterfaces* FRegistry;
};

class TNLXInterfaces {
public:
    TNLXInterfaces() = default;
    ~TNLXInterfaces(); // frees every library under Section
    TNLXInterfaces(const TNLXInterfaces&) = delete;
    TNLXInterfaces& operator=(const TNLXInterfaces&) = delete;

    // Finds or opens the library and makes it current; on success the calling
    // thread holds Section and the library's use lock until UnlockLibrary.
    void LockLibrary(const std::string& libraryName);
    void UnlockLibrary();
    // LockLibrary for a scope: the registry is unlocked when the guard goes.
    TLibraryUse UseLibrary(const std::string& libraryName);
    // The current library's entry count; "No Current Interface" without one.
    int Count();
    // The current library's entry at index (in its sorted order), LastAccess stamped.
    TNLXInterface* Items(int index);
    TNLXInterfaceItem* InternalGetItem(const std::string& fileName);
    void NotifyChanged(TNLXInterfaceItem* item);
    std::unique_ptr<TNLXInterfaceItem> MakeItem();

    std::recursive_mutex Section;
    int SlotCount = 0; // used slots, 0..5
    std::array<std::unique_ptr<TNLXInterfaceItem>, kRegistrySlots> Slots;
    TNLXInterfaceItem* Current = nullptr;
    std::function<void(TNLXInterfaceItem* item)> OnLibraryChanged;
};

// The one registry, made on first use (safe from any thread).
TNLXInterfaces& NLXInterfaces();

// The subsystem's start and stop steps: at start the registry pointer is
// cleared, the named mutex made ready and the switches set; at stop the
// registry and its libraries are freed ("Erro liberando lista de interfaces" in
// a message box when that fails).
void NlxInterfacesStartup();
void NlxInterfacesShutdown();

} // namespace elo
