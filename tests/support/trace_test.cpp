#include "support/trace.h"

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
        {" pwd = a ;b=c", " pwd =****;b=c"},
        {"novalue;ACCESS_TOKEN=t", "novalue;ACCESS_TOKEN=****"},
        {"", ""},
    };
    for (const Case &c : cases) EXPECT_EQ(mask_secrets(c.in), c.out) << c.in;
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
