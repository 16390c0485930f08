// Saving and removing data sources.
#include "setup/dsn_store.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kKeyListBytes = 16 * 1024;

bool same(const std::string &a, const char *b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// Keys the save writes itself, so a copied entry must not bring them along.
bool managed(const std::string &key) {
    if (same(key, "Driver")) return true;
    for (const DsnField &f : kDsnFields)
        if (f.profile_key && same(key, f.profile_key)) return true;
    return field_for_attribute(key) >= 0;
}

// The keys of a section in odbc.ini, in file order.
std::vector<std::string> section_keys(const Installer &in, const std::string &dsn) {
    std::vector<std::string> keys;
    std::string buf(kKeyListBytes, '\0');
    int n = in.get_profile(dsn.c_str(), nullptr, "", buf.data(), static_cast<int>(buf.size()),
                           "odbc.ini");
    if (n <= 0) return keys;
    for (size_t i = 0; i < static_cast<size_t>(n) && i < buf.size() && buf[i];) {
        size_t len = strnlen(buf.data() + i, buf.size() - i);
        keys.emplace_back(buf.data() + i, len);
        i += len + 1;
    }
    return keys;
}

std::string profile_value(const DsnForm &form, int i) {
    const DsnField &f = kDsnFields[i];
    if (f.kind == FieldKind::kText) return form.text[i];
    if (f.words == CheckWords::kYesNo) return form.checked[i] ? "Yes" : "No";
    return form.checked[i] ? "1" : "0";
}

// Writes every value the form manages, then `extra`, into section `dsn`.
bool write_values(const Installer &in, const DsnForm &form, const std::string &dsn,
                  const Attributes &extra, InstallerErrors *errors) {
    auto put = [&](const std::string &key, const std::string &value) {
        if (in.write_profile(dsn.c_str(), key.c_str(), value.c_str(), "odbc.ini")) return true;
        take_installer_errors(errors, kErrRequestFailed, "Unable to write the data source");
        return false;
    };
    for (int i = kFieldDsn + 1; i < kFieldCount; i++)
        if (!put(kDsnFields[i].profile_key, profile_value(form, i))) return false;
    for (const auto &[k, v] : extra)
        if (!put(k, v)) return false;
    return true;
}

}  // namespace

std::string ensure_private_ini() {
    const Installer *in = installer();
    UWORD mode = ODBC_USER_DSN;
    if (in) (void)in->get_config_mode(&mode);
    // The system file is shared with every user by design: left alone.
    if (mode == ODBC_SYSTEM_DSN) return "";
    std::string path;
    if (const char *ini = std::getenv("ODBCINI"); ini && *ini) {
        path = ini;
    } else if (const char *home = std::getenv("HOME"); home && *home) {
        path = std::string(home) + "/.odbc.ini";
    } else {
        return "";
    }
    // O_EXCL: a file with content keeps its owner and mode. An empty one of
    // ours is as good as new: the installer creates the file with the
    // default mode the first time anything reads it.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return path;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 && st.st_uid == geteuid() &&
        (st.st_mode & 0077) != 0)
        (void)fchmod(fd, 0600);
    close(fd);
    return path;
}

bool save_form(const DsnForm &form, InstallerErrors *errors) {
    const Installer *in = installer();
    if (!in) {
        errors->push_back(
            {kErrGeneral, "The ODBC installer library (libodbcinst) could not be loaded"});
        return false;
    }
    const std::string &name = form.text[kFieldDsn];
    const std::string &old = form.opened_dsn;
    if (name.empty() || !in->valid_dsn(name.c_str())) {
        errors->push_back({kErrInvalidDsn, "Invalid DSN"});
        return false;
    }
    ensure_private_ini();  // before anything reads: a read creates the file
    const std::string driver = form.driver.empty() ? kDriverName : form.driver;
    bool renamed = !old.empty() && strcasecmp(old.c_str(), name.c_str()) != 0;
    bool exists = !section_keys(*in, name).empty();
    if (renamed && exists) {
        errors->push_back({kErrInvalidDsn, "A data source named \"" + name + "\" already exists"});
        return false;
    }
    if (exists) {
        // In place, key by key: the entry's other keys stay where they are.
        if (!in->write_profile(name.c_str(), "Driver", driver.c_str(), "odbc.ini")) {
            take_installer_errors(errors, kErrRequestFailed, "Unable to write the data source");
            return false;
        }
        return write_values(*in, form, name, form.extra, errors);
    }
    // A new entry: copy the other keys of the entry it replaces, then the
    // values given with this request.
    Attributes kept;
    if (renamed)
        for (const std::string &key : section_keys(*in, old))
            if (!managed(key)) kept.emplace_back(key, read_dsn_value(old, key.c_str(), ""));
    for (const auto &[k, v] : form.extra) {
        bool replaced = false;
        for (auto &[kk, vv] : kept)
            if (strcasecmp(kk.c_str(), k.c_str()) == 0) vv = v, replaced = true;
        if (!replaced) kept.emplace_back(k, v);
    }
    if (!in->write_dsn(name.c_str(), driver.c_str())) {
        take_installer_errors(errors, kErrRequestFailed, "Unable to write the data source");
        return false;
    }
    if (!write_values(*in, form, name, kept, errors)) {
        (void)in->remove_dsn(name.c_str());  // no half-written entry; the old one is untouched
        return false;
    }
    if (renamed && !in->remove_dsn(old.c_str())) {
        take_installer_errors(errors, kErrRequestFailed,
                              "Unable to remove the data source under its old name");
        return false;
    }
    return true;
}

bool remove_data_source(const std::string &dsn, InstallerErrors *errors) {
    const Installer *in = installer();
    if (!in) {
        errors->push_back(
            {kErrGeneral, "The ODBC installer library (libodbcinst) could not be loaded"});
        return false;
    }
    if (in->remove_dsn(dsn.c_str())) return true;
    take_installer_errors(errors, kErrRequestFailed, "Unable to remove the data source");
    return false;
}
