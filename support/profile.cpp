// Profile reading through a run-time loaded libodbcinst.
#include "support/profile.h"

#include <dlfcn.h>

#include <new>

struct CvConfig {
    void *library;         // dlopen handle of libodbcinst, or null
    ProfileReader reader;  // SQLGetPrivateProfileString, or null
    std::string section;   // the driver's odbcinst.ini section
};

CvConfig *open_registry() {
    auto *c = new (std::nothrow) CvConfig();
    if (!c) return nullptr;
    // RTLD_NOLOAD first: inside a driver manager the library is already there.
    for (const char *name : {"libodbcinst.so.2", "libodbcinst.so"}) {
        c->library = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (!c->library) c->library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (c->library) break;
    }
    if (c->library)
        c->reader = reinterpret_cast<ProfileReader>(dlsym(c->library, "SQLGetPrivateProfileString"));
    return c;
}

void close_registry(CvConfig *config) {
    if (!config) return;
    if (config->library) dlclose(config->library);
    delete config;
}

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
