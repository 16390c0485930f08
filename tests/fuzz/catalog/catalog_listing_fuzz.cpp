// Fuzz target: application-supplied catalogue arguments (table and column
// search patterns, table-type lists) through SQITables and SQIColumns and
// every row they produce. Input: the arguments separated by '\n' (table
// pattern, column pattern, types, catalog, schema); a missing part is an
// absent argument.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sqi/catalog.h"
#include "sqi/session.h"

namespace {

DalText part(const std::vector<std::string> &parts, size_t i) {
    if (i >= parts.size()) return {nullptr, SQL_NTS};
    return {parts[i].data(), static_cast<int>(parts[i].size())};
}

void drain(PaypalIterator *it, int columns) {
    char buf[64];
    SQLLEN len = 0;
    for (int rows = 0; rows < 4000 && catalog_next_row(it) == DAL_OK; rows++)
        for (int c = 0; c <= columns + 1; c++)
            (void)catalog_get_data(it, c, 1, buf, sizeof buf, &len);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == '\n')
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    PaypalEnv env{};
    env.odbc_version = 3;
    PaypalIterator it{};
    it.env = &env;
    if (SQITables(&it, part(parts, 3), part(parts, 4), part(parts, 0), part(parts, 2)) == DAL_OK)
        drain(&it, 5);
    if (SQIColumns(&it, part(parts, 3), part(parts, 4), part(parts, 0), part(parts, 1)) == DAL_OK)
        drain(&it, 18);
    (void)catalog_pattern_match(parts[0], parts.size() > 1 ? parts[1] : std::string());
    return 0;
}
