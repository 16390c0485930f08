// Call trace: a process-wide file opened on first use.
#include "support/trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "support/connstr.h"

namespace {

constexpr size_t kMaxTraceLine = 8192;
constexpr size_t kMaxTracedText = 2048;  // longer texts are cut with "..."

std::mutex g_lock;                // guards the fields below
std::atomic<int> g_state{0};      // 0 unknown, 1 off, 2 on
std::atomic<int> g_level{kTraceInfo};
std::string g_file;               // configured file name
int g_fd = -1;

void settle_locked(std::string_view cfg_file, std::string_view cfg_level) {
    const char *env_file = std::getenv("CVODBC_TRACE_FILE");
    const char *env_level = std::getenv("CVODBC_TRACE_LEVEL");
    g_file = env_file && *env_file ? std::string(env_file) : std::string(cfg_file);
    std::string level = env_level && *env_level ? std::string(env_level) : std::string(cfg_level);
    g_level.store(level == "8" ? kTraceFailure : kTraceInfo);
    if (g_fd >= 0) {
        ::close(g_fd);
        g_fd = -1;
    }
    if (!g_file.empty()) g_fd = open_private_log(g_file.c_str());
    g_state.store(g_fd >= 0 ? 2 : 1);
}

void append(std::string &out, std::string_view s) {
    if (s.size() > kMaxTracedText) {
        out.append(s.substr(0, kMaxTracedText));
        out.append("...");
    } else {
        out.append(s);
    }
}

void append_fmt(std::string &out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void append_fmt(std::string &out, const char *fmt, ...) {
    char buf[64];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

void append_text(std::string &out, const char *text, long length, bool secret_aware) {
    if (!text) {
        out.append("(null)");
        return;
    }
    std::string_view t = length < 0 ? std::string_view(text) : std::string_view(text, length);
    if (secret_aware)
        append(out, mask_connection_string(t));
    else
        append(out, t);
}

void format_directives(std::string &out, const char *format, va_list ap) {
    for (const char *f = format; *f; f++) {
        if (*f != '%') {
            out.push_back(*f);
            continue;
        }
        f++;
        bool indirect = false;
        if (*f == '*') {
            indirect = true;
            f++;
        }
        switch (*f) {
            case 'h':
            case 'p': {
                void *p = va_arg(ap, void *);
                if (indirect) p = p ? *static_cast<void **>(p) : nullptr;
                append_fmt(out, "%p", p);
                break;
            }
            case 'i': append_fmt(out, "%d", static_cast<short>(va_arg(ap, int))); break;
            case 'u': append_fmt(out, "%u", static_cast<unsigned short>(va_arg(ap, int))); break;
            case 'e': append_fmt(out, "%d", va_arg(ap, int)); break;
            case 'I': {
                long long v;
                if (indirect) {
                    auto *p = va_arg(ap, long long *);
                    v = p ? *p : 0;
                } else {
                    v = va_arg(ap, long long);
                }
                append_fmt(out, "%lld", v);
                break;
            }
            case 'U': append_fmt(out, "%llu", va_arg(ap, unsigned long long)); break;
            case 's': append_text(out, va_arg(ap, const char *), -1, false); break;
            case 'S': {
                const char *text = va_arg(ap, const char *);
                long len;
                if (indirect) {
                    auto *lp = va_arg(ap, short *);
                    len = lp ? *lp : -1;
                } else {
                    len = va_arg(ap, int);
                }
                append_text(out, text, len < 0 ? -1 : len, true);
                break;
            }
            case '%': out.push_back('%'); break;
            case '\0': return;
            default: out.push_back('%'), out.push_back(*f); break;
        }
    }
}

}  // namespace

bool trace_enabled(int level) {
    int state = g_state.load(std::memory_order_acquire);
    if (state == 0) {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_state.load() == 0) settle_locked("", "");
        state = g_state.load();
    }
    return state == 2 && level >= g_level.load(std::memory_order_relaxed);
}

void trace_configure(std::string_view file, std::string_view level) {
    std::lock_guard<std::mutex> guard(g_lock);
    settle_locked(file, level);
}

void trace_reset() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_fd >= 0) ::close(g_fd);
    g_fd = -1;
    g_state.store(0);
}

void log_message(const char *source, int line, int level, const char *format, ...) {
    if (!trace_enabled(level)) return;
    std::string out;
    out.reserve(256);
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm parts{};
    localtime_r(&tv.tv_sec, &parts);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
    out.append(stamp);
    append_fmt(out, ".%06ld [%d:%ld] %s:%d ", static_cast<long>(tv.tv_usec),
               static_cast<int>(getpid()), static_cast<long>(syscall(SYS_gettid)),
               source ? source : "?", line);
    va_list ap;
    va_start(ap, format);
    format_directives(out, format ? format : "", ap);
    va_end(ap);
    if (out.size() > kMaxTraceLine) out.resize(kMaxTraceLine);
    out.push_back('\n');
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_fd >= 0) {
        ssize_t ignored = ::write(g_fd, out.data(), out.size());
        (void)ignored;
    }
}

int open_private_log(const char *path) {
    if (!path || !*path) return -1;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return -1;
    }
    // A file that already existed keeps its mode on open: narrow it, or
    // refuse it when it cannot be narrowed (it belongs to someone else).
    if (S_ISREG(st.st_mode) && (st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
