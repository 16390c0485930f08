// Fuzz target: a PayPal reply body mapped into rows. The first byte picks
// the catalogue table (and whether the scan counts as keyed); the rest is
// the JSON reply. Every row is read in every buffer type, character data in
// small pieces, as the engine would.
#include <sqlext.h>

#include <cstdint>
#include <cstring>

#include "sqi/catalog.h"
#include "sqi/scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const PaypalTable *table = paypal_table_at(data[0] % kPaypalTableCount);
    json_t *root = json_loadb(reinterpret_cast<const char *>(data + 1), size - 1, JSON_DECODE_ANY, nullptr);
    if (!root || !table) {
        if (root) json_decref(root);
        return 0;
    }
    PaypalIterator it{};
    it.table = table;
    it.root = root;
    it.keyed = (data[0] & 0x80) ? 1 : 0;
    it.piece_column = -1;
    (void)ExtractRows(&it, table, it.keyed);
    static const int kTypes[] = {SQL_C_CHAR, SQL_C_LONG, SQL_C_SBIGINT, SQL_C_DOUBLE, SQL_C_TYPE_DATE,
                                 SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP, SQL_C_BINARY};
    int rows = 0;
    while (rows < 200 && SQINextRow(&it) == DAL_OK) {
        ++rows;
        for (int c = 1; c <= table->column_count; ++c) {
            for (int type : kTypes) {
                unsigned char buf[24];
                SQLLEN len = 0;
                int rc = SQIGetData(&it, c, type, buf, sizeof buf, &len);
                for (int piece = 0; rc == DAL_INFO && piece < 64; ++piece)
                    rc = SQIGetData(&it, c, type, buf, sizeof buf, &len);
            }
        }
    }
    scan_release(&it);
    return 0;
}
