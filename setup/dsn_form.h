// The data-source form: the fields the setup dialog edits, how each is named
// in attribute lists and in odbc.ini, and the conversions between attribute
// lists, the profile, the form and the DsnSettings record. No Qt here.
//
// Attribute keys match whole names without regard to case ("Proxy_User"
// never fills the proxy field). Check boxes read "yes", "true", "on" and
// non-zero numbers as on, as the driver reads its flags.
//
// Exports: DsnFieldId, DsnField, kDsnFields, DsnForm, Attributes,
// parse_attributes, field_for_attribute, read_check, load_form,
// form_into_settings, settings_attribute_list, kDriverName, kTextLimit.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/dsn_settings.h"

/// The name the driver is registered under in odbcinst.ini.
constexpr const char *kDriverName = "Corvane PAYPAL ODBC Driver";
/// Longest text a field holds (the DsnSettings texts less their terminator).
constexpr size_t kTextLimit = kDsnText - 1;

/// The dialog's fields, in the dialog's order.
enum DsnFieldId : int {
    kFieldDsn = 0,
    kFieldDescription,
    kFieldClientId,
    kFieldClientSecret,
    kFieldSandbox,
    kFieldFilterLocal,
    kFieldProxy,
    kFieldProxyUser,
    kFieldProxyPass,
    kFieldLogging,
    kFieldLogFile,
    kFieldFlushOnUpdate,
    kFieldQueryTimeout,
    kFieldMaxNum,
    kFieldCount
};

enum class FieldKind { kText, kCheck };
/// How a check box is written to the profile.
enum class CheckWords { kNone, kYesNo, kOneZero };

struct DsnField {
    const char *label;  // with its mnemonic
    const char *tip;    // tool tip and what's-this text
    FieldKind kind;
    CheckWords words;         // check boxes only
    const char *profile_key;  // written as (null: the DSN names the section)
    const char *names[2];     // attribute names (whole, any case); names[1] may be null
    const char *fallback;     // when neither the attributes nor the profile give it
    bool password;            // echoes as a password
};

extern const std::array<DsnField, kFieldCount> kDsnFields;

/// An attribute list: key/value pairs in the caller's order.
using Attributes = std::vector<std::pair<std::string, std::string>>;

/// The values the dialog shows and saves.
struct DsnForm {
    std::array<std::string, kFieldCount> text{};  // line edits
    std::array<bool, kFieldCount> checked{};      // check boxes
    std::string opened_dsn;                       // the name the form was loaded with ("" when new)
    std::string driver;                           // driver description the DSN is saved under
    Attributes extra;      // given keys the dialog does not manage; saved as given
    std::string base_url;  // for Test: from the attributes, else the profile
    std::string cert;      // likewise
};

/// Splits a NUL-separated attribute list ("key=value\0...\0\0"). Items
/// without '=' are skipped; at most 256 items and 64 KiB are read.
[[nodiscard]] Attributes parse_attributes(const char *list);

/// The field an attribute key names, or -1.
[[nodiscard]] int field_for_attribute(std::string_view key);

/// The DSN an attribute list names ("" when none), one trailing ';' removed.
[[nodiscard]] std::string attribute_dsn(const Attributes &attributes);

/// A check box's state from a profile or attribute value.
[[nodiscard]] bool read_check(std::string_view value);

/// Reads `key` of data source `dsn` in odbc.ini ("" fallback when the
/// installer is missing). Values are cut at kTextLimit bytes.
[[nodiscard]] std::string read_dsn_value(const std::string &dsn, const char *key,
                                         const char *fallback);

/// Fills `form` from `attributes`; when a DSN is known, each value the
/// attributes do not give comes from its profile entry, else the default.
void load_form(DsnForm *form, const Attributes &attributes);

/// Copies the form into `s` (texts cut to fit, numbers as decimal integers).
/// Fields the form does not manage (base_url, cert) are left as they are.
void form_into_settings(const DsnForm &form, DsnSettings *s);

/// The attribute list the prompt opens the dialog with (NUL-separated pairs,
/// ended by an empty string).
[[nodiscard]] std::string settings_attribute_list(const DsnSettings &s);
