// Saving and removing data sources in odbc.ini through the installer.
//
// Saving never loses a data source: a DSN saved under its own name is
// updated key by key in place, so keys the dialog does not manage (cert,
// base_url, disguise_long, ...) stay; a renamed or new DSN is written in full
// first (with the old entry's other keys copied over) and the old entry is
// removed only after that succeeded. A user odbc.ini the save creates is
// made mode 0600 first, since it holds the client secret.
//
// Exports: save_form, remove_data_source, ensure_private_ini.
#pragma once

#include <string>

#include "setup/dsn_form.h"
#include "setup/installer.h"

/// Writes the form's data source. false with `errors` filled when the
/// installer is missing, the name is not valid, it would replace another
/// data source, or a write failed (a half-written new entry is removed).
[[nodiscard]] bool save_form(const DsnForm &form, InstallerErrors *errors);

/// SQLRemoveDSNFromIni; false with the installer's errors on failure.
[[nodiscard]] bool remove_data_source(const std::string &dsn, InstallerErrors *errors);

/// The user odbc.ini the installer writes to (ODBCINI, else ~/.odbc.ini):
/// created with mode 0600 when missing, made 0600 when it is still empty.
/// Returns its path; "" in system mode (the system file is left alone).
std::string ensure_private_ini();
