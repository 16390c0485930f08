// Reads the provider benchmarks share: a scan of every column as text, and
// the raw reply bodies of an endpoint's pages for the parse yardsticks.
//
// Exports: provider_scan_all, page_bodies.
#pragma once

#include <string>
#include <vector>

#include "scan_harness.h"
#include "transport/http.h"

// One provider scan of `table` reading every column as text: rows read, or
// -1 when the scan does not start.
inline int provider_scan_all(ScanEnv &s, const char *table) {
    if (s.start(table) != DAL_OK) return -1;
    const int columns = s.it->table->column_count;
    int rows = 0;
    std::vector<char> buf(8192);
    SQLLEN len;
    while (s.next() == DAL_OK) {
        for (int c = 1; c <= columns; ++c)
            (void)SQIGetData(s.it, c, SQL_C_CHAR, buf.data(), static_cast<SQLLEN>(buf.size()), &len);
        ++rows;
    }
    return rows;
}

// The reply bodies of `endpoint`'s pages (20 rows each) read through the
// transport; false when a GET fails.
inline bool page_bodies(ScanEnv &s, const char *endpoint, std::vector<std::string> &bodies) {
    PaypalContext *ctx = static_cast<PaypalEnv *>(s.env)->session->context.get();
    for (int page = 1;; ++page) {
        WebRequestPtr req = NewGetRequest(ctx, endpoint, 1);
        AddParameter(req.get(), "page", std::to_string(page), 0);
        AddParameter(req.get(), "page_size", "20", 0);
        AddParameter(req.get(), "total_required", "true", 0);
        AddParameter(req.get(), "fields", "all", 0);
        WebResponsePtr resp;
        if (WebExchange(req.get(), resp) != 0 || !resp || resp->status != 200) return false;
        bodies.push_back(resp->body);
        json_t *root = json_loadb(resp->body.data(), resp->body.size(), 0, nullptr);
        const int total = static_cast<int>(json_integer_value(json_object_get(root, "total_pages")));
        json_decref(root);
        if (page >= total) return true;
    }
}
