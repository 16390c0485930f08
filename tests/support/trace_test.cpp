#include "support/trace.h"

#include "support/connstr.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

TEST(TraceTest, SecretsAreMaskedInConnectionStrings) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"DSN=x;UID=u;PWD=hunter2;", "DSN=x;UID=u;PWD=****;"},
        {"client_id=abc;client_secret={se;c}}ret};x=1", "client_id=abc;client_secret=****;x=1"},
        {"Proxy_Password=p", "Proxy_Password=****"},
        {" pwd = a ;b=c", " pwd = ****;b=c"},
        {"novalue;ACCESS_TOKEN=t", "novalue;ACCESS_TOKEN=****"},
        {"", ""},
        {"MyDsn", "MyDsn"},
        // The proxy password is a secret like any other.
        {"proxy=http://127.0.0.1:3128;proxy_user=pu;proxy_pass=Pr0xyPass",
         "proxy=http://127.0.0.1:3128;proxy_user=pu;proxy_pass=****"},
        {"PROXY_PASS={a;b}", "PROXY_PASS=****"},
        // A blank before the brace: the parser skips it, and so does the mask.
        {"client_secret= {Part1;Part2}}Part3};client_id=i", "client_secret= ****;client_id=i"},
        {"client_secret=\t{x;y} ;a=b", "client_secret=\t**** ;a=b"},
        // The first occurrence wins when connecting; every one is masked.
        {"pwd=first1;pwd=second2", "pwd=****;pwd=****"},
        // A copy of the secret in another value is masked too.
        {"DSN=abcd1234;PWD=abcd1234", "DSN=****;PWD=****"},
        // Text the parser refuses: hidden from the first secret keyword on.
        {"a=1;client_secret={open;b=2", "a=1;client_secret=****"},
        {"x=1;pwd", "x=1;pwd"},
        {"=v;token=t", "=v;token=****"},
    };
    for (const Case &c : cases) EXPECT_EQ(mask_connection_string(c.in), c.out) << c.in;
    for (const char *k : {"pwd", "PASSWORD", "proxy_pass", "Client_Secret", "token", "authstr"})
        EXPECT_TRUE(is_secret_keyword(k)) << k;
    for (const char *k : {"client_id", "uid", "proxy_user", "base_url", "logfile"})
        EXPECT_FALSE(is_secret_keyword(k)) << k;
}

TEST(TraceTest, AnExistingLogReadableByOthersIsMadePrivate) {
    char path[] = "/tmp/cvtraceXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchmod(fd, 0644), 0);
    close(fd);
    int log = open_private_log(path);
    ASSERT_GE(log, 0);
    close(log);
    struct stat st{};
    ASSERT_EQ(stat(path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The call trace opens its file the same way.
    ASSERT_EQ(chmod(path, 0666), 0);
    trace_configure(path, "");
    EXPECT_TRUE(trace_enabled(kTraceInfo));
    trace_reset();
    ASSERT_EQ(stat(path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    unlink(path);
}

TEST(TraceTest, DirectivesAreFormattedAndTheFileIsPrivate) {
    char path[] = "/tmp/cvtraceXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    unlink(path);
    trace_configure(path, "");
    ASSERT_TRUE(trace_enabled(kTraceInfo));
    short len = 9;
    const char *conn = "PWD=s3cr3t";
    log_message("unit", 1, kTraceInfo, "f( %i, %u, %I, %e, %s, %S, %*S, %% )", -2, 65535, 1LL << 40,
                -1, "txt", conn, -3, "UID=abcdefg", &len);
    trace_reset();
    struct stat st{};
    ASSERT_EQ(stat(path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string line = ss.str();
    EXPECT_NE(line.find("unit:1 f( -2, 65535, 1099511627776, -1, txt, PWD=****, UID=abcde, % )"),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find("s3cr3t"), std::string::npos);
    unlink(path);
}

}  // namespace
