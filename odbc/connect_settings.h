// Connection attributes: completing them from the data source's profile,
// the query options, and the DsnSettings record the prompt edits.
//
// Exports: complete_from_profile, set_query_options, settings_from_list,
// settings_to_list, credentials_complete, read_flag, read_number,
// prompt_for_settings.
#pragma once

#include <string_view>

#include "odbc/handles.h"
#include "support/connstr.h"
#include "support/dsn_settings.h"

/// Adds the profile values of data source `dsn` that the list lacks, keyword
/// by keyword as the connection needs them. -1 when memory runs out.
[[nodiscard]] int complete_from_profile(const CvConfig *config, ConnAttrList *list, std::string_view dsn);

/// Sets the connection's query options from the list.
void set_query_options(DBC *dbc);

/// 0 when absent or exactly "0", else 1.
[[nodiscard]] int read_flag(const char *text);
/// "yes"/"on" (any case) give 1 when `words` is set; otherwise the decimal
/// integer the text starts with (0 when none or absent), or `fallback` when
/// absent.
[[nodiscard]] int read_number(const char *text, int fallback, bool words);

/// Fills `s` from the list's prompt keywords.
void settings_from_list(const ConnAttrList *list, DsnSettings *s);
/// Writes a confirmed record back into the list. -1 when memory runs out.
[[nodiscard]] int settings_to_list(const DsnSettings *s, ConnAttrList *list);

/// Both client id and client secret present and not empty.
[[nodiscard]] bool credentials_complete(const ConnAttrList *list);

/// The prompt step: 0 go on (credentials complete or the dialog completed
/// them), -1 go on with the list as it is (no dialog could be shown or it
/// failed), 100 the user confirmed without complete credentials.
[[nodiscard]] int prompt_for_settings(DBC *dbc, void *window, int completion);
