// libFuzzer entry: parses the input as SQL text; when it parses, prints the
// tree, parses the printed text and prints again, and aborts when the two
// printed texts differ or the printed text does not parse.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sql/parser.h"
#include "sql/printer.h"
#include "support/pool.h"

namespace {

int parse_print(const std::string &sql, std::string &printed, std::string &message) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ParseContext *context = create_parse_context(pool);
    if (!context) {
        cv_mem_release_handle(pool);
        return 2;
    }
    std::string text = sql;
    int rc = parse_sql_text(context, text.data(), 0, nullptr);
    if (rc == 0 && print_to_string(context->root, true, printed) != 0) rc = 3;
    if (rc != 0) message = message_of(context);
    release_parse_context(context);
    cv_mem_release_handle(pool);
    return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 65536) return 0;
    // The parser takes zero-terminated text: an embedded zero ends it.
    std::string sql(reinterpret_cast<const char *>(data), size);
    sql = sql.c_str();
    std::string first, second, message;
    if (parse_print(sql, first, message) != 0) return 0;
    int rc = parse_print(first, second, message);
    if (rc != 0 || first != second) {
        std::fprintf(stderr, "printed text does not read back:\n  in:  %s\n  out: %s\n  again: %s\n  %s\n",
                     sql.c_str(), first.c_str(), second.c_str(), message.c_str());
        std::abort();
    }
    return 0;
}
