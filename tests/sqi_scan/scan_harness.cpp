// The emulator process and a connected PayPal provider for scan tests.
#include "scan_harness.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "support/connstr.h"
#include "support/pool.h"
#include "sqi/windows.h"

extern char **environ;

namespace {

int callback(DalRecord *, int code, DalServiceRequest *r) {
    if (code == DAL_SERVICE_POST_ERROR && r->message) posted_messages().push_back(r->message);
    return DAL_OK;
}

}  // namespace

std::vector<std::string> &posted_messages() {
    static std::vector<std::string> messages;
    return messages;
}

bool Emulator::start(const std::vector<std::string> &extra) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::string script = std::string(CV_SOURCE_DIR) + "/tools/emulator/paypal_emulator.py";
    char dir[] = "/tmp/cv_scan_emuXXXXXX";
    if (!mkdtemp(dir)) return false;
    std::vector<std::string> args = {"python3", script, "--state-dir", dir};
    if (!tls) args.push_back("--plain");
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    pid_t child;
    int rc = posix_spawnp(&child, "python3", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }
    pid = child;
    FILE *out = fdopen(fds[0], "r");
    char line[1024];
    bool ready = false;
    while (out && fgets(line, sizeof line, out)) {
        if (strncmp(line, "PORT ", 5) == 0) port = static_cast<int>(strtol(line + 5, nullptr, 10));
        if (strncmp(line, "CA ", 3) == 0) {
            ca_path = line + 3;
            while (!ca_path.empty() && (ca_path.back() == '\n' || ca_path.back() == '\r')) ca_path.pop_back();
        }
        if (strncmp(line, "LOG ", 4) == 0) {
            log_path = line + 4;
            while (!log_path.empty() && (log_path.back() == '\n' || log_path.back() == '\r')) log_path.pop_back();
        }
        if (strncmp(line, "READY", 5) == 0) {
            ready = true;
            break;
        }
    }
    if (out) fclose(out);
    return ready && port > 0;
}

void Emulator::stop() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        // 70: one of the emulator's request handlers raised (its traceback is
        // on stderr): a fault of the emulator must fail the run.
        if (WIFEXITED(status) && WEXITSTATUS(status) == 70) {
            std::fprintf(stderr, "an emulator request handler raised; failing the run\n");
            std::_Exit(1);
        }
    }
    pid = -1;
}

std::vector<json_t *> Emulator::requests() const {
    std::vector<json_t *> out;
    std::ifstream in(log_path);
    std::string line;
    while (std::getline(in, line)) {
        json_t *j = json_loads(line.c_str(), 0, nullptr);
        if (j) out.push_back(j);
    }
    return out;
}

size_t Emulator::request_count() const {
    auto all = requests();
    size_t n = all.size();
    for (json_t *j : all) json_decref(j);
    return n;
}

size_t Emulator::request_count(const char *path) const {
    size_t n = 0;
    for (json_t *j : requests()) {
        const char *p = json_string_value(json_object_get(j, "path"));
        n += p && std::strcmp(p, path) == 0;
        json_decref(j);
    }
    return n;
}

std::string cond_time(int64_t seconds) {
    std::string s = windows_time_text(seconds);  // "YYYY-MM-DDTHH:MM:SSZ"
    s[10] = ' ';
    s.pop_back();
    return s;
}

std::string Emulator::last_request_line() const {
    auto all = requests();
    std::string out;
    if (!all.empty()) {
        json_t *j = all.back();
        out = std::string(json_string_value(json_object_get(j, "method"))) + " " +
              json_string_value(json_object_get(j, "path"));
        const char *q = json_string_value(json_object_get(j, "query"));
        if (q && *q) out += std::string("?") + q;
    }
    for (json_t *j : all) json_decref(j);
    return out;
}

std::string Emulator::last_header(const char *name) const {
    auto all = requests();
    std::string out = "<none>";
    if (!all.empty()) {
        json_t *h = json_object_get(all.back(), "headers");
        const char *k;
        json_t *v;
        // headers are logged as an object or as a list of pairs
        if (json_is_object(h)) {
            json_object_foreach(h, k, v) {
                if (strcasecmp(k, name) == 0 && json_is_string(v)) out = json_string_value(v);
            }
        } else if (json_is_array(h)) {
            size_t i;
            json_array_foreach(h, i, v) {
                const char *hk = json_string_value(json_array_get(v, 0));
                const char *hv = json_string_value(json_array_get(v, 1));
                if (hk && hv && strcasecmp(hk, name) == 0) out = hv;
            }
        }
    }
    for (json_t *j : all) json_decref(j);
    return out;
}

void Emulator::clear_log() const { std::ofstream(log_path, std::ios::trunc).close(); }

Emulator &emulator(int instance) {
    static Emulator emus[kEmulatorInstances];
    static std::once_flag started[kEmulatorInstances];
    Emulator &emu = emus[instance];
    std::call_once(started[instance], [&emu] {
        if (!emu.start({})) emu.port = 0;
        atexit([] {
            for (Emulator &e : emus)
                if (e.pid > 0) e.stop();
        });
    });
    return emu;
}

ScanEnv::~ScanEnv() {
    if (it) (void)SQICloseIterator(it);
    if (env) {
        (void)SQIDisconnect(env);
        (void)SQIFreeEnv(env, nullptr);
    }
    if (pool) cv_mem_release_handle(pool);
}

bool ScanEnv::connect(const std::string &extra, const Emulator *emu) {
    pool = cv_mem_alloc_handle(nullptr);
    const DalLink link{nullptr, nullptr, callback};
    if (SQIAllocEnv(&link, &env, nullptr) != DAL_OK) return false;
    ConnAttrList *attrs = init_con_str(pool);
    const Emulator *target = emu ? emu : &emulator();
    std::string text = "client_id=emu-client-id;client_secret=emu-client-secret;base_url=" + target->base_url() + ";";
    if (target->tls) text += "cert=" + target->ca_path + ";";
    text += extra;
    if (parse_connection_string(attrs, text.c_str(), static_cast<long>(text.size())) != 0) return false;
    char out[1024];
    int rc = SQIConnect(env, attrs, nullptr, out, sizeof out);
    free_con_str(attrs);
    if (rc != DAL_OK && rc != DAL_INFO) return false;
    it = static_cast<PaypalIterator *>(SQIOpenIterator(nullptr, env, nullptr, nullptr));
    return it != nullptr;
}

int ScanEnv::start(const char *table, const std::vector<Cond> &conds) {
    TableInfo info{};
    snprintf(info.table, sizeof info.table, "%s", table);
    std::vector<ColumnInfo> cols(conds.size());
    std::vector<Value> values(conds.size());
    std::vector<std::string> texts(conds.size());
    std::vector<Restriction> rs(conds.size());
    std::vector<Restriction *> ptrs;
    for (size_t i = 0; i < conds.size(); ++i) {
        snprintf(cols[i].column, sizeof cols[i].column, "%s", conds[i].column.c_str());
        Value &v = values[i];
        v = Value{};
        v.kind = kValueNodeKind;
        texts[i] = conds[i].text;
        if (conds[i].is_ts) {
            v.type = VT_TIMESTAMP;
            int y, mo, d, h, mi, s;
            (void)sscanf(texts[i].c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
            v.data.ts = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                         static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                                         static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), 0};
        } else if (conds[i].is_int) {
            v.type = VT_INTEGER;
            v.data.i = static_cast<int32_t>(strtol(texts[i].c_str(), nullptr, 10));
        } else {
            v.type = VT_CHAR;
            v.data.s = texts[i].data();
            v.length = static_cast<int32_t>(texts[i].size());
        }
        rs[i] = Restriction{};
        rs[i].column = &cols[i];
        rs[i].op = conds[i].op;
        rs[i].value = &v;
        ptrs.push_back(&rs[i]);
    }
    return SQIStartQuery(it, &info, nullptr, nullptr, static_cast<int>(ptrs.size()), ptrs.data());
}

int ScanEnv::next() { return SQINextRow(it); }

int ScanEnv::column_number(const char *name) const {
    return it->table ? paypal_find_column(it->table, name) + 1 : 0;
}

std::string ScanEnv::text(const char *name, SQLLEN capacity) {
    std::string buf(static_cast<size_t>(capacity), '\0');
    SQLLEN len = 0;
    int n = column_number(name);
    if (n <= 0) return "<no column " + std::string(name) + ">";
    (void)SQIGetData(it, n, SQL_C_CHAR, buf.data(), capacity, &len);
    if (len == SQL_NULL_DATA) return "<NULL>";
    return std::string(buf.c_str());
}

int ScanEnv::count_rows() {
    int n = 0, rc;
    while ((rc = next()) == DAL_OK) ++n;
    return rc == DAL_NO_DATA ? n : -1;
}
