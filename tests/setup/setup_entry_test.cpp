// The setup library's exports, loaded as the installer and the driver load
// them: requests it refuses, ConfigDriver's message, removal, the prompt
// without a window.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "setup/installer.h"
#include "support/dsn_settings.h"
#include "tests/setup/setup_ini.h"

namespace {

constexpr const char *kDriverNameForTest = "Corvane PAYPAL ODBC Driver";

struct SetupLibrary {
    void *lib = dlopen(CV_SETUP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    template <typename Fn>
    Fn get(const char *name) {
        return lib ? reinterpret_cast<Fn>(dlsym(lib, name)) : nullptr;
    }
};

using ConfigDsnFn = BOOL (*)(HWND, WORD, LPCSTR, LPCSTR);
using ConfigDriverFn = BOOL (*)(HWND, WORD, LPCSTR, LPCSTR, LPSTR, WORD, WORD *);

// Every installer call starts a fresh error list; a write that succeeds
// leaves it empty.
void clear_installer_errors() {
    (void)installer()->write_profile("cvsetup-scratch", "k", "v", "odbc.ini");
}

InstallerErrors posted() {
    InstallerErrors e;
    take_installer_errors(&e, 0, "");
    if (e.size() == 1 && e[0].code == 0) e.clear();
    return e;
}

TEST(SetupEntry, ConfigDriverSaysGoodbyeWithinTheBuffer) {
    PrivateIni ini;
    SetupLibrary setup;
    auto config_driver = setup.get<ConfigDriverFn>("ConfigDriver");
    ASSERT_NE(config_driver, nullptr) << dlerror();
    char buf[20];
    std::memset(buf, 'x', sizeof buf);
    WORD len = 0;
    EXPECT_EQ(
        config_driver(nullptr, ODBC_INSTALL_DRIVER, kDriverNameForTest, "", buf, sizeof buf, &len),
        1);
    EXPECT_STREQ(buf, "Bye Bye from the Co");  // 19 characters and the terminator
    EXPECT_EQ(len, 44);
    char big[64];
    EXPECT_EQ(config_driver(nullptr, ODBC_REMOVE_DRIVER, nullptr, nullptr, big, sizeof big, &len),
              1);
    EXPECT_STREQ(big, "Bye Bye from the Corvane Paypal ODBC Driver");
    EXPECT_EQ(config_driver(nullptr, ODBC_REMOVE_DRIVER, nullptr, nullptr, nullptr, 0, nullptr), 1);
    clear_installer_errors();
    EXPECT_EQ(config_driver(nullptr, 7, nullptr, nullptr, big, sizeof big, &len), 0);
    auto e = posted();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].code, 5u);
    EXPECT_EQ(e[0].text, "Invalid type of request");
}

TEST(SetupEntry, ConfigDsnRefusesWhatItCannotDo) {
    PrivateIni ini;
    SetupLibrary setup;
    auto config_dsn = setup.get<ConfigDsnFn>("ConfigDSN");
    ASSERT_NE(config_dsn, nullptr) << dlerror();
    struct Case {
        WORD request;
        const char *attributes;
        unsigned code;
        const char *text;
    } cases[] = {
        {6, "DSN=A\0", 5, "Invalid type of request"},
        {0, "DSN=A\0", 5, "Invalid type of request"},
        {2, "", 7, "Invalid lpszAttributes"},
        {3, nullptr, 7, "Invalid lpszAttributes"},
        {3, "DSN=\0", 7, "Invalid DSN specified to ODBC_REMOVE_DSN"},
        {3, "DSNAME=A\0", 7, "Invalid DSN specified to ODBC_REMOVE_DSN"},
        {1, "DSN=bad[name]\0", 9, "Invalid DSN"},
    };
    for (const Case &c : cases) {
        clear_installer_errors();
        EXPECT_EQ(config_dsn(nullptr, c.request, kDriverNameForTest, c.attributes), 0) << c.request;
        auto e = posted();
        ASSERT_FALSE(e.empty()) << c.request;
        EXPECT_EQ(e[0].code, c.code) << c.request;
        EXPECT_EQ(e[0].text, c.text) << c.request;
    }
}

TEST(SetupEntry, ConfigDsnAddsWithoutAWindowAndRemovesByNameWithASemicolon) {
    PrivateIni ini;
    ini.write("[Keep]\nDriver = x\n");
    SetupLibrary setup;
    auto config_dsn = setup.get<ConfigDsnFn>("ConfigDSN");
    ASSERT_NE(config_dsn, nullptr);
    ASSERT_EQ(config_dsn(nullptr, ODBC_ADD_DSN, kDriverNameForTest, "DSN=Test\0client_id=id\0"), 1);
    EXPECT_EQ(ini.value("Test", "Client_Id"), "id");
    auto as_bool = setup.get<bool (*)(HWND, WORD, LPCSTR, LPCSTR)>("ConfigDSN_I");
    ASSERT_NE(as_bool, nullptr);
    EXPECT_TRUE(as_bool(nullptr, ODBC_REMOVE_DSN, kDriverNameForTest, "DSN=Test;\0"));
    EXPECT_FALSE(ini.has("Test"));
    EXPECT_TRUE(ini.has("Keep"));
}

TEST(SetupEntry, ThePromptWithoutAWindowCancelsAndLeavesTheSettings) {
    SetupLibrary setup;
    auto complete = setup.get<DsnCompleteInfoFn>("dsn_complete_info");
    auto complete_error = setup.get<int (*)(void *, int, void *)>("dsn_complete_error");
    ASSERT_NE(complete, nullptr);
    ASSERT_NE(complete_error, nullptr);
    static DsnSettings s{};
    dsn_set_text(s.dsn, "P");
    dsn_set_text(s.client_id, "id");
    EXPECT_EQ(complete(nullptr, nullptr, &s), 100);
    EXPECT_EQ(complete(nullptr, &s, nullptr), 100);
    EXPECT_STREQ(s.dsn, "P");
    EXPECT_STREQ(s.client_id, "id");
    errno = ENOENT;
    EXPECT_EQ(complete_error(nullptr, 0, nullptr), ENOENT);
}

}  // namespace
