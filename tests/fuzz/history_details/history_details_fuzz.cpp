// Fuzz target: a transaction search reply as the history store reads it:
// split into details, each detail's filter members read and matched, the
// page the store hands on split again (details that read must come back the
// same),
// and the input itself as one stored detail and as filter parameters.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sqi/history_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::string reply = text, error;
    std::vector<std::string> details;
    HistoryFilter filter;
    (void)history_filter_add(filter, "transaction_amount", text);
    (void)history_filter_add(filter, "transaction_currency", "USD");
    HistoryFields fields;
    if (history_split_details(reply, details, error)) {
        bool whole = true;
        for (const std::string &d : details) {
            if (history_detail_fields(d, &fields)) (void)history_filter_match(filter, fields);
            else whole = false;
        }
        // Details that read as JSON are handed on and split back exactly.
        std::string page = history_page_text(details, 0, details.size());
        std::vector<std::string> again;
        if (whole && (!history_split_details(page, again, error) || again != details)) abort();
    }
    if (history_detail_fields(text, &fields)) (void)history_filter_match(filter, fields);
    int64_t minor = 0;
    (void)history_minor_units(text, "JPY", &minor);
    return 0;
}
