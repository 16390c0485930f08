// The prompt step of SQLDriverConnect: the setup library's dialog completes
// missing credentials.
//
// The setup library is found from the driver's odbcinst.ini "Setup" value
// (its directory, then libcvsetup.so there), else by bare name. A library
// that may have started Qt is never unloaded. With no display, or no setup
// library, the connect goes on without prompting and says so in the trace.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/connect_settings.h"
#include "support/profile.h"
#include "support/trace.h"

namespace {

constexpr const char *kSetupLibrary = "libcvsetup.so";
constexpr const char *kDriverSection = "Corvane PAYPAL ODBC Driver";

bool have_display() {
    const char *x = std::getenv("DISPLAY");
    const char *w = std::getenv("WAYLAND_DISPLAY");
    const char *qpa = std::getenv("QT_QPA_PLATFORM");
    return (x && *x) || (w && *w) || (qpa && *qpa);
}

DsnCompleteInfoFn load_setup(const CvConfig *config) {
    std::string setup = get_profile_string(config, kDriverSection, "Setup", "", "odbcinst.ini");
    void *lib = nullptr;
    if (size_t slash = setup.rfind('/'); slash != std::string::npos) {
        std::string path = setup.substr(0, slash + 1) + kSetupLibrary;
        lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!lib) lib = dlopen(kSetupLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    // Never dlclose: the dialog may have started Qt, which cannot be unloaded.
    return reinterpret_cast<DsnCompleteInfoFn>(dlsym(lib, "dsn_complete_info"));
}

}  // namespace

int prompt_for_settings(DBC *dbc, void *window, int completion) {
    ConnAttrList *list = dbc->conn_attrs;
    if (credentials_complete(list) && completion != SQL_DRIVER_PROMPT) return 0;
    if (!have_display()) {
        log_message("driverconnect", __LINE__, kTraceInfo, "no display: connecting without a prompt");
        return -1;
    }
    DsnCompleteInfoFn complete = load_setup(dbc->env->config);
    if (!complete) {
        log_message("driverconnect", __LINE__, kTraceFailure, "Unable to load setup library (%s)", kSetupLibrary);
        return -1;
    }
    DsnSettings settings;
    settings_from_list(list, &settings);
    int r = complete(dbc, window, &settings);
    int written = r == 0 ? settings_to_list(&settings, list) : 0;
    // The record held the secret in plain text on the stack: wipe it.
    explicit_bzero(&settings, sizeof settings);
    if (r != 0 || written != 0) return -1;
    return credentials_complete(list) ? 0 : 100;
}
