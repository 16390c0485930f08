// Process-wide start and stop.
#include "odbc/process.h"

#include <dlfcn.h>

#include <mutex>

#include "support/pool.h"
#include "support/profile.h"
#include "support/threads.h"
#include "support/trace.h"

namespace {
std::mutex g_lock;
int g_refs = 0;
}  // namespace

void process_start(const CvConfig *config) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_refs++ > 0) return;
    odbc_thread_init(1);
    cv_mem_trace_init();
    trace_configure(get_default(config, "TraceFile", ""), get_default(config, "TraceLevel", ""));
}

void process_stop() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_refs == 0 || --g_refs > 0) return;
    thread_term(1);
    cv_mem_trace_term();
    trace_reset();
}

const std::string &driver_library_dir() {
    static const std::string dir = [] {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void *>(&process_start), &info) == 0 || !info.dli_fname)
            return std::string();
        std::string path(info.dli_fname);
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }();
    return dir;
}
