// The setup library's exported functions: ConfigDSN and ConfigDSN_I (the
// installer adds, configures and removes data sources), ConfigDriver, and
// dsn_complete_info / dsn_complete_error (the driver's prompt). No exception
// leaves any of them.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "setup/dialog_host.h"
#include "setup/dsn_store.h"
#include "setup/installer.h"

#define CV_SETUP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr WORD kAddDsn = ODBC_ADD_DSN;
constexpr WORD kConfigDsn = ODBC_CONFIG_DSN;
constexpr WORD kRemoveDsn = ODBC_REMOVE_DSN;
static_assert(kAddDsn == 1 && kConfigDsn == 2 && kRemoveDsn == 3);
constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;

constexpr const char kFarewell[] = "Bye Bye from the Corvane Paypal ODBC Driver";
constexpr WORD kFarewellLength = 44;  // the text and its terminator

void post(unsigned code, const char *text) {
    post_installer_errors({{code, text}});
}

BOOL config_dsn(HWND window, WORD request, LPCSTR driver, LPCSTR attributes) {
    if (request != kAddDsn && request != kConfigDsn && request != kRemoveDsn) {
        post(kErrInvalidRequest, "Invalid type of request");
        return kFalse;
    }
    if (request != kAddDsn && (!attributes || !*attributes)) {
        post(kErrInvalidName, "Invalid lpszAttributes");
        return kFalse;
    }
    Attributes given = parse_attributes(attributes);
    InstallerErrors errors;
    if (request == kRemoveDsn) {
        std::string dsn = attribute_dsn(given);
        if (dsn.empty()) {
            post(kErrInvalidName, "Invalid DSN specified to ODBC_REMOVE_DSN");
            return kFalse;
        }
        if (remove_data_source(dsn, &errors)) return kTrue;
        post_installer_errors(errors);
        return kFalse;
    }
    DsnForm form;
    form.driver = driver && *driver ? driver : kDriverName;
    load_form(&form, given);
    // A window means the user is there to see a dialog; without one (or
    // without a display) the values are saved as given.
    if (window &&
        run_setup_dialog(&form, SetupMode::kConfigure, nullptr) != DialogOutcome::kUnavailable)
        return kTrue;
    if (save_form(form, &errors)) return kTrue;
    post_installer_errors(errors);
    return kFalse;
}

}  // namespace

CV_SETUP_EXPORT BOOL INSTAPI ConfigDSN(HWND window, WORD request, LPCSTR driver,
                                       LPCSTR attributes) {
    try {
        return config_dsn(window, request, driver, attributes);
    } catch (const std::bad_alloc &) {
        post(kErrOutOfMemory, "Out of memory");
    } catch (...) {
        post(kErrGeneral, "General installer error");
    }
    return kFalse;
}

CV_SETUP_EXPORT bool ConfigDSN_I(HWND window, WORD request, LPCSTR driver, LPCSTR attributes) {
    return ConfigDSN(window, request, driver, attributes) != kFalse;
}

CV_SETUP_EXPORT BOOL INSTAPI ConfigDriver(HWND, WORD request, LPCSTR, LPCSTR, LPSTR message,
                                          WORD capacity, WORD *length) {
    if (request != ODBC_INSTALL_DRIVER && request != ODBC_REMOVE_DRIVER) {
        post(kErrInvalidRequest, "Invalid type of request");
        return kFalse;
    }
    if (message && capacity > 0) {
        size_t n = std::min<size_t>(sizeof kFarewell - 1, capacity - 1u);
        std::memcpy(message, kFarewell, n);
        message[n] = '\0';
    }
    if (length) *length = kFarewellLength;
    return kTrue;
}

/// The driver's prompt: 0 when the user pressed OK (the record then holds
/// the dialog's values), 100 when cancelled or when no dialog can be shown.
CV_SETUP_EXPORT int dsn_complete_info(void * /*dbc*/, void *window, DsnSettings *settings) {
    if (!settings || !window) return kSetupCancel;
    try {
        DsnForm form;
        form.driver = kDriverName;
        load_form(&form, parse_attributes(settings_attribute_list(*settings).c_str()));
        form.base_url.assign(settings->base_url, strnlen(settings->base_url, kDsnText));
        form.cert.assign(settings->cert, strnlen(settings->cert, kDsnText));
        DialogOutcome r = run_setup_dialog(&form, SetupMode::kComplete, settings);
        explicit_bzero(form.text[kFieldClientSecret].data(), form.text[kFieldClientSecret].size());
        explicit_bzero(form.text[kFieldProxyPass].data(), form.text[kFieldProxyPass].size());
        return r == DialogOutcome::kOk ? kSetupOk : kSetupCancel;
    } catch (...) {
        return kSetupCancel;
    }
}

/// After a failed prompt: no dialog; the system's last error code.
CV_SETUP_EXPORT int dsn_complete_error(void *, int, void *) {
    return errno;
}
