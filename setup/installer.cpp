// Run-time loading of libodbcinst, and the installer error list.
#include "setup/installer.h"

#include <dlfcn.h>

namespace {

template <typename Fn>
bool find(void *lib, const char *name, Fn *slot) {
    *slot = reinterpret_cast<Fn>(dlsym(lib, name));
    return *slot != nullptr;
}

Installer load() {
    Installer in{};
    void *lib = nullptr;
    for (const char *name : {"libodbcinst.so.2", "libodbcinst.so"})
        if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (!lib) return in;
    bool ok = find(lib, "SQLGetPrivateProfileString", &in.get_profile) &&
              find(lib, "SQLWritePrivateProfileString", &in.write_profile) &&
              find(lib, "SQLWriteDSNToIni", &in.write_dsn) &&
              find(lib, "SQLRemoveDSNFromIni", &in.remove_dsn) &&
              find(lib, "SQLValidDSN", &in.valid_dsn) &&
              find(lib, "SQLGetConfigMode", &in.get_config_mode) &&
              find(lib, "SQLInstallerError", &in.installer_error) &&
              find(lib, "SQLPostInstallerError", &in.post_error);
    // The library stays loaded: the driver manager may share it, and it keeps
    // caches of the ini files it read.
    return ok ? in : Installer{};
}

}  // namespace

const Installer *installer() {
    static const Installer in = load();
    return in.get_profile ? &in : nullptr;
}

void take_installer_errors(InstallerErrors *errors, unsigned code, const char *fallback) {
    size_t before = errors->size();
    if (const Installer *in = installer()) {
        // The installer keeps at most eight errors per call.
        for (WORD i = 1; i <= 8; i++) {
            DWORD err = 0;
            char text[SQL_MAX_MESSAGE_LENGTH] = "";
            WORD len = 0;
            RETCODE rc = in->installer_error(i, &err, text, sizeof text, &len);
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
            text[sizeof text - 1] = '\0';
            errors->push_back({static_cast<unsigned>(err), text});
        }
    }
    if (errors->size() == before) errors->push_back({code, fallback});
}

void post_installer_errors(const InstallerErrors &errors) {
    const Installer *in = installer();
    if (!in) return;
    for (const InstallerError &e : errors) (void)in->post_error(e.code, e.text.c_str());
}
