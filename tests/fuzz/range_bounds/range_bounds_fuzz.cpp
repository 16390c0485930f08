// Fuzz target: the bound texts of a scan's range filters. The input is split
// at the first newline into a low and a high text; both are read as amounts
// (every currency reading) and as window times, and a parsed time must come
// back unchanged through its text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sqi/amount_range.h"
#include "sqi/windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t nl = text.find('\n');
    std::string low = text.substr(0, nl), high = nl == std::string::npos ? low : text.substr(nl + 1);
    std::string out;
    for (int decimals : {-1, 0, 2}) (void)amount_range_text(low, high, decimals, out);
    for (const std::string *t : {&low, &high}) {
        int64_t seconds;
        if (windows_parse_time(*t, &seconds)) {
            int64_t again;
            if (!windows_parse_time(windows_time_text(seconds), &again) || again != seconds) abort();
        }
    }
    return 0;
}
