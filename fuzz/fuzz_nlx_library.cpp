// Arbitrary bytes as an interface library: the directory, then every entry's
// header, groups and symbols. Corrupt data may only end in TNLXInterfaceError.
#include <cstddef>
#include <cstdint>

#include "nlxintf/nlxintf.h"
#include "platform/Resources.h"

using namespace elo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes are found as an embedded library: no file is written.
    RegisterResource(kLibraryResourceType, "FUZZ", data, size);
    LibraryWaits = {0, 0, 0};
    LibraryOptions.LoadLongTexts = size > 0 && (data[size - 1] & 1);
    try {
        TNLXInterfaceItem library(false);
        library.Open("FUZZ");
        for (int i = 0; i < library.EntryCount; ++i) {
            TNLXInterface* entry = library.EntryAt(i);
            try {
                (void)entry->Name();
                for (TNLXCustomSymbolDefs* table : {entry->Defs0(), entry->Defs1()}) {
                    for (int s = 0; s < table->Count(); ++s) {
                        const TNLXSymbolDef* symbol = table->Items(s);
                        if (symbol->Group) (void)symbol->Group->Name.size();
                    }
                    for (int g = 0; g < table->GroupCount(); ++g) (void)table->GroupsAt(g)->Name;
                }
            } catch (const TNLXInterfaceError&) {
            }
        }
    } catch (const TNLXInterfaceError&) {
    }
    UnregisterResource(kLibraryResourceType, "FUZZ");
    return 0;
}
