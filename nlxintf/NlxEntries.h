// Interface entries and their symbol definitions. A library's directory load
// creates every entry with only its full name, kind, omit flag and data offset;
// the header is read on the first use of a header property, the two symbol
// tables when a table is asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace elo {

class TNLXInterface;
class TNLXCustomSymbolDefs;
class TNLXInterfaceItem;

class TNLXGroupDef {
public:
    explicit TNLXGroupDef(uint8_t tableIndex = 1) : TableIndex(tableIndex) {}
    // Copies Name, Word1, Byte1, Text2, Byte2 and Text1; TableIndex and
    // Generated stay.
    void Assign(const TNLXGroupDef& other);

    bool Generated = false; // made by regrouping
    std::string Name;
    int16_t Word1 = 0;
    uint8_t Byte1 = 0;
    uint8_t TableIndex;
    uint8_t Byte2 = 0;
    std::string Text1;
    std::string Text2;
};

class TNLXSymbolDef {
public:
    TNLXSymbolDef(TNLXCustomSymbolDefs* table, uint8_t tableIndex) : Table(table), TableIndex(tableIndex) {}

    TNLXCustomSymbolDefs* Table;
    std::string Text1, Name, Reference;
    uint8_t Byte1 = 0;
    uint16_t Word1 = 0;
    uint16_t Flags = 0; // 0x10: not null
    uint8_t Byte2 = 0;
    std::string Text2, Text4, Text5, Text3, GroupName;
    uint16_t Word2 = 0;
    std::string Text6, Text7, Text8;
    uint8_t Byte3 = 0;
    uint8_t TableIndex;
    TNLXGroupDef* Group = nullptr; // a group of the same table, or none
    std::string Text9, Text10;
    bool IsNew = false;
    std::string Text11, Text12;
    uint8_t Byte4 = 0;
    std::string Text13;
    uint8_t Byte5 = 0;
    int16_t GroupIndex = -1; // as read (version 9 and later)
};

class TNLXCustomSymbolDefs {
public:
    // A table without an entry: TableIndex 2, empty.
    TNLXCustomSymbolDefs();
    TNLXCustomSymbolDefs(TNLXInterface* owner, uint8_t tableIndex);

    void UpdateFromInterface();
    int Count() const { return static_cast<int>(Symbols.size()); }
    TNLXSymbolDef* Items(int index) const;
    int Add(std::unique_ptr<TNLXSymbolDef> symbol);
    int GroupCount() const { return static_cast<int>(Groups.size()); }
    TNLXGroupDef* GroupsAt(int index) const;
    void AddGroup(std::unique_ptr<TNLXGroupDef> group);
    // The first group named name (ASCII letter case ignored), or -1 / null.
    int IndexOfGroup(std::string_view name) const;
    TNLXGroupDef* FindGroup(std::string_view name) const;
    TNLXGroupDef* NewGroup(uint8_t tableIndex);
    // Gives every symbol the table's group of its group's name, creating
    // generated groups as needed.
    void Regroup();
    // Frees every group whose name no symbol's group carries.
    void DropUnusedGroups();
    void ClearSymbols();
    void ClearGroups();
    void Clear();

    TNLXInterface* Interface = nullptr;
    std::vector<std::unique_ptr<TNLXGroupDef>> Groups;
    std::vector<std::unique_ptr<TNLXSymbolDef>> Symbols;
    std::string LibraryName;
    std::string QualifiedName;
    uint8_t TableIndex = 2;
    int32_t Word1 = 0;
    uint8_t Kind = 0;
    bool Empty = true;
};

class TNLXInterface {
public:
    explicit TNLXInterface(TNLXInterfaceItem* library);
    ~TNLXInterface();
    TNLXInterface(const TNLXInterface&) = delete;
    TNLXInterface& operator=(const TNLXInterface&) = delete;

    // Lazily loaded views. Kind is read without any load (a field).
    std::string Name();               // EnsureHeader, then the part after the last "."
    const std::string& GetFullName(); // EnsureHeader, then FullName
    void SetFullName(const std::string& newName);
    void SetByte1(uint8_t value);
    TNLXCustomSymbolDefs* Defs0(); // EnsureSymbols, then the table
    TNLXCustomSymbolDefs* Defs1();
    TNLXSymbolDef* AddSymbolDef0();
    TNLXSymbolDef* AddSymbolDef1();
    void Lock(); // the library's critical section
    void Unlock();

    void EnsureHeader();
    void EnsureSymbols();

    // Fields, in the order of the data model.
    bool Destroying = false;
    uint8_t Kind = 0;
    TNLXInterfaceItem* Library;
    uint16_t SymbolCount0 = 0, SymbolCount1 = 0;
    uint16_t GroupCount = 0;
    std::unique_ptr<TNLXCustomSymbolDefs> FDefs0, FDefs1;
    std::string FullName;
    int16_t ListIndex = 0;
    std::string Text1;
    std::string LongText;
    uint16_t Word1 = 0;
    uint16_t Word0 = 0;
    uint8_t Byte1 = 0;
    uint8_t Byte2 = 0;
    uint8_t OmitFlag = 0;
    int32_t DataOffset = 0;
    int32_t BodyPosition = 0;
    bool InMemory = false;
    bool SymbolsLoaded = false;
    bool HeaderLoaded = false;
    uint32_t LastAccess = 0;
    bool Modified = false;
    std::string Text2;
    uint8_t Byte3 = 1;
    // The two parts of the header's name, from which FullName is made.
    std::string NamePrefix, NamePart;
    // The entry stands in its library's name list (set by AddEntry), sorted by
    // the collator's order of its upper-case FullName, kept here.
    bool Listed = false;
    TCollationKey SortKey;

private:
    void ReadHeader();
    void ReadBody();
    template <typename Source> void ReadBodyRecords(Source& source);
    void CreateTables();
};

} // namespace elo
