#include "LinksCheck.h"

#include <algorithm>
#include <climits>
#include <map>
#include <set>

#include "LinkDef.h"
#include "LinksFile.h"
#include "platform/Text.h"

namespace elo {

namespace {

// Decodes every link item of a document just read with report; hands each
// problem to found, in line order (the reading's own first on a line).
void CheckRead(const TLinksDocument& doc, const TLoadReport& report, const TProblemSink& found) {
    // The reading's problems in line order (a repaired counter comes last).
    std::vector<uint32_t> order(report.Problems.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return report.Problems[a].Line < report.Problems[b].Line; });
    size_t next = 0;       // the reading's next problem
    int lastReported = -1; // the line of the last one handed over
    auto foundUpTo = [&](int line) {
        for (; next < order.size() && report.Problems[order[next]].Line <= line; ++next) {
            const TLoadProblem& p = report.Problems[order[next]];
            found({p.Line, p.Message, {}});
            lastReported = p.Line;
        }
    };
    int64_t scratch = doc.CurrentId;
    const TGetNewIdEvent provider = [&](void*, int32_t& id) { id = static_cast<int32_t>(scratch++); };
    std::map<std::string, int> firstLineOfId;
    for (const auto& [node, line] : report.ItemLines) {
        foundUpTo(line);
        const std::string path = TLinksDocument::NodePath(node);
        for (const TTreeNode* n = node; n; n = n->Parent()) {
            if (const std::string why = ValidateNodeText(n->Text()); !why.empty()) {
                found({line, why, path});
                break;
            }
        }
        if (lastReported == line) continue; // the reading reported it: not decoded again
        TLinkDefinition record;
        const int64_t before = scratch;
        try {
            DecodeLink(record, node->Data()->Link, provider);
        } catch (const Exception& e) {
            found({line, e.Message, path});
            continue;
        }
        if (record.Verbatim || scratch != before) continue; // no identifier of its own
        auto [it, inserted] = firstLineOfId.emplace(record.Id, line);
        if (!inserted) {
            found(
                {line,
                 "Identificador duplicado: " + record.Id + " (j\xE1 usado na linha " + std::to_string(it->second) + ")",
                 path});
            continue;
        }
        int32_t id = 0;
        if (report.Numbered && TryDecimalToInt(record.Id, id) && id >= doc.CurrentId)
            found({line,
                   "O identificador " + record.Id + " n\xE3o \xE9 menor que o contador (" +
                       std::to_string(doc.CurrentId) + ")",
                   path});
    }
    foundUpTo(INT_MAX);
}

template <typename Load> void Check(Load&& load, const TProblemSink& found) {
    TLinksDocument doc;
    TLoadReport report;
    report.KeepGoing = true;
    try {
        load(doc, report);
    } catch (const Exception& e) {
        found({0, e.Message, {}});
        return;
    }
    CheckRead(doc, report, found);
}

std::vector<TFileProblem> Collect(const std::function<void(const TProblemSink&)>& check) {
    std::vector<TFileProblem> problems;
    check([&](const TFileProblem& p) { problems.push_back(p); });
    return problems;
}

} // namespace

void CheckLinksFile(const std::string& fileName, const TProblemSink& found) {
    Check([&](TLinksDocument& doc, TLoadReport& report) { doc.LoadLinksFile(fileName, &report); }, found);
}

void CheckLinksText(std::string_view text, const TProblemSink& found) {
    Check([&](TLinksDocument& doc, TLoadReport& report) { doc.LoadLinksText(text, &report); }, found);
}

std::vector<TFileProblem> CheckLinksFile(const std::string& fileName) {
    return Collect([&](const TProblemSink& found) { CheckLinksFile(fileName, found); });
}

std::vector<TFileProblem> CheckLinksText(std::string_view text) {
    return Collect([&](const TProblemSink& found) { CheckLinksText(text, found); });
}

} // namespace elo
