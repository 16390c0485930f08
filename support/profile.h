// Configuration and profile reading through the ODBC installer library.
//
// The installer library (libodbcinst) is loaded at run time with dlopen, so
// the driver never links a driver manager's library; when the driver manager
// already loaded it, dlopen returns the same copy. The driver's configuration
// lives in its own odbcinst.ini section, named by the configuration key path
// given to set_config ("Software\<section>\Configuration" names <section>).
//
// Exports: CvConfig, open_registry, close_registry, set_config, get_default,
// get_profile_string, set_ini_function, ProfileReader.
#pragma once

#include <string>
#include <string_view>

struct CvConfig;

/// Signature of SQLGetPrivateProfileString.
using ProfileReader = int (*)(const char *section, const char *key, const char *fallback,
                              char *out, int capacity, const char *file);

/// Opens the configuration handle (loads the installer library if it can).
/// Never null unless memory is exhausted; without an installer library every
/// read gives its default.
[[nodiscard]] CvConfig *open_registry();
void close_registry(CvConfig *config);

/// Names the configuration key (see above).
void set_config(CvConfig *config, std::string_view key_path);

/// Replaces the profile reader (tests, or an application-supplied reader); a
/// null reader keeps the installer library's.
void set_ini_function(CvConfig *config, ProfileReader reader);

/// Reads `key` of the driver's configuration section; `fallback` when unset.
[[nodiscard]] std::string get_default(const CvConfig *config, std::string_view key,
                                      std::string_view fallback);

/// Reads `key` of `section` in `file` ("odbc.ini" or "odbcinst.ini") through
/// the configuration's reader; `fallback` when unset or unreadable. Values are
/// limited to 4,095 bytes.
[[nodiscard]] std::string get_profile_string(const CvConfig *config, std::string_view section,
                                             std::string_view key, std::string_view fallback,
                                             std::string_view file);
