// Verbs of links files and link strings: decode, encode, tags, params, tagtext,
// tree, normalize, check.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "Tool.h"
#include "links/LinkDef.h"
#include "links/LinksCheck.h"
#include "links/LinksFile.h"
#include "platform/Text.h"

namespace elo::tool {

namespace {

json RecordJson(const TLinkDefinition& r) {
    json tags = json::array();
    for (const TLinkTag& t : r.Tags)
        tags.push_back({{"name", Out(t.Name)}, {"label", Out(t.Label)}, {"text", Out(t.Text)}});
    return {
        {"rawText", Out(r.RawText)}, {"target", Out(r.Target)},     {"tags", tags},       {"id", Out(r.Id)},
        {"typeIndex", r.TypeIndex},  {"keywords", Out(r.Keywords)}, {"hidden", r.Hidden}, {"caption", Out(r.Caption)},
        {"order", Out(r.Order)},     {"defaultEdit", r.DefaultEdit}};
}

std::string Text(const json& object, const char* key) {
    if (!object.contains(key) || object[key].is_null()) return {};
    if (!object[key].is_string()) throw Exception(std::string("\"") + key + "\" must be a string");
    return In(object[key].get<std::string>());
}

bool Flag(const json& object, const char* key) {
    if (!object.contains(key) || object[key].is_null()) return false;
    if (!object[key].is_boolean()) throw Exception(std::string("\"") + key + "\" must be true or false");
    return object[key].get<bool>();
}

json ParseJson(const std::string& text) {
    try {
        return json::parse(text);
    } catch (const json::parse_error& e) {
        throw Exception(std::string("Invalid JSON: ") + e.what());
    }
}

TLinkDefinition RecordFromJson(const json& j) {
    if (!j.is_object()) throw Exception("The record must be a JSON object");
    TLinkDefinition r;
    r.Target = Text(j, "target");
    if (j.contains("tags") && !j["tags"].is_null()) {
        if (!j["tags"].is_array()) throw Exception("\"tags\" must be an array");
        for (const json& t : j["tags"]) {
            if (!t.is_object()) throw Exception("Every tag must be a JSON object");
            r.Tags.push_back({Text(t, "name"), Text(t, "label"), Text(t, "text")});
        }
    }
    r.Id = Text(j, "id");
    if (j.contains("typeIndex") && !j["typeIndex"].is_null()) {
        if (!j["typeIndex"].is_number_integer()) throw Exception("\"typeIndex\" must be an integer");
        const auto index = j["typeIndex"].get<long long>();
        if (index < 0 || index >= kLinkTypeCount) throw Exception("\"typeIndex\" must lie in 0..7");
        r.TypeIndex = static_cast<int>(index);
    }
    r.Keywords = Text(j, "keywords");
    r.Hidden = Flag(j, "hidden");
    r.Caption = Text(j, "caption");
    r.Order = Text(j, "order");
    r.DefaultEdit = Flag(j, "defaultEdit");
    return r;
}

json ParametersJson(const std::vector<TTagParameter>& rows) {
    json list = json::array();
    for (const TTagParameter& p : rows)
        list.push_back({{"var", Out(p.Var)}, {"name", Out(p.Name)}, {"source", Out(p.Source)}});
    return list;
}

// The tree as JSON into sink, written without recursion: files can nest
// folders deeper than a recursive writer's stack would allow. At most
// maxNodes nodes, in tree order; returns how many were left out.
template <typename Sink> size_t WriteNodes(Sink& sink, const TLinkTree& tree, size_t maxNodes) {
    sink.Append("[");
    bool first = true;       // the first of its siblings
    std::vector<bool> shown; // of each node entered and not yet left
    size_t written = 0, omitted = 0;
    std::string piece;
    WalkTree(
        tree,
        [&](const TTreeNode* n) {
            shown.push_back(written < maxNodes);
            if (!shown.back()) {
                ++omitted;
                return;
            }
            ++written;
            piece.clear();
            if (!first) piece += ',';
            piece += "{\"text\":" + json(Out(n->Text())).dump(-1, ' ', false, json::error_handler_t::replace) +
                     ",\"image\":" + std::to_string(n->ImageIndex());
            if (const TLinkData* data = n->Data())
                piece += ",\"link\":" + json(Out(data->Link)).dump(-1, ' ', false, json::error_handler_t::replace);
            piece += ",\"children\":[";
            sink.Append(piece);
            first = true;
        },
        [&](const TTreeNode*) {
            const bool wasShown = shown.back();
            shown.pop_back();
            if (!wasShown) return;
            sink.Append("]}");
            first = false;
        });
    sink.Append("]");
    return omitted;
}

// What an error document repeats of the tree: the partial tree is for small
// files; of a larger one only its first nodes, and how many were left out.
constexpr size_t kPartialTreeNodes = 10000;

std::string TreeMembers(const TLinksDocument& doc) {
    struct {
        std::string Out;
        void Append(std::string_view s) { Out += s; }
    } sink;
    sink.Out = "\"currentId\":" + std::to_string(doc.CurrentId) + ",\"nodes\":";
    if (const size_t omitted = WriteNodes(sink, doc.Tree, kPartialTreeNodes))
        sink.Out += ",\"nodesOmitted\":" + std::to_string(omitted);
    return std::move(sink.Out);
}

int ItemCount(const TLinkTree& tree) {
    int n = 0;
    tree.ForEach([&](const TTreeNode* node) { n += node->Data() ? 1 : 0; });
    return n;
}

std::string Tree(int32_t currentId, const std::string& file) {
    TLinksDocument doc;
    doc.CurrentId = currentId;
    try {
        doc.LoadLinksFile(file);
    } catch (const Exception& e) {
        throw Failure{e.Message, json::object(), TreeMembers(doc), MessageUtf8(e)};
    }
    // Written as it is made: the tree of a large file is not held twice.
    TOutput& out = Output();
    out.Append("{\"currentId\":" + std::to_string(doc.CurrentId) + ",\"nodes\":");
    WriteNodes(out, doc.Tree, SIZE_MAX);
    out.Append("}\n");
    return {};
}

std::string Normalize(int32_t currentId, const std::string& in, const std::string& out) {
    TLinksDocument doc;
    size_t items = 0;
    doc.CurrentId = currentId;
    TLoadReport report;
    try {
        doc.LoadLinksFile(in, &report);
        items = doc.SaveLinksFile(out);
    } catch (const Exception& e) {
        throw Failure{e.Message, {{"items", ItemCount(doc.Tree)}}, TreeMembers(doc), MessageUtf8(e)};
    }
    json result = {{"currentId", doc.CurrentId}, {"items", items}};
    if (report.CounterRepairedLine > 0) {
        // The counter that was no number, and what it became.
        json problems = json::array();
        for (const TLoadProblem& p : report.Problems)
            if (p.Line == report.CounterRepairedLine)
                problems.push_back({{"line", p.Line}, {"message", Out(p.Message)}});
        result["problems"] = problems;
    }
    return result.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The problems are written as they are found: a file of millions of them is
// not held in memory. The text lines are for terminals: what comes from the
// file (names, counter text) cannot drive the terminal or split a line.
std::string Check(bool asJson, const std::vector<std::string>& files) {
    TOutput& out = Output();
    size_t count = 0;
    if (asJson) out.Append("{\"problems\":[");
    std::string line;
    for (const std::string& file : files) {
        const std::string fileText = TerminalText(file);
        CheckLinksFile(file, [&](const TFileProblem& p) {
            if (asJson) {
                line = count > 0 ? "," : "";
                line += json{{"file", file}, {"line", p.Line}, {"message", Out(p.Message)}}.dump(
                    -1, ' ', false, json::error_handler_t::replace);
            } else {
                line = fileText + ":" + std::to_string(p.Line) + ": " + TerminalText(Out(p.Message)) + "\n";
            }
            out.Append(line);
            ++count;
        });
    }
    if (asJson) out.Append("]}\n");
    if (count > 0) throw ExitWith{{}, 1};
    return {};
}

} // namespace

void RegisterLinksVerbs(CLI::App& app, Action& action) {
    struct Args {
        int32_t nextId = 0, currentId = 0;
        std::vector<std::string> texts, files;
        std::string text, in, out;
        bool json = false;
    };
    auto a = std::make_shared<Args>();

    CLI::App* decode = app.add_subcommand("decode", "Decode each TEXT in turn into one link record");
    decode->add_option("--next-id", a->nextId, "First identifier the provider hands out (default 0)");
    decode->add_option("TEXT", a->texts, "Link strings")->required();
    decode->callback([a, &action] {
        action = [a] {
            TLinkDefinition record;
            int64_t next = a->nextId; // counts past the largest 32-bit value without overflow
            const TGetNewIdEvent provider = [&](void*, int32_t& id) {
                if (next > INT32_MAX) throw Exception("Identifier counter overflow");
                id = static_cast<int32_t>(next++);
            };
            try {
                for (const std::string& t : a->texts) DecodeLink(record, In(t), provider);
            } catch (const Exception& e) {
                throw Failure{e.Message, {{"record", RecordJson(record)}, {"nextId", next}}, {}, MessageUtf8(e)};
            }
            return json{{"record", RecordJson(record)}, {"nextId", next}}.dump(-1, ' ', false,
                                                                               json::error_handler_t::replace);
        };
    });

    CLI::App* encode = app.add_subcommand("encode", "Encode a record (JSON) into a link string");
    encode->add_option("RECORD_JSON", a->text, "The record")->required();
    encode->callback([a, &action] {
        action = [a] {
            return json{{"link", Out(EncodeLink(RecordFromJson(ParseJson(a->text))))}}.dump(
                -1, ' ', false, json::error_handler_t::replace);
        };
    });

    CLI::App* tags = app.add_subcommand("tags", "The tags that TEXT yields, with their parameter rows");
    tags->add_option("TEXT", a->text, "A tag text")->required();
    tags->callback([a, &action] {
        action = [a] {
            json list = json::array();
            for (const TLinkTag& t : TagsFromText(In(a->text)))
                list.push_back({{"name", Out(t.Name)},
                                {"label", Out(t.Label)},
                                {"text", Out(t.Text)},
                                {"parameters", ParametersJson(ParametersFromTagText(t.Text))}});
            return json{{"tags", list}}.dump(-1, ' ', false, json::error_handler_t::replace);
        };
    });

    CLI::App* params = app.add_subcommand("params", "The parameter rows of one tag text");
    params->add_option("TAGTEXT", a->text, "A tag text")->required();
    params->callback([a, &action] {
        action = [a] {
            return json{{"parameters", ParametersJson(ParametersFromTagText(In(a->text)))}}.dump(
                -1, ' ', false, json::error_handler_t::replace);
        };
    });

    CLI::App* tagtext = app.add_subcommand("tagtext", "The tag text built from parameter rows (JSON)");
    tagtext->add_option("ROWS_JSON", a->text, "Array of {var, name, source}")->required();
    tagtext->callback([a, &action] {
        action = [a] {
            const json rows = ParseJson(a->text);
            if (!rows.is_array()) throw Exception("The rows must be a JSON array");
            std::vector<TTagParameter> list;
            for (const json& r : rows) {
                if (!r.is_object()) throw Exception("Every row must be a JSON object");
                list.push_back({Text(r, "var"), Text(r, "name"), Text(r, "source")});
            }
            return json{{"text", Out(TagTextFromParameters(list))}}.dump(-1, ' ', false,
                                                                         json::error_handler_t::replace);
        };
    });

    CLI::App* tree = app.add_subcommand("tree", "Read FILE as the editor's Open does and print its tree");
    tree->add_option("--current-id", a->currentId, "Identifier counter before reading (default 0)");
    tree->add_option("FILE", a->text, "A links file")->required();
    tree->callback([a, &action] { action = [a] { return Tree(a->currentId, a->text); }; });

    CLI::App* normalize = app.add_subcommand("normalize", "Read IN as Open does and write OUT as Save does");
    normalize->add_option("--current-id", a->currentId, "Identifier counter before reading (default 0)");
    normalize->add_option("IN", a->in, "The links file to read")->required();
    normalize->add_option("OUT", a->out, "The links file to write")->required();
    normalize->callback([a, &action] { action = [a] { return Normalize(a->currentId, a->in, a->out); }; });

    CLI::App* check = app.add_subcommand("check", "Report every problem of links files");
    check->add_flag("--json", a->json, "Print the problems as JSON");
    check->add_option("FILE", a->files, "Links files")->required();
    check->callback([a, &action] { action = [a] { return Check(a->json, a->files); }; });
}

} // namespace elo::tool
