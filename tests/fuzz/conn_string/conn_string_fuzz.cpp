// Fuzz target: a connection string read by the driver's own parser and
// masked for the traces. The property: the masked text never holds a secret
// value (of kMinMaskedSecret bytes or more) that the parser extracts, and
// parsing never crashes, whatever the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "support/connstr.h"
#include "support/pool.h"

namespace {

// A secret of asterisks only cannot be told from the mask itself.
bool checkable(std::string_view key, std::string_view value) {
    return is_secret_keyword(key) && value.size() >= kMinMaskedSecret &&
           value.find_first_not_of('*') != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::string masked = mask_connection_string(text);
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ConnAttrList *list = init_con_str(pool);
    if (list && parse_connection_string(list, text.data(), static_cast<long>(text.size())) == 0) {
        std::string_view key, value;
        for (int i = 0; attribute_at(list, i, &key, &value); ++i) {
            if (!checkable(key, value)) continue;
            if (masked.find(value) != std::string::npos) __builtin_trap();
        }
        // What the driver writes back (the output connection string) masks
        // the same way.
        const std::string generated = generate_connection_string(list);
        const std::string masked_out = mask_connection_string(generated);
        for (int i = 0; attribute_at(list, i, &key, &value); ++i) {
            if (!checkable(key, value)) continue;
            if (masked_out.find(value) != std::string::npos) __builtin_trap();
        }
    }
    free_con_str(list);
    cv_mem_release_handle(pool);
    return 0;
}
