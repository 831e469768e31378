// Arbitrary bytes read as a links file (numbered or raw, as the first line
// says), written back, and read again. The reading may fail only with the
// system's own errors; a file that was written is numbered and reads back
// without error. A raw file renumbered on a second thread reads as on one.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "links/LinksFile.h"

using namespace elo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TLinksDocument doc;
    doc.CurrentId = size > 0 ? data[0] : 0;
    TLoadReport report;
    report.KeepGoing = size > 1 && (data[1] & 1);
    std::string oneError;
    try {
        doc.LoadLinksText(text, &report);
    } catch (const Exception& e) {
        oneError = e.Message;
    }
    for (const auto& item : report.ItemLines)
        if (!item.first->Data()) __builtin_trap();
    {
        TLinksDocument two;
        two.CurrentId = size > 0 ? data[0] : 0;
        two.TwoThreadsFrom = 0;
        TLoadReport twoReport;
        twoReport.KeepGoing = report.KeepGoing;
        std::string twoError;
        try {
            two.LoadLinksText(text, &twoReport);
        } catch (const Exception& e) {
            twoError = e.Message;
        }
        try {
            if (twoError != oneError || two.CurrentId != doc.CurrentId ||
                two.Tree.NodeCount() != doc.Tree.NodeCount() || twoReport.Problems.size() != report.Problems.size() ||
                two.LinksText() != doc.LinksText())
                __builtin_trap();
        } catch (const ELinksFileError&) {
        }
    }
    std::string written;
    try {
        written = doc.LinksText();
    } catch (const ELinksFileError&) {
        return 0; // a text that cannot be written was refused
    }
    TLinksDocument back;
    try {
        back.LoadLinksText(written);
    } catch (const Exception&) {
        __builtin_trap();
    }
    return 0;
}
