// Profile reading through a run-time loaded libodbcinst.
#include "support/profile.h"

#include <dlfcn.h>

#include <new>

struct CvConfig {
    ProfileReader reader;  // SQLGetPrivateProfileString, or null
    std::string section;   // the driver's odbcinst.ini section
};

namespace {

// The installer library is loaded once per process and never unloaded: it
// keeps caches of the ini files it read, and unloading it would leak them (or
// pull it from under a driver manager that loaded it too).
ProfileReader installer_reader() {
    static const ProfileReader reader = [] {
        void *lib = nullptr;
        for (const char *name : {"libodbcinst.so.2", "libodbcinst.so"}) {
            lib = dlopen(name, RTLD_NOW | RTLD_LOCAL);
            if (lib) break;
        }
        return lib ? reinterpret_cast<ProfileReader>(dlsym(lib, "SQLGetPrivateProfileString"))
                   : nullptr;
    }();
    return reader;
}

}  // namespace

CvConfig *open_registry() {
    auto *c = new (std::nothrow) CvConfig();
    if (!c) return nullptr;
    c->reader = installer_reader();
    return c;
}

void close_registry(CvConfig *config) { delete config; }

void set_config(CvConfig *config, std::string_view key_path) {
    if (!config) return;
    // "Software\Name\Configuration" -> "Name"; any other text is the section.
    std::string_view s = key_path;
    if (s.starts_with("Software\\")) s.remove_prefix(9);
    if (s.ends_with("\\Configuration")) s.remove_suffix(14);
    config->section.assign(s);
}

void set_ini_function(CvConfig *config, ProfileReader reader) {
    if (config && reader) config->reader = reader;
}

std::string get_profile_string(const CvConfig *config, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::string_view file) {
    if (!config || !config->reader || section.empty()) return std::string(fallback);
    std::string sec(section), k(key), f(file), d(fallback);
    char buf[4096];
    buf[0] = '\0';
    int n = config->reader(sec.c_str(), k.c_str(), d.c_str(), buf, sizeof buf, f.c_str());
    if (n < 0) return d;
    buf[sizeof buf - 1] = '\0';
    return std::string(buf);
}

std::string get_default(const CvConfig *config, std::string_view key, std::string_view fallback) {
    if (!config) return std::string(fallback);
    return get_profile_string(config, config->section, key, fallback, "odbcinst.ini");
}
