#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "nlxintf/nlxintf.h"
#include "platform/MessageHook.h"
#include "support/NlxWriter.h"
#include "support/TestFiles.h"

using namespace elo;
using namespace elo::test;
namespace fs = std::filesystem;

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "x");
        fs::create_directories(dir / "y");
        LibraryWaits = {0, 0, 0};
    }
    void TearDown() override {
        registry.reset(); // stops the watchers before their directories go
        LibraryWaits = {};
    }
    // A library of n entries (kinds as given, or all 10).
    std::string Library(const std::string& relative, int n, std::vector<uint8_t> kinds = {}) {
        NlxLibrarySpec plan;
        for (int i = 0; i < n; ++i)
            plan.Entries.push_back(
                SimpleEntry("P", "E" + std::to_string(i), kinds.empty() ? 10 : kinds[static_cast<size_t>(i)]));
        const std::string path = (dir / relative).string();
        std::ofstream(path, std::ios::binary) << WriteNlx(plan);
        return path;
    }
    TTestDir scratch{"elo-reg"};
    fs::path dir = scratch.Path();
    std::unique_ptr<TNLXInterfaces> registry = std::make_unique<TNLXInterfaces>();
};

} // namespace

TEST_F(Registry, LibrariesAreFoundByBaseNameAcrossDirectories) {
    const std::string first = Library("y/a.nlx", 2);
    Library("x/A.nlx", 7);
    registry->LockLibrary(first);
    TNLXInterfaceItem* library = registry->Current;
    EXPECT_EQ(registry->Count(), 2);
    registry->UnlockLibrary();
    registry->LockLibrary((dir / "x/A.nlx").string());
    EXPECT_EQ(registry->Current, library); // not reopened from the other directory
    EXPECT_EQ(registry->Count(), 2);
    registry->UnlockLibrary();
    EXPECT_EQ(registry->SlotCount, 1);
}

TEST_F(Registry, ASixthLibraryEvictsTheOneWithFewestEntries) {
    const int sizes[] = {3, 1, 7, 1, 2};
    for (int i = 0; i < 5; ++i) {
        registry->LockLibrary(Library("lib" + std::to_string(i) + ".nlx", sizes[i]));
        registry->UnlockLibrary();
    }
    TNLXInterfaceItem* kept[5];
    for (int i = 0; i < 5; ++i) kept[i] = registry->Slots[static_cast<size_t>(i)].get();
    registry->LockLibrary(Library("sixth.nlx", 4));
    registry->UnlockLibrary();
    EXPECT_EQ(registry->SlotCount, 5);
    EXPECT_EQ(registry->Slots[1]->LibraryName, "sixth"); // the first of the two with 1 entry
    for (int i : {0, 2, 3, 4}) EXPECT_EQ(registry->Slots[static_cast<size_t>(i)].get(), kept[i]);
}

TEST_F(Registry, CountWithoutALibraryAndAFailedLock) {
    try {
        registry->Count();
        FAIL();
    } catch (const TNLXInterfaceError& e) {
        EXPECT_EQ(e.Message, "No Current Interface");
    }
    registry->LockLibrary(Library("good.nlx", 1));
    registry->UnlockLibrary();
    EXPECT_THROW(registry->LockLibrary((dir / "missing.nlx").string()), TNLXInterfaceError);
    EXPECT_EQ(registry->Current, nullptr);
    EXPECT_EQ(registry->SlotCount, 1);
    // The section is free again: another thread can take it at once.
    bool taken = false;
    std::thread([&] {
        taken = registry->Section.try_lock();
        if (taken) registry->Section.unlock();
    }).join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(InterfaceMutex().HeldByThisThread(), false);
}

TEST_F(Registry, TheKeywordPickersWalkReadsHeadersOfKind10Only) {
    registry->LockLibrary(Library("kinds.nlx", 3, {10, 3, 10}));
    std::vector<std::string> names;
    for (int i = 0; i < registry->Count(); ++i) {
        TNLXInterface* entry = registry->Items(i);
        if (entry->Kind == 10) names.push_back(entry->Name());
    }
    registry->UnlockLibrary();
    EXPECT_EQ(names, (std::vector<std::string>{"E0", "E2"}));
    EXPECT_TRUE(registry->Slots[0]->EntryAt(0)->HeaderLoaded);
    EXPECT_FALSE(registry->Slots[0]->EntryAt(1)->HeaderLoaded);
    EXPECT_TRUE(registry->Slots[0]->EntryAt(2)->HeaderLoaded);
    EXPECT_EQ(registry->Slots[0]->UseCount, 0);
}

TEST_F(Registry, ChangesAreAnnouncedAndTheSubsystemStartsAndStops) {
    registry->LockLibrary(Library("n.nlx", 1));
    registry->UnlockLibrary();
    TNLXInterfaceItem* seen = nullptr;
    registry->NotifyChanged(registry->Slots[0].get()); // nobody listens: nothing happens
    registry->OnLibraryChanged = [&](TNLXInterfaceItem* item) { seen = item; };
    registry->NotifyChanged(registry->Slots[0].get());
    EXPECT_EQ(seen, registry->Slots[0].get());

    NlxInterfacesStartup();
    TNLXInterfaces& global = NLXInterfaces();
    EXPECT_EQ(&global, &NLXInterfaces());
    global.LockLibrary(Library("global.nlx", 2));
    global.UnlockLibrary();
    std::string shown;
    auto previous = SetMessageBoxHook([&](const std::string& t, const std::string&) { shown = t; });
    NlxInterfacesShutdown();
    SetMessageBoxHook(previous);
    EXPECT_EQ(shown, ""); // stopped without a failure
}
