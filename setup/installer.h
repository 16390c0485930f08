// The ODBC installer library (libodbcinst), loaded at run time.
//
// The setup library never links a driver manager's libraries: it dlopens
// libodbcinst, which returns the copy the driver manager already loaded when
// unixODBC itself called ConfigDSN. Every installer call clears the
// installer's error list, so errors to hand back to the caller are collected
// as they happen and posted only once nothing else will call the installer
// (post_installer_errors, last thing before returning).
//
// Exports: Installer, installer, InstallerError, InstallerErrors,
// take_installer_errors, post_installer_errors, kErr* codes.
#pragma once

#include <odbcinst.h>

#include <string>
#include <vector>

/// The installer functions the setup library uses; all null when
/// libodbcinst cannot be loaded.
struct Installer {
    decltype(&::SQLGetPrivateProfileString) get_profile;  // section, key, default, out, size, file
    decltype(&::SQLWritePrivateProfileString)
        write_profile;                        // section, key, value (null deletes), file
    decltype(&::SQLWriteDSNToIni) write_dsn;  // replaces the section: [dsn] Driver=...
    decltype(&::SQLRemoveDSNFromIni) remove_dsn;
    decltype(&::SQLValidDSN) valid_dsn;
    decltype(&::SQLGetConfigMode) get_config_mode;  // ODBC_USER_DSN, ODBC_SYSTEM_DSN, ODBC_BOTH_DSN
    decltype(&::SQLInstallerError) installer_error;  // 1-based; SQL_NO_DATA past the last
    decltype(&::SQLPostInstallerError) post_error;
};

/// The loaded installer, or null when libodbcinst is missing or lacks one of
/// the functions. Loaded once per process and never unloaded.
[[nodiscard]] const Installer *installer();

// Installer error codes the setup library posts.
constexpr unsigned kErrGeneral = ODBC_ERROR_GENERAL_ERR;
constexpr unsigned kErrInvalidRequest = ODBC_ERROR_INVALID_REQUEST_TYPE;
constexpr unsigned kErrInvalidName = ODBC_ERROR_INVALID_NAME;
constexpr unsigned kErrInvalidDsn = ODBC_ERROR_INVALID_DSN;
constexpr unsigned kErrRequestFailed = ODBC_ERROR_REQUEST_FAILED;
constexpr unsigned kErrOutOfMemory = ODBC_ERROR_OUT_OF_MEM;
static_assert(kErrInvalidRequest == 5 && kErrInvalidName == 7 && kErrInvalidDsn == 9);

struct InstallerError {
    unsigned code;     // ODBC_ERROR_*
    std::string text;  // the installer's message
};
using InstallerErrors = std::vector<InstallerError>;

/// Appends the installer's current errors (those of the last failed call) to
/// `errors`; when the installer reports none, appends `code` / `fallback`.
void take_installer_errors(InstallerErrors *errors, unsigned code, const char *fallback);

/// Posts `errors` with SQLPostInstallerError, in order, for the caller of
/// SQLConfigDataSource to read. Call it after the last other installer call.
void post_installer_errors(const InstallerErrors &errors);
