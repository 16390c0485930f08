// INFO_SCHEMA.PAYPAL_HISTORY's rows: the windows of the history store of
// the PayPal connection that shares the DAL record, registered with the
// INFO_SCHEMA provider when the driver loads (dal/info_schema.h).
//
// Exports: nothing but the registration.
#include <new>
#include <string>
#include <vector>

#include "dal/dal.h"
#include "dal/info_schema.h"
#include "sqi/history_scan.h"
#include "sqi/scan.h"

namespace {

std::string listing_time(int64_t t) {
    std::string text = windows_time_text(t);  // "YYYY-MM-DDTHH:MM:SSZ"
    text[10] = ' ';
    text.pop_back();
    return text;
}

// INFO_SCHEMA.PAYPAL_HISTORY: the windows of the store of the PayPal
// connection in `dal` (none when it has no store or refuses it).
bool history_listing(DalRecord *dal, void *owner, std::vector<InfoHistoryRow> &out) {
    out.clear();
    PaypalEnv *env = nullptr;
    for (int i = 0; dal && i < dal->count; ++i) {
        const DalProvider *p = dal->providers[i];
        if (p && p->slots.SQIStartQuery == SQIStartQuery) env = static_cast<PaypalEnv *>(p->handle);
    }
    if (!env || !env->session || !env->session->history) return true;
    try {
        HistoryStore *store = history_link_store(nullptr, env->session->history.get());
        if (!store) return true;
        std::vector<HistoryListRow> rows;
        std::string error;
        if (!history_store_list(store, rows, error)) {
            DalServiceRequest r{};
            r.handle = owner;
            r.origin = kPaypalComponent;
            r.sqlstate = "HY000";
            r.message = error.c_str();
            (void)dal_service(env->link, DAL_SERVICE_POST_ERROR, &r);
            return false;
        }
        for (const HistoryListRow &row : rows)
            out.push_back(InfoHistoryRow{listing_time(row.window.start), listing_time(row.window.end),
                                         row.key.client_id, row.key.base_url, row.key.balance_only, row.window.rows,
                                         listing_time(row.window.fetched_at)});
        return true;
    } catch (const std::bad_alloc &) {
        out.clear();
        return false;
    }
}

// The listing reaches INFO_SCHEMA once the driver is loaded.
[[maybe_unused]] const bool kListingRegistered = (info_set_history_source(history_listing), true);

}  // namespace
