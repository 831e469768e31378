// Verbs of interface libraries: nlx list, nlx show, nlx expand.
#include <fstream>
#include <sstream>

#include "Tool.h"
#include "nlxintf/nlxintf.h"
#include "platform/Files.h"
#include "platform/LockScope.h"
#include "platform/ScopeExit.h"

namespace elo::tool {

namespace {

// A batch tool must not sit for 40 seconds on a typo: without --wait a missing
// library fails at once.
void SetWaiting(bool wait) {
    LibraryWaits = wait ? TLibraryWaits{} : TLibraryWaits{0, 0, 0};
}

json EntryJson(TNLXInterface& e) {
    return {{"fullName", Out(e.FullName)},
            {"kind", e.Kind},
            {"dataOffset", e.DataOffset},
            {"omitFlag", e.OmitFlag},
            {"listIndex", e.ListIndex}};
}

std::string List(const std::string& lib) {
    TNLXInterfaceItem library(false);
    library.Open(In(lib));
    json entries = json::array();
    for (int i = 0; i < library.EntryCount; ++i) entries.push_back(EntryJson(*library.EntryAt(i)));
    return json{{"path", Out(library.Path)}, {"formatVersion", library.FormatVersion}, {"entries", entries}}.dump();
}

json TableJson(TNLXCustomSymbolDefs& t) {
    json groups = json::array();
    for (int i = 0; i < t.GroupCount(); ++i) {
        const TNLXGroupDef& g = *t.GroupsAt(i);
        groups.push_back({{"name", Out(g.Name)},
                          {"word1", g.Word1},
                          {"byte1", g.Byte1},
                          {"tableIndex", g.TableIndex},
                          {"byte2", g.Byte2},
                          {"text1", Out(g.Text1)},
                          {"text2", Out(g.Text2)},
                          {"generated", g.Generated}});
    }
    json symbols = json::array();
    for (int i = 0; i < t.Count(); ++i) {
        const TNLXSymbolDef& s = *t.Items(i);
        symbols.push_back({{"name", Out(s.Name)},
                           {"byte1", s.Byte1},
                           {"word1", s.Word1},
                           {"flags", s.Flags},
                           {"byte2", s.Byte2},
                           {"text1", Out(s.Text1)},
                           {"groupName", Out(s.GroupName)},
                           {"text2", Out(s.Text2)},
                           {"text3", Out(s.Text3)},
                           {"text4", Out(s.Text4)},
                           {"text5", Out(s.Text5)},
                           {"text6", Out(s.Text6)},
                           {"reference", Out(s.Reference)},
                           {"word2", s.Word2},
                           {"text7", Out(s.Text7)},
                           {"text8", Out(s.Text8)},
                           {"byte3", s.Byte3},
                           {"text9", Out(s.Text9)},
                           {"text10", Out(s.Text10)},
                           {"text11", Out(s.Text11)},
                           {"text12", Out(s.Text12)},
                           {"byte4", s.Byte4},
                           {"text13", Out(s.Text13)},
                           {"byte5", s.Byte5},
                           {"tableIndex", s.TableIndex},
                           {"group", s.Group ? json(Out(s.Group->Name)) : json(nullptr)}});
    }
    return {{"tableIndex", t.TableIndex},
            {"qualifiedName", Out(t.QualifiedName)},
            {"libraryName", Out(t.LibraryName)},
            {"groups", groups},
            {"symbols", symbols}};
}

std::string Show(const std::string& lib, const std::string& which) {
    TNLXInterfaceItem library(false);
    library.Open(In(lib));
    const std::string wanted = In(which);
    TNLXInterface* entry = nullptr;
    const bool number = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    if (number) {
        const long long index = std::stoll(wanted.size() > 12 ? std::string("999999999999") : wanted);
        if (index >= library.EntryCount) throw Exception("Entry index out of range: " + wanted);
        entry = library.EntryAt(static_cast<int>(index));
    } else {
        for (int i = 0; i < library.EntryCount && !entry; ++i)
            if (SameTextLocale(library.EntryAt(i)->FullName, wanted)) entry = library.EntryAt(i);
        if (!entry) throw Exception("Entry not found: " + wanted);
    }
    TLockScope<TNLXInterfaceItem> use(library); // one use for the whole entry: the file is opened once
    entry->EnsureHeader();
    {
        json doc = {{"fullName", Out(entry->FullName)},
                    {"name", Out(entry->Name())},
                    {"kind", entry->Kind},
                    {"text1", Out(entry->Text1)},
                    {"text2", Out(entry->Text2)},
                    {"longText", Out(entry->LongText)},
                    {"word0", entry->Word0},
                    {"word1", entry->Word1},
                    {"byte1", entry->Byte1},
                    {"byte2", entry->Byte2},
                    {"byte3", entry->Byte3},
                    {"omitFlag", entry->OmitFlag},
                    {"symbolCount0", entry->SymbolCount0},
                    {"symbolCount1", entry->SymbolCount1},
                    {"groupCount", entry->GroupCount}};
        doc["tables"] = json::array({TableJson(*entry->Defs0()), TableJson(*entry->Defs1())});
        return doc.dump();
    }
}

std::string Expand(const std::string& in, const std::string& out) {
    TFileStream source(in, fmOpenRead | fmShareDenyWrite);
    TMemoryStream expanded;
    std::vector<unsigned char> inBuffer(kBlockSize + kBlockSlack), outBuffer(kBlockSize + kBlockSlack);
    const int32_t n = ExpandSection(source, expanded, inBuffer.data(), outBuffer.data());
    TFileStream target(out, fmCreate);
    target.WriteBuffer(expanded.Memory(), n);
    return json{{"expanded", n}}.dump();
}

// The registry walk of the keyword picker: the names of the entries of kind 10,
// in the registry's order, under the registry's lock.
std::string Keywords(const std::string& lib) {
    NlxInterfacesStartup();
    TScopeExit shutdown([] { NlxInterfacesShutdown(); });
    json keywords = json::array();
    TNLXInterfaces& registry = NLXInterfaces();
    {
        const TLibraryUse use = registry.UseLibrary(In(lib));
        const int count = registry.Count();
        for (int i = 0; i < count; ++i) {
            TNLXInterface* entry = registry.Items(i);
            if (entry->Kind == 10) keywords.push_back(Out(entry->Name()));
        }
    }
    return json{{"keywords", keywords}}.dump();
}

} // namespace

void RegisterNlxVerbs(CLI::App& app, Action& action) {
    struct Args {
        std::string lib, entry, in, out;
        bool wait = false;
    };
    auto a = std::make_shared<Args>();
    CLI::App* nlx = app.add_subcommand("nlx", "Interface libraries");
    nlx->require_subcommand(1);

    CLI::App* list = nlx->add_subcommand("list", "The entries of LIB in the library's sorted order");
    list->add_flag("--wait", a->wait, "Wait for a missing library file as the editor does");
    list->add_option("LIB", a->lib, "Library name or path")->required();
    list->callback([a, &action] {
        action = [a] {
            SetWaiting(a->wait);
            return List(a->lib);
        };
    });

    CLI::App* show = nlx->add_subcommand("show", "The header and tables of one entry of LIB");
    show->add_flag("--wait", a->wait, "Wait for a missing library file as the editor does");
    show->add_option("LIB", a->lib, "Library name or path")->required();
    show->add_option("ENTRY", a->entry, "Full name (letter case ignored) or 0-based index")->required();
    show->callback([a, &action] {
        action = [a] {
            SetWaiting(a->wait);
            return Show(a->lib, a->entry);
        };
    });

    CLI::App* keywords = nlx->add_subcommand("keywords", "What the keyword picker lists for LIB");
    keywords->add_flag("--wait", a->wait, "Wait for a missing library file as the editor does");
    keywords->add_option("LIB", a->lib, "Library name or path")->required();
    keywords->callback([a, &action] {
        action = [a] {
            SetWaiting(a->wait);
            return Keywords(a->lib);
        };
    });

    CLI::App* expand = nlx->add_subcommand("expand", "Expand the compressed section at the start of IN into OUT");
    expand->add_option("IN", a->in, "A file starting with a compressed section")->required();
    expand->add_option("OUT", a->out, "Where the expanded bytes go")->required();
    expand->callback([a, &action] { action = [a] { return Expand(a->in, a->out); }; });
}

} // namespace elo::tool
