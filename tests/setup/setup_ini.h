// Test helpers: a private odbc.ini per test, and reading it back.
#pragma once

#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "setup/installer.h"

/// Points unixODBC at a fresh directory: ODBCSYSINI there, ODBCINI = <dir>/odbc.ini.
struct PrivateIni {
    std::filesystem::path dir;
    std::filesystem::path user;

    PrivateIni() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "cvsetup-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
        user = dir / "odbc.ini";
        setenv("ODBCSYSINI", dir.c_str(), 1);
        setenv("ODBCINI", user.c_str(), 1);
    }
    ~PrivateIni() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    /// Replaces the file. A write through the installer first empties its
    /// read cache, which would otherwise answer from the file as it was.
    void write(const std::string &text) const {
        if (const Installer *in = installer())
            (void)in->write_profile("cvsetup-scratch", "k", "v", "odbc.ini");
        std::ofstream(user, std::ios::trunc) << text;
    }

    /// Sections and keys of the user odbc.ini (keys without regard to case).
    using Section =
        std::map<std::string, std::string, decltype([](const std::string &a, const std::string &b) {
                     return strcasecmp(a.c_str(), b.c_str()) < 0;
                 })>;
    std::map<std::string, Section> read() const {
        std::map<std::string, Section> out;
        std::ifstream in(user);
        std::string line, section;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#' || line[0] == ';') continue;
            if (line[0] == '[') {
                section = line.substr(1, line.find(']') - 1);
                out[section];
                continue;
            }
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            auto trim = [](std::string s) {
                s.erase(0, s.find_first_not_of(' '));
                s.erase(s.find_last_not_of(' ') + 1);
                return s;
            };
            out[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
        }
        return out;
    }
    std::optional<std::string> value(const std::string &section, const std::string &key) const {
        auto all = read();
        auto s = all.find(section);
        if (s == all.end()) return std::nullopt;
        auto k = s->second.find(key);
        if (k == s->second.end()) return std::nullopt;
        return k->second;
    }
    bool has(const std::string &section) const { return read().count(section) > 0; }
};
