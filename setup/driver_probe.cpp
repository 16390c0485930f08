// Loading the driver for Test.
#include "setup/driver_probe.h"

#include <dlfcn.h>

#include "setup/installer.h"

namespace {

constexpr const char *kDriverFile = "libcvconnect.so";

std::string registered_driver(const std::string &driver_name) {
    const Installer *in = installer();
    if (!in || driver_name.empty()) return "";
    char buf[1024] = "";
    int n = in->get_profile(driver_name.c_str(), "Driver", "", buf, sizeof buf, "odbcinst.ini");
    if (n <= 0) return "";
    buf[sizeof buf - 1] = '\0';
    return buf;
}

std::string beside_this_library() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&load_driver_test), &info) || !info.dli_fname) return "";
    std::string self = info.dli_fname;
    size_t slash = self.rfind('/');
    return slash == std::string::npos ? "" : self.substr(0, slash + 1) + kDriverFile;
}

}  // namespace

DriverTestFn load_driver_test(const std::string &driver_name, std::string *why) {
    why->clear();
    for (const std::string &path :
         {registered_driver(driver_name), beside_this_library(), std::string(kDriverFile)}) {
        if (path.empty()) continue;
        void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char *e = dlerror();
            if (why->empty()) *why = e ? e : path;
            continue;
        }
        if (auto fn = reinterpret_cast<DriverTestFn>(dlsym(lib, "driver_test"))) return fn;
        *why = path + " has no driver_test";
    }
    if (why->empty()) *why = std::string(kDriverFile) + " not found";
    return nullptr;
}
