#include "LinksCheck.h"

#include <algorithm>
#include <map>
#include <set>

#include "LinkDef.h"
#include "LinksFile.h"
#include "platform/Text.h"

namespace elo {

namespace {

// Decodes every link item of a document just read with report.
std::vector<TFileProblem> CheckRead(const TLinksDocument& doc, const TLoadReport& report) {
    std::vector<TFileProblem> found;
    std::set<int> failedLines; // lines already reported: their links are not decoded again
    for (const TLoadProblem& p : report.Problems) {
        found.push_back({p.Line, p.Message, {}});
        failedLines.insert(p.Line);
    }
    int64_t scratch = doc.CurrentId;
    const TGetNewIdEvent provider = [&](void*, int32_t& id) { id = static_cast<int32_t>(scratch++); };
    std::map<std::string, int> firstLineOfId;
    for (const auto& [node, line] : report.ItemLines) {
        const std::string path = TLinksDocument::NodePath(node);
        for (const TTreeNode* n = node; n; n = n->Parent()) {
            if (const std::string why = ValidateNodeText(n->Text()); !why.empty()) {
                found.push_back({line, why, path});
                break;
            }
        }
        if (failedLines.count(line)) continue;
        TLinkDefinition record;
        const int64_t before = scratch;
        try {
            DecodeLink(record, node->Data()->Link, provider);
        } catch (const Exception& e) {
            found.push_back({line, e.Message, path});
            continue;
        }
        if (record.Verbatim || scratch != before) continue; // no identifier of its own
        auto [it, inserted] = firstLineOfId.emplace(record.Id, line);
        if (!inserted) {
            found.push_back(
                {line,
                 "Identificador duplicado: " + record.Id + " (j\xE1 usado na linha " + std::to_string(it->second) + ")",
                 path});
            continue;
        }
        int32_t id = 0;
        if (report.Numbered && TryDecimalToInt(record.Id, id) && id >= doc.CurrentId)
            found.push_back({line,
                             "O identificador " + record.Id + " n\xE3o \xE9 menor que o contador (" +
                                 std::to_string(doc.CurrentId) + ")",
                             path});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TFileProblem& a, const TFileProblem& b) { return a.Line < b.Line; });
    return found;
}

template <typename Load> std::vector<TFileProblem> Check(Load&& load) {
    TLinksDocument doc;
    TLoadReport report;
    report.KeepGoing = true;
    try {
        load(doc, report);
    } catch (const Exception& e) {
        return {{0, e.Message, {}}};
    }
    return CheckRead(doc, report);
}

} // namespace

std::vector<TFileProblem> CheckLinksFile(const std::string& fileName) {
    return Check([&](TLinksDocument& doc, TLoadReport& report) { doc.LoadLinksFile(fileName, &report); });
}

std::vector<TFileProblem> CheckLinksText(std::string_view text) {
    return Check([&](TLinksDocument& doc, TLoadReport& report) { doc.LoadLinksText(text, &report); });
}

} // namespace elo
