// Verbs of the command-list language: tokens and parse.
#include "Tool.h"
#include "cmdlang/LnkUtils.h"
#include "cmdlang/Scanner.h"

namespace elo::tool {

namespace {

json Tokens(const std::vector<std::string>& keywords, const std::string& text) {
    TScanner scanner;
    ConfigureCommandListScanner(scanner);
    for (const std::string& keyword : keywords) scanner.AddKeyword(In(keyword));
    scanner.SetText(In(text));
    json tokens = json::array();
    for (int i = 0; i < scanner.TokenCount(); ++i) {
        const TToken& t = *scanner.Tokens(i);
        json token = {{"kind", t.Kind}, {"start", t.Start}, {"length", t.Length}, {"text", Out(scanner.TokenView(i))}};
        if (t.Kind == tkKeyword) token["keywordIndex"] = t.KeywordIndex;
        tokens.push_back(std::move(token));
    }
    return {{"tokens", std::move(tokens)}};
}

json ItemJson(const TcmdItem& item) {
    return {{"name", Out(item.Name)}, {"value", Out(item.Value)}, {"source", Out(item.Source)},
            {"isWord", item.IsWord},  {"param", Out(item.Param)}, {"isBracket", item.IsBracket}};
}

json Parse(const std::vector<std::string>& lookups, const std::string& text) {
    std::vector<std::string> names;
    for (const std::string& name : lookups) names.push_back(In(name));
    TcmdListParser parser;
    parser.Parse(In(text));
    json commands = json::array();
    for (int c = 0; c < parser.Count(); ++c) {
        const TcmdGroup& group = parser.Commands(c);
        json items = json::array();
        for (int i = 0; i < group.Count(); ++i) items.push_back(ItemJson(group.Items(i)));
        json command = {{"name", Out(group.Name)}, {"itemText", Out(group.ItemText())}, {"items", items}};
        if (!names.empty()) {
            json found = json::object();
            for (size_t k = 0; k < names.size(); ++k) {
                json lookup = {{"indexOf", group.IndexOf(names[k])}};
                try {
                    lookup["values"] = Out(group.Values(names[k]));
                    lookup["error"] = nullptr;
                } catch (const Exception& e) {
                    lookup["values"] = nullptr;
                    lookup["error"] = Out(e.Message);
                }
                found[lookups[k]] = std::move(lookup);
            }
            command["lookups"] = std::move(found);
        }
        commands.push_back(std::move(command));
    }
    return {{"commands", std::move(commands)}};
}

} // namespace

void RegisterCmdlangVerbs(CLI::App& app, Action& action) {
    struct Args {
        std::vector<std::string> keywords, lookups;
        std::string text;
    };
    auto args = std::make_shared<Args>();

    CLI::App* tokens = app.add_subcommand("tokens", "Scan TEXT as the command-list parser does");
    tokens->add_option("--keyword", args->keywords, "Register a keyword (repeatable, in order)");
    tokens->add_option("TEXT", args->text, "The text to scan")->required();
    tokens->callback([args, &action] {
        action = [args] {
            return Tokens(args->keywords, args->text).dump(-1, ' ', false, json::error_handler_t::replace);
        };
    });

    CLI::App* parse = app.add_subcommand("parse", "Parse TEXT as a command list");
    parse->add_option("--lookup", args->lookups, "Look NAME up in every command (repeatable)");
    parse->add_option("TEXT", args->text, "The text to parse")->required();
    parse->callback([args, &action] {
        action = [args] {
            return Parse(args->lookups, args->text).dump(-1, ' ', false, json::error_handler_t::replace);
        };
    });
}

} // namespace elo::tool
