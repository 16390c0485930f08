// The backend trace log writer: direct lines, packet dumps and the
// process-wide ring of ring mode (see paypal_trace.h).
#include "transport/paypal_trace.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "support/trace.h"

namespace {

const PaypalTraceHead *resolve(const void *record) {
    if (!record) return nullptr;
    int32_t magic;
    memcpy(&magic, record, sizeof magic);
    if (magic == kPaypalContextMagic) return static_cast<const PaypalTraceHead *>(record);
    if (magic == kWebRequestMagic) {
        const PaypalTraceHead *head = static_cast<const PaypalTraceRef *>(record)->context;
        if (head && head->magic == kPaypalContextMagic) return head;
    }
    return nullptr;
}

bool level_passes(uint32_t mask, uint32_t level) {
    if (level == kPpTraceContinue) return (mask & kPpTraceDetail) != 0;
    return (level & mask) != 0;
}

const char *level_name(uint32_t level) {
    switch (level) {
        case kPpTraceEntry:
            return "ENTRY:\t";
        case kPpTraceExit:
            return "EXIT:\t";
        case kPpTraceDetail:
            return "DETAIL:\t";
        case kPpTraceError:
            return "ERROR:\t";
        case kPpTracePktDump:
            return "PKTDUMP:\t";
        case kPpTraceContinue:
            return "+\t";
        default:
            return "UNKNOWN MODE";
    }
}

unsigned thread_id() {
    return static_cast<unsigned>(syscall(SYS_gettid));
}

long uptime_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

// Opens the log named `file` (per process and thread with `per_thread`) for
// appending, creating it with mode 0600 (an existing file is made 0600 or
// refused); standard error when the name is
// empty. Null when it cannot be opened.
FILE *open_log(const char *file, bool per_thread) {
    if (!file || !*file) return stderr;
    char name[kPpTraceFileNameMax + 32];
    if (per_thread) {
        snprintf(name, sizeof name, "%s.%08X.%08X", file, static_cast<unsigned>(getpid()),
                 thread_id());
    } else {
        snprintf(name, sizeof name, "%s", file);
    }
    int fd = open_private_log(name);  // 0600, an existing file narrowed or refused
    if (fd < 0) return nullptr;
    FILE *out = fdopen(fd, "a");
    if (!out) close(fd);
    return out;
}

void close_log(FILE *out) {
    if (out == stderr) {
        fflush(out);
    } else if (out) {
        fclose(out);
    }
}

// The process-wide ring of ring mode. Guarded by its own lock, because two
// connections in ring mode may write at the same time.
struct Ring {
    std::mutex lock;
    std::vector<std::string> slots;  // kPpTraceRingSlots once created
    size_t read = 0;
    size_t write = 0;
};

Ring &ring() {
    static Ring r;
    return r;
}

void ring_store(Ring &r, std::string line) {
    r.slots[r.write] = std::move(line);
    r.write = (r.write + 1) % kPpTraceRingSlots;
    if (r.write == r.read) {
        r.slots[r.read].clear();
        r.slots[r.read].shrink_to_fit();
        r.read = (r.read + 1) % kPpTraceRingSlots;
    }
}

void banner(FILE *out, const char *title) {
    std::string stars(100, '*');
    std::string blank = "*" + std::string(98, ' ') + "*";
    std::string mid = std::string("*   ") + title;
    mid.resize(99, ' ');
    mid += '*';
    fprintf(out, "%s\n%s\n%s\n%s\n%s\n", stars.c_str(), blank.c_str(), mid.c_str(), blank.c_str(),
            stars.c_str());
}

// Writes the ring out to the log file of `head`, the context whose ERROR
// line asked for it (not the first context that ever used the ring, whose
// file may belong to a connection long gone).
void ring_flush(Ring &r, const PaypalTraceHead *head) {
    FILE *out = open_log(head->log_file, (head->mask & kPpTracePerThread) != 0);
    if (!out) return;
    banner(out, "Start of log dump");
    for (size_t i = r.read; i != r.write; i = (i + 1) % kPpTraceRingSlots) {
        fprintf(out, "%s\n", r.slots[i].c_str());
        std::string().swap(r.slots[i]);
    }
    banner(out, "End of log dump");
    r.read = r.write = 0;
    close_log(out);
}

// Builds the prefix and message of one line into a kPpTraceLineSize buffer.
std::string build_line(const void *record, const PaypalTraceHead *head, const char *module,
                       int line, uint32_t level, bool dump_header, const char *format,
                       va_list args) {
    char buf[kPpTraceLineSize];
    int n;
    bool ring_mode = (head->mask & kPpTraceRing) != 0;
    const char *is_ctx = record == head ? "(PAYPALCONTEXT)" : "";
    if (level == kPpTraceContinue) {
        if (dump_header) {
            n = snprintf(buf, sizeof buf, "\t\t%s ", level_name(level));
        } else {
            n = snprintf(buf, sizeof buf, "\t\t[TID=%X]%s ", thread_id(), level_name(level));
        }
    } else if (ring_mode) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        n = snprintf(buf, sizeof buf, "%s:[TID=%X][TIME=%ld.%03d][%s:%d][%p%s]\n\t\t%s ",
                     dump_header ? "CVSQLTRACE" : "CVTRACE", thread_id(),
                     static_cast<long>(ts.tv_sec), static_cast<int>(ts.tv_nsec / 1000000), module,
                     line, record, is_ctx, level_name(level));
    } else {
        n = snprintf(buf, sizeof buf, "CVTRACE:[TID=%X][TIME=%ld][%s:%d][%p%s]\n\t\t%s ",
                     thread_id(), uptime_ms(), module, line, record, is_ctx, level_name(level));
    }
    if (n < 0) n = 0;
    if (static_cast<size_t>(n) >= sizeof buf) n = sizeof buf - 1;
    PaypalTraceFormat(buf + n, sizeof buf - n, format, args);
    std::string text(buf);
    PaypalTraceScrub(head, text);
    return text;
}

void hex_row(std::string &out, const unsigned char *p, size_t n) {
    char tmp[4];
    for (size_t i = 0; i < n; ++i) {
        snprintf(tmp, sizeof tmp, "%02X ", p[i]);
        out += tmp;
    }
    out.append(3 * (16 - n), ' ');
    out += "  ";
    for (size_t i = 0; i < n; ++i) out += (p[i] >= 0x20 && p[i] < 0x7F) ? char(p[i]) : '.';
}

void emit(const void *record, const PaypalTraceHead *head_c, const char *module, int line,
          uint32_t level, const void *data, size_t length, bool dump, const char *format,
          va_list args) {
    // The head is reached through a const record, but its lock is the
    // writer's to take.
    auto *head = const_cast<PaypalTraceHead *>(head_c);
    std::lock_guard<std::mutex> guard(head->lock);
    std::string text = build_line(record, head, module, line, level, dump, format, args);
    std::string bytes;
    if (dump && length > 0) {
        bytes.assign(static_cast<const char *>(data), length);
        PaypalTraceScrub(head, bytes);
    }
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (head->mask & kPpTraceRing) {
        Ring &r = ring();
        std::lock_guard<std::mutex> ring_guard(r.lock);
        if (r.slots.empty()) r.slots.resize(kPpTraceRingSlots);
        ring_store(r, std::move(text));
        if (dump && !bytes.empty()) {
            ring_store(r, std::string());
            for (size_t i = 0; i < bytes.size(); i += 16) {
                std::string row(10, ' ');
                hex_row(row, p + i, std::min<size_t>(16, bytes.size() - i));
                ring_store(r, std::move(row));
            }
            ring_store(r, std::string());
        }
        if (level == kPpTraceError) ring_flush(r, head);
        return;
    }
    FILE *out = open_log(head->log_file, (head->mask & kPpTracePerThread) != 0);
    if (!out) return;
    if (!dump || bytes.empty()) {
        fprintf(out, "%s\n", text.c_str());
    } else {
        std::string block = text;
        block += "\n          ";
        for (size_t i = 0; i < bytes.size(); i += 16) {
            size_t n = std::min<size_t>(16, bytes.size() - i);
            std::string row;
            hex_row(row, p + i, n);
            block += row;
            block += n == 16 ? "\n          " : "\n";
        }
        block += "\n";
        fputs(block.c_str(), out);
    }
    close_log(out);
}

}  // namespace

bool PaypalTraceEnabled(const void *record, uint32_t level) {
    const PaypalTraceHead *head = resolve(record);
    return head && head->mask != 0 && level_passes(head->mask, level);
}

void PaypalTrace(const void *record, const char *module, int line, uint32_t level,
                 const char *format, ...) {
    const PaypalTraceHead *head = resolve(record);
    if (!head || !level_passes(head->mask, level)) return;
    va_list args;
    va_start(args, format);
    emit(record, head, module, line, level, nullptr, 0, false, format, args);
    va_end(args);
}

void PaypalTraceDump(const void *record, const char *module, int line, uint32_t level,
                     const void *data, size_t length, const char *format, ...) {
    const PaypalTraceHead *head = resolve(record);
    if (!head || !(head->mask & kPpTracePktDump) || !level_passes(head->mask, level)) return;
    va_list args;
    va_start(args, format);
    emit(record, head, module, line, level, data, length, true, format, args);
    va_end(args);
}

uint32_t PaypalTraceSetup(PaypalTraceHead *head, uint32_t mask, const char *log_file) {
    std::lock_guard<std::mutex> guard(head->lock);
    uint32_t old = head->mask;
    head->mask = mask;
    snprintf(head->log_file, sizeof head->log_file, "%s", log_file ? log_file : "");
    return old;
}
