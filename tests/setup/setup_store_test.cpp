// The data-source form and the odbc.ini store, against unixODBC's installer
// with a private odbc.ini per test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "setup/dsn_form.h"
#include "setup/dsn_store.h"
#include "tests/setup/setup_ini.h"

namespace {

// Attribute lists are written as literals with embedded NULs; the literal's
// own terminator ends the list.
DsnForm loaded(const char *attributes) {
    DsnForm form;
    form.driver = kDriverName;
    load_form(&form, parse_attributes(attributes));
    return form;
}

TEST(SetupForm, AttributeKeysMatchWholeNamesWithoutRegardToCase) {
    struct Case {
        const char *key;
        int field;
    } cases[] = {
        {"Proxy_User", kFieldProxyUser},
        {"proxy", kFieldProxy},
        {"PROXY_PASS", kFieldProxyPass},
        {"dsn", kFieldDsn},
        {"DSNX", -1},
        {"desc", kFieldDescription},
        {"Description", kFieldDescription},
        {"client_id", kFieldClientId},
        {"client", -1},
        {"Client_Secret", kFieldClientSecret},
        {"query_timeout", kFieldQueryTimeout},
        {"MAX_NUM", kFieldMaxNum},
        {"Logging", kFieldLogging},
        {"logfile", kFieldLogFile},
        {"log", -1},
        {"Sandbox", kFieldSandbox},
        {"filter_local", kFieldFilterLocal},
        {"Flush_On_Update", kFieldFlushOnUpdate},
        {"driver", -1},
        {"cert", -1},
        {"", -1},
    };
    for (const Case &c : cases) EXPECT_EQ(field_for_attribute(c.key), c.field) << c.key;
}

TEST(SetupForm, AttributeListsSplitAtNulsAndTheDsnLosesOneSemicolon) {
    const char list[] =
        "DSN=Test;\0Proxy_User=bob\0no equals sign\0 client_id = a=b \0\0ignored=1\0";
    Attributes a = parse_attributes(list);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1].first, "Proxy_User");
    EXPECT_EQ(a[2].first, "client_id");
    EXPECT_EQ(a[2].second, "a=b ");
    EXPECT_EQ(attribute_dsn(a), "Test");
    EXPECT_TRUE(parse_attributes(nullptr).empty());
    EXPECT_EQ(attribute_dsn(parse_attributes("dsn=a;;\0")), "a;");
}

TEST(SetupForm, CheckBoxesReadWordsAndNumbersAsTheDriverDoes) {
    for (const char *on : {"yes", "YES", "Yes", "true", "On", "1", "2", "-1", "7 days"})
        EXPECT_TRUE(read_check(on)) << on;
    for (const char *off : {"no", "No", "0", "", "false", "off", "abc", "00"})
        EXPECT_FALSE(read_check(off)) << off;
}

TEST(SetupForm, MissingValuesComeFromTheProfileThenTheDefaults) {
    PrivateIni ini;
    ini.write(
        "[P]\nDriver = x\nClient_Id = id\nSandbox = 2\nFilter_Local = No\nQuery_Timeout = 30\n"
        "Proxy = corp:3128\nbase_url = https://emu\ncert = /ca.pem\n");
    DsnForm f = loaded("DSN=P\0Proxy_User=bob\0base_url=https://given\0");
    EXPECT_EQ(f.opened_dsn, "P");
    EXPECT_EQ(f.text[kFieldProxyUser], "bob");
    EXPECT_EQ(f.text[kFieldProxy], "corp:3128") << "Proxy_User must not fill the proxy field";
    EXPECT_EQ(f.text[kFieldClientId], "id");
    EXPECT_TRUE(f.checked[kFieldSandbox]);
    EXPECT_FALSE(f.checked[kFieldFilterLocal]);
    EXPECT_FALSE(f.checked[kFieldLogging]);
    EXPECT_EQ(f.text[kFieldQueryTimeout], "30");
    EXPECT_EQ(f.text[kFieldMaxNum], "20");
    EXPECT_EQ(f.base_url, "https://given");
    EXPECT_EQ(f.cert, "/ca.pem");
    ASSERT_EQ(f.extra.size(), 1u);
    EXPECT_EQ(f.extra[0].first, "base_url");

    DsnForm fresh = loaded("client_id=x\0");
    EXPECT_EQ(fresh.opened_dsn, "");
    EXPECT_EQ(fresh.text[kFieldQueryTimeout], "60");
    EXPECT_TRUE(fresh.checked[kFieldFlushOnUpdate]);
    EXPECT_FALSE(loaded("DSN=P\0flush_on_update=0\0").checked[kFieldFlushOnUpdate]);
}

TEST(SetupStore, SavingUnderTheSameNameKeepsKeysTheDialogDoesNotManage) {
    PrivateIni ini;
    ini.write(
        "[P]\nDriver = old\nClient_Id = old\ncert = /ca.pem\nbase_url = https://emu\ndisguise_long "
        "= 1\n\n"
        "[Other]\nDriver = x\n");
    DsnForm f = loaded("DSN=P\0client_id=new\0sandbox=yes\0filter_local=1\0");
    InstallerErrors errors;
    ASSERT_TRUE(save_form(f, &errors));
    auto all = ini.read();
    auto &p = all["P"];
    EXPECT_EQ(p["Driver"], kDriverName);
    EXPECT_EQ(p["Client_Id"], "new");
    EXPECT_EQ(p["cert"], "/ca.pem");
    EXPECT_EQ(p["base_url"], "https://emu");
    EXPECT_EQ(p["disguise_long"], "1");
    EXPECT_EQ(p["Sandbox"], "Yes");
    EXPECT_EQ(p["Filter_Local"], "1");
    EXPECT_EQ(p["Logging"], "No");
    EXPECT_EQ(p["Flush_On_Update"], "1");  // absent means on, as the driver reads it
    EXPECT_EQ(p["Query_Timeout"], "60");
    EXPECT_EQ(p["Proxy"], "");
    EXPECT_TRUE(all.count("Other"));
}

TEST(SetupStore, ARenameWritesTheNewEntryBeforeRemovingTheOld) {
    PrivateIni ini;
    ini.write("[P]\nDriver = x\nClient_Id = id\ncert = /ca.pem\ndisguise_long = 1\n");
    DsnForm f = loaded("DSN=P\0extra_key=given\0");
    f.text[kFieldDsn] = "Q";
    InstallerErrors errors;
    ASSERT_TRUE(save_form(f, &errors));
    EXPECT_FALSE(ini.has("P"));
    EXPECT_EQ(ini.value("Q", "Client_Id"), "id");
    EXPECT_EQ(ini.value("Q", "cert"), "/ca.pem");
    EXPECT_EQ(ini.value("Q", "disguise_long"), "1");
    EXPECT_EQ(ini.value("Q", "extra_key"), "given");
}

TEST(SetupStore, ARenameOntoAnotherDataSourceIsRefusedAndChangesNothing) {
    PrivateIni ini;
    ini.write("[P]\nDriver = x\nClient_Id = p\n\n[Q]\nDriver = y\nClient_Id = q\n");
    DsnForm f = loaded("DSN=P\0");
    f.text[kFieldDsn] = "Q";
    InstallerErrors errors;
    EXPECT_FALSE(save_form(f, &errors));
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].code, kErrInvalidDsn);
    EXPECT_EQ(ini.value("P", "Client_Id"), "p");
    EXPECT_EQ(ini.value("Q", "Client_Id"), "q");
}

TEST(SetupStore, BadNamesAndFailedWritesAreReportedWithTheirErrors) {
    PrivateIni ini;
    for (const char *name : {"", "bad[name]", "a=b"}) {
        DsnForm f = loaded("client_id=x\0");
        f.text[kFieldDsn] = name;
        InstallerErrors errors;
        EXPECT_FALSE(save_form(f, &errors)) << name;
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].code, kErrInvalidDsn);
    }
    // Files that cannot be written: their folder does not exist. (Called
    // directly, the installer is in "both" mode and falls back from the
    // user file to the system one.)
    setenv("ODBCINI", (ini.dir / "missing" / "odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", (ini.dir / "missing").c_str(), 1);
    DsnForm f = loaded("DSN=P\0client_id=x\0");
    InstallerErrors errors;
    EXPECT_FALSE(save_form(f, &errors));
    EXPECT_FALSE(errors.empty());
}

TEST(SetupStore, AUserIniTheSaveCreatesIsPrivate) {
    PrivateIni ini;
    ASSERT_FALSE(std::filesystem::exists(ini.user));
    DsnForm f = loaded("DSN=P\0client_secret=s\0");
    InstallerErrors errors;
    ASSERT_TRUE(save_form(f, &errors));
    struct stat st {};
    ASSERT_EQ(stat(ini.user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ini.value("P", "Client_Secret"), "s");
    // An existing file keeps its mode.
    chmod(ini.user.c_str(), 0640);
    ASSERT_TRUE(save_form(f, &errors));
    ASSERT_EQ(stat(ini.user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SetupForm, ThePromptListCarriesTheSettingsAndLeavesOutZeros) {
    DsnSettings s{};
    dsn_set_text(s.dsn, "P");
    dsn_set_text(s.client_id, "id");
    dsn_set_text(s.client_secret, "se;cret");
    s.sandbox = 1;
    s.max_rows = 15;
    s.filter_local = 1;
    std::string list = settings_attribute_list(s);
    std::string want("DSN=P\0Client_Id=id\0Client_Secret=se;cret\0Logging=No\0Sandbox=Yes\0Max_Num=15\0"
                     "Filter_Local=1\0\0",
                     sizeof "DSN=P\0Client_Id=id\0Client_Secret=se;cret\0Logging=No\0Sandbox=Yes\0Max_Num=15\0"
                            "Filter_Local=1\0");
    EXPECT_EQ(list, want);
}

TEST(SetupForm, TheFormFillsTheSettingsWithinTheirLimits) {
    DsnForm f;
    f.text[kFieldDsn] = "P";
    f.text[kFieldClientSecret] = std::string(3000, 's');
    f.text[kFieldQueryTimeout] = "45";
    f.text[kFieldMaxNum] = "x";
    f.checked[kFieldLogging] = true;
    DsnSettings s{};
    dsn_set_text(s.base_url, "https://kept");
    form_into_settings(f, &s);
    EXPECT_EQ(std::strlen(s.client_secret), kTextLimit);
    EXPECT_EQ(s.query_timeout, 45);
    EXPECT_EQ(s.max_rows, 0);
    EXPECT_EQ(s.logging, 1);
    EXPECT_STREQ(s.base_url, "https://kept");
}

}  // namespace
