#include "NlxEntries.h"

#include <algorithm>
#include <mutex>

#include "NlxFormat.h"
#include "NlxLibrary.h"
#include "platform/DebugOutput.h"
#include "platform/LockScope.h"
#include "platform/Text.h"

namespace elo {

// ---- TNLXGroupDef --------------------------------------------------------------------

void TNLXGroupDef::Assign(const TNLXGroupDef& other) {
    Name = other.Name;
    Word1 = other.Word1;
    Byte1 = other.Byte1;
    Text2 = other.Text2;
    Byte2 = other.Byte2;
    Text1 = other.Text1;
}

// ---- TNLXCustomSymbolDefs ------------------------------------------------------------------

TNLXCustomSymbolDefs::TNLXCustomSymbolDefs() = default;

TNLXCustomSymbolDefs::TNLXCustomSymbolDefs(TNLXInterface* owner, uint8_t tableIndex)
    : Interface(owner), TableIndex(tableIndex) {
    UpdateFromInterface();
    Empty = false;
}

void TNLXCustomSymbolDefs::UpdateFromInterface() {
    if (!Interface) return;
    TLockScope<TNLXInterface> section(*Interface);
    Word1 = Interface->Word1;
    LibraryName = Interface->Library ? Interface->Library->LibraryName : std::string();
    Kind = Interface->Kind;
    QualifiedName = QualifyReference(Interface->FullName, LibraryName);
}

TNLXSymbolDef* TNLXCustomSymbolDefs::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return Symbols[static_cast<size_t>(index)].get();
}

int TNLXCustomSymbolDefs::Add(std::unique_ptr<TNLXSymbolDef> symbol) {
    Symbols.push_back(std::move(symbol));
    return Count() - 1;
}

TNLXGroupDef* TNLXCustomSymbolDefs::GroupsAt(int index) const {
    if (index < 0 || index >= GroupCount()) throw EListError(index);
    return Groups[static_cast<size_t>(index)].get();
}

void TNLXCustomSymbolDefs::AddGroup(std::unique_ptr<TNLXGroupDef> group) {
    Groups.push_back(std::move(group));
}

int TNLXCustomSymbolDefs::IndexOfGroup(std::string_view name) const {
    for (size_t i = 0; i < Groups.size(); ++i)
        if (SameTextAscii(Groups[i]->Name, name)) return static_cast<int>(i);
    return -1;
}

TNLXGroupDef* TNLXCustomSymbolDefs::FindGroup(std::string_view name) const {
    const int i = IndexOfGroup(name);
    return i < 0 ? nullptr : Groups[static_cast<size_t>(i)].get();
}

TNLXGroupDef* TNLXCustomSymbolDefs::NewGroup(uint8_t tableIndex) {
    auto group = std::make_unique<TNLXGroupDef>(tableIndex);
    group->Generated = true;
    Groups.push_back(std::move(group));
    return Groups.back().get();
}

void TNLXCustomSymbolDefs::Regroup() {
    for (auto& symbol : Symbols) {
        const std::string name = symbol->Group ? symbol->Group->Name : std::string();
        TNLXGroupDef* group = FindGroup(name);
        if (!group) {
            group = NewGroup(TableIndex);
            group->Name = name;
        }
        symbol->Group = group;
    }
}

void TNLXCustomSymbolDefs::DropUnusedGroups() {
    std::vector<std::string> used;
    for (const auto& symbol : Symbols) {
        const std::string name = symbol->Group ? symbol->Group->Name : std::string();
        if (std::none_of(used.begin(), used.end(), [&](const std::string& u) { return SameTextLocale(u, name); }))
            used.push_back(name);
    }
    auto unused = [&](const std::unique_ptr<TNLXGroupDef>& g) {
        return std::none_of(used.begin(), used.end(), [&](const std::string& u) { return SameTextLocale(u, g->Name); });
    };
    Groups.erase(std::remove_if(Groups.begin(), Groups.end(), unused), Groups.end());
}

void TNLXCustomSymbolDefs::ClearSymbols() {
    Symbols.clear();
}

void TNLXCustomSymbolDefs::ClearGroups() {
    for (auto& symbol : Symbols) symbol->Group = nullptr;
    Groups.clear();
}

void TNLXCustomSymbolDefs::Clear() {
    ClearSymbols();
    ClearGroups();
    Empty = true;
}

// ---- TNLXInterface -----------------------------------------------------------------------

// TNLXInterface's Lock is the library's critical section, TNLXInterfaceItem's
// the library's use lock.
using TSectionLock = TLockScope<TNLXInterface>;
using TUseLock = TLockScope<TNLXInterfaceItem>;

TNLXInterface::TNLXInterface(TNLXInterfaceItem* library) : Library(library) {}

TNLXInterface::~TNLXInterface() {
    Destroying = true;
    FDefs0.reset();
    FDefs1.reset();
}

void TNLXInterface::Lock() {
    if (Library) Library->EnterSection();
}

void TNLXInterface::Unlock() {
    if (Library) Library->LeaveSection();
}

std::string TNLXInterface::Name() {
    EnsureHeader();
    return std::string(SplitDottedName(FullName).second);
}

const std::string& TNLXInterface::GetFullName() {
    EnsureHeader();
    return FullName;
}

void TNLXInterface::SetFullName(const std::string& newName) {
    if (newName == FullName) return;
    EnsureHeader();
    if (Library && Listed) Library->RenameEntry(this, newName);
    FullName = newName;
}

void TNLXInterface::SetByte1(uint8_t value) {
    EnsureHeader();
    Byte1 = value;
    Modified = true;
}

TNLXCustomSymbolDefs* TNLXInterface::Defs0() {
    EnsureSymbols();
    return FDefs0.get();
}

TNLXCustomSymbolDefs* TNLXInterface::Defs1() {
    EnsureSymbols();
    return FDefs1.get();
}

TNLXSymbolDef* TNLXInterface::AddSymbolDef0() {
    EnsureSymbols();
    CreateTables();
    InMemory = true;
    auto symbol = std::make_unique<TNLXSymbolDef>(FDefs0.get(), 0);
    TNLXSymbolDef* raw = symbol.get();
    FDefs0->Add(std::move(symbol));
    raw->IsNew = true;
    Modified = true;
    return raw;
}

TNLXSymbolDef* TNLXInterface::AddSymbolDef1() {
    EnsureSymbols();
    CreateTables();
    InMemory = true;
    auto symbol = std::make_unique<TNLXSymbolDef>(FDefs1.get(), 1);
    TNLXSymbolDef* raw = symbol.get();
    FDefs1->Add(std::move(symbol));
    raw->IsNew = true;
    Modified = true;
    SymbolCount1 = static_cast<uint16_t>(FDefs1->Count());
    return raw;
}

void TNLXInterface::CreateTables() {
    if (!FDefs0) FDefs0 = std::make_unique<TNLXCustomSymbolDefs>(this, 0);
    if (!FDefs1) FDefs1 = std::make_unique<TNLXCustomSymbolDefs>(this, 1);
}

void TNLXInterface::ReadHeader() {
    TNLXInterfaceItem& lib = *Library;
    TnlxBufferedStream& stream = *lib.Stream;
    stream.SetPosition(DataOffset);
    if (lib.FormatVersion < 13) {
        ReadEntryHeaderRecord(stream, lib.FormatVersion, lib.LoadLongTexts, *this);
        BodyPosition = static_cast<int32_t>(stream.Position());
    } else {
        const int32_t n =
            ExpandSection(stream, lib.Expanded, lib.InBuffer.data(), lib.OutBuffer.data(), kHeaderSectionLimit);
        BodyPosition = static_cast<int32_t>(stream.Position());
        TByteReader reader(lib.Expanded.Memory(), static_cast<size_t>(n));
        ReadEntryHeaderRecord(reader, lib.FormatVersion, lib.LoadLongTexts, *this);
    }
    SetFullName(NamePrefix + "." + NamePart);
}

void TNLXInterface::EnsureHeader() {
    if (!Library || Library->Loading || Destroying) return;
    TSectionLock section(*this);
    if (InMemory || HeaderLoaded) return;
    HeaderLoaded = true;
    TUseLock use(*Library);
    ReadHeader();
    Defs0()->UpdateFromInterface();
    Defs1()->UpdateFromInterface();
}

void TNLXInterface::EnsureSymbols() {
    if (!Library || Library->Loading || Destroying) return;
    TSectionLock section(*this);
    CreateTables();
    if (InMemory || SymbolsLoaded) return;
    SymbolsLoaded = true;
    InMemory = false;
    TUseLock use(*Library);
    FDefs0->Clear();
    FDefs1->Clear();
    if (!HeaderLoaded || Modified) ReadHeader();
    FDefs0->Symbols.reserve(SymbolCount0);
    FDefs1->Symbols.reserve(SymbolCount1);
    FDefs0->Groups.reserve(GroupCount);
    FDefs1->Groups.reserve(GroupCount);
    ReadBody();
    FDefs0->Empty = false;
    FDefs1->Empty = false;
}

void TNLXInterface::ReadBody() {
    TNLXInterfaceItem& lib = *Library;
    const int v = lib.FormatVersion;
    TnlxBufferedStream& stream = *lib.Stream;
    stream.SetPosition(BodyPosition);
    if (v >= 13) {
        const int32_t n =
            ExpandSection(stream, lib.Expanded, lib.InBuffer.data(), lib.OutBuffer.data(),
                          BodySectionLimit(stream.Size(), GroupCount, int64_t{SymbolCount0} + SymbolCount1));
        TByteReader reader(lib.Expanded.Memory(), static_cast<size_t>(n));
        ReadBodyRecords(reader);
    } else {
        ReadBodyRecords(stream);
    }
}

template <typename Source> void TNLXInterface::ReadBodyRecords(Source& source) {
    TNLXInterfaceItem& lib = *Library;
    const int v = lib.FormatVersion;
    // Groups, with the list that symbols' group indexes point into. Before
    // version 13 the list holds copies, which serve only until regrouping.
    std::vector<TNLXGroupDef*> index;
    std::vector<std::unique_ptr<TNLXGroupDef>> copies;
    if (v >= 9) {
        for (int i = 0; i < GroupCount; ++i) {
            auto group = std::make_unique<TNLXGroupDef>();
            ReadGroupRecord(source, v, *group);
            TNLXCustomSymbolDefs* table = v >= 13 && group->TableIndex == 0 ? FDefs0.get() : FDefs1.get();
            if (v < 15 && table->IndexOfGroup(group->Name) >= 0) continue; // not unique: discarded
            if (v < 13) {
                copies.push_back(std::make_unique<TNLXGroupDef>(*group));
                index.push_back(copies.back().get());
            } else {
                index.push_back(group.get());
            }
            table->AddGroup(std::move(group));
        }
    }
    const int total = SymbolCount0 + SymbolCount1;
    const int count0 = SymbolCount0;
    for (int i = 0; i < total; ++i) {
        TNLXSymbolDef* symbol = i < count0 ? AddSymbolDef0() : AddSymbolDef1();
        ReadSymbolRecord(source, v, lib.LibraryName, *symbol);
        symbol->IsNew = false;
        if (v >= 9 && symbol->GroupIndex >= 0 && static_cast<size_t>(symbol->GroupIndex) < index.size()) {
            symbol->Group = index[static_cast<size_t>(symbol->GroupIndex)];
        } else {
            DebugOutput("IIIGGGGGG!!!");
            symbol->Group = nullptr;
        }
    }
    if (v < 14) {
        // A symbol's group index points into one list shared by both tables, so
        // a symbol of one table may still hold a group of the other. Both
        // tables give their symbols groups of their own before either drops
        // the groups it no longer uses: no symbol is left holding a freed group.
        for (TNLXCustomSymbolDefs* table : {FDefs0.get(), FDefs1.get()}) table->Regroup();
        for (TNLXCustomSymbolDefs* table : {FDefs0.get(), FDefs1.get()}) table->DropUnusedGroups();
    }
    GroupCount = static_cast<uint16_t>(FDefs0->GroupCount() + FDefs1->GroupCount());
}

} // namespace elo
