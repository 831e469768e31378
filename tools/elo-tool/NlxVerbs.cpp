// Verbs of interface libraries: nlx list, nlx show, nlx expand.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Tool.h"
#include "nlxintf/nlxintf.h"
#include "platform/Files.h"
#include "platform/LockScope.h"
#include "platform/SafeSave.h"
#include "platform/ScopeExit.h"

namespace elo::tool {

namespace {

// A batch tool must not sit for 40 seconds on a typo: without --wait a missing
// library fails at once.
// Nor may it wait forever for the library lock that another program holds:
// without --wait, 10 s (ELO_LOCK_WAIT_MS sets another bound, at most a day),
// then the lock is named in the error. --wait is the editor's wait, without
// a bound, on purpose.
constexpr long long kDayMs = 24LL * 60 * 60 * 1000;

// ELO_LOCK_WAIT_MS as a count of milliseconds (clamped to a day); -1 when not
// set. Anything but decimal digits is a usage error.
long long LockWaitFromEnvironment() {
    const char* value = std::getenv("ELO_LOCK_WAIT_MS");
    if (!value || !*value) return -1;
    const std::string text = value;
    if (text.find_first_not_of("0123456789") != std::string::npos)
        throw CLI::ValidationError("ELO_LOCK_WAIT_MS",
                                   "must be a decimal count of milliseconds, not '" + TerminalText(text) + "'");
    // More digits than a day has can only mean more than a day.
    if (text.size() > 12) return kDayMs;
    return std::min(std::stoll(text), kDayMs);
}

void SetWaiting(bool wait, long long lockWaitMs) {
    LibraryWaits = wait ? TLibraryWaits{} : TLibraryWaits{0, 0, 0};
    if (!wait) LibraryWaits.LockWaitMs = lockWaitMs >= 0 ? lockWaitMs : 10000;
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
    library.Open(lib); // a file name: the system's bytes, as given
    json entries = json::array();
    for (int i = 0; i < library.EntryCount; ++i) entries.push_back(EntryJson(*library.EntryAt(i)));
    return json{{"path", library.Path}, {"formatVersion", library.FormatVersion}, {"entries", entries}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
}

// The members of an object as JSON, without its braces.
std::string Members(const json& object) {
    std::string text = object.dump(-1, ' ', false, json::error_handler_t::replace);
    return text.substr(1, text.size() - 2);
}

// One table into out, a symbol at a time: the tables of an entry can be
// far larger as JSON than the library itself.
void WriteTable(TOutput& out, TNLXCustomSymbolDefs& t) {
    auto dump = [](const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); };
    out.Append("{\"groups\":[");
    for (int i = 0; i < t.GroupCount(); ++i) {
        const TNLXGroupDef& g = *t.GroupsAt(i);
        const json group = {{"name", Out(g.Name)},        {"word1", g.Word1},        {"byte1", g.Byte1},
                            {"tableIndex", g.TableIndex}, {"byte2", g.Byte2},        {"text1", Out(g.Text1)},
                            {"text2", Out(g.Text2)},      {"generated", g.Generated}};
        out.Append((i > 0 ? "," : "") + dump(group));
    }
    // The members in the order a whole document would have them (by name).
    const json names = {{"libraryName", Out(t.LibraryName)}, {"qualifiedName", Out(t.QualifiedName)}};
    out.Append("]," + Members(names) + ",\"symbols\":[");
    for (int i = 0; i < t.Count(); ++i) {
        const TNLXSymbolDef& s = *t.Items(i);
        const json symbol = {{"name", Out(s.Name)},
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
                             {"group", s.Group ? json(Out(s.Group->Name)) : json(nullptr)}};
        out.Append((i > 0 ? "," : "") + dump(symbol));
    }
    out.Append("],\"tableIndex\":" + std::to_string(t.TableIndex) + "}");
}

std::string Show(const std::string& lib, const std::string& which) {
    TNLXInterfaceItem library(false);
    library.Open(lib); // a file name: the system's bytes, as given
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
    // Everything that can fail is done before the document begins.
    TNLXCustomSymbolDefs& defs0 = *entry->Defs0();
    TNLXCustomSymbolDefs& defs1 = *entry->Defs1();
    // The members in the order a whole document would have them (by name).
    const json head = {{"byte1", entry->Byte1},
                       {"byte2", entry->Byte2},
                       {"byte3", entry->Byte3},
                       {"fullName", Out(entry->FullName)},
                       {"groupCount", entry->GroupCount},
                       {"kind", entry->Kind},
                       {"longText", Out(entry->LongText)},
                       {"name", Out(entry->Name())},
                       {"omitFlag", entry->OmitFlag},
                       {"symbolCount0", entry->SymbolCount0},
                       {"symbolCount1", entry->SymbolCount1}};
    const json tail = {
        {"text1", Out(entry->Text1)}, {"text2", Out(entry->Text2)}, {"word0", entry->Word0}, {"word1", entry->Word1}};
    TOutput& out = Output();
    out.Append("{" + Members(head) + ",\"tables\":[");
    WriteTable(out, defs0);
    out.Append(",");
    WriteTable(out, defs1);
    out.Append("]," + Members(tail) + "}\n");
    return {};
}

std::string Expand(const std::string& in, const std::string& out) {
    // IN and OUT the same file (by any of its names): refused before anything is touched.
    struct stat a {
    }, b{};
    if (::stat(in.c_str(), &a) == 0 && ::stat(out.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        throw Exception("IN and OUT are the same file: " + FileNameText(out));
    TFileStream source(in, fmOpenRead | fmShareDenyWrite); // its lock, before OUT is written
    std::vector<unsigned char> inBuffer(kBlockSize + kBlockSlack), outBuffer(kBlockSize + kBlockSlack);
    int64_t n = 0;
    // Block by block into OUT, which is written as every save is.
    SaveFileSafely(out, [&](TFileWriter& writer) {
        n = ExpandSectionTo(
            source,
            [&](const unsigned char* bytes, int32_t count) {
                writer.Append(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count)));
            },
            inBuffer.data(), outBuffer.data());
    });
    return json{{"expanded", n}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The registry walk of the keyword picker: the names of the entries of kind 10,
// in the registry's order, under the registry's lock.
std::string Keywords(const std::string& lib) {
    NlxInterfacesStartup();
    TScopeExit shutdown([] { NlxInterfacesShutdown(); });
    json keywords = json::array();
    TNLXInterfaces& registry = NLXInterfaces();
    {
        const TLibraryUse use = registry.UseLibrary(lib);
        const int count = registry.Count();
        for (int i = 0; i < count; ++i) {
            TNLXInterface* entry = registry.Items(i);
            if (entry->Kind == 10) keywords.push_back(Out(entry->Name()));
        }
    }
    return json{{"keywords", keywords}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

void RegisterNlxVerbs(CLI::App& app, Action& action) {
    struct Args {
        std::string lib, entry, in, out;
        bool wait = false;
    };
    auto a = std::make_shared<Args>();
    const char* const waitHelp = "Wait as the editor does: for a missing library file, and for the library lock "
                                 "without a time limit (otherwise ELO_LOCK_WAIT_MS, default 10000)";
    CLI::App* nlx = app.add_subcommand("nlx", "Interface libraries");
    nlx->require_subcommand(1);

    CLI::App* list = nlx->add_subcommand("list", "The entries of LIB in the library's sorted order");
    list->add_flag("--wait", a->wait, waitHelp);
    list->add_option("LIB", a->lib, "Library name or path")->required();
    list->callback([a, &action] {
        const long long lockWaitMs = LockWaitFromEnvironment(); // refused while the arguments are read
        action = [a, lockWaitMs] {
            SetWaiting(a->wait, lockWaitMs);
            return List(a->lib);
        };
    });

    CLI::App* show = nlx->add_subcommand("show", "The header and tables of one entry of LIB");
    show->add_flag("--wait", a->wait, waitHelp);
    show->add_option("LIB", a->lib, "Library name or path")->required();
    show->add_option("ENTRY", a->entry, "Full name (letter case ignored) or 0-based index")->required();
    show->callback([a, &action] {
        const long long lockWaitMs = LockWaitFromEnvironment(); // refused while the arguments are read
        action = [a, lockWaitMs] {
            SetWaiting(a->wait, lockWaitMs);
            return Show(a->lib, a->entry);
        };
    });

    CLI::App* keywords = nlx->add_subcommand("keywords", "What the keyword picker lists for LIB");
    keywords->add_flag("--wait", a->wait, waitHelp);
    keywords->add_option("LIB", a->lib, "Library name or path")->required();
    keywords->callback([a, &action] {
        const long long lockWaitMs = LockWaitFromEnvironment(); // refused while the arguments are read
        action = [a, lockWaitMs] {
            SetWaiting(a->wait, lockWaitMs);
            return Keywords(a->lib);
        };
    });

    CLI::App* expand = nlx->add_subcommand("expand", "Expand the compressed section at the start of IN into OUT");
    expand->add_option("IN", a->in, "A file starting with a compressed section")->required();
    expand->add_option("OUT", a->out, "Where the expanded bytes go")->required();
    expand->callback([a, &action] { action = [a] { return Expand(a->in, a->out); }; });
}

} // namespace elo::tool
