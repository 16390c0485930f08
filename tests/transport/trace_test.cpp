// The backend trace log: formatter directives, `logging` values, line and
// dump layout, ring mode, masking and the log file's mode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>

#include "tests/transport/emulator_harness.h"

namespace {

std::string fmt(size_t cap, const char *format, ...) {
    std::string buf(cap, '\0');
    va_list args;
    va_start(args, format);
    size_t n = PaypalTraceFormat(buf.data(), cap, format, args);
    va_end(args);
    buf.resize(n);
    return buf;
}

std::string temp_log(const char *name) {
    std::string path = std::string(CV_TEST_STATE_DIR) + "/" + name + "-" + std::to_string(getpid());
    unlink(path.c_str());
    return path;
}

}  // namespace

TEST(TraceFormatTest, Directives) {
    const uint16_t wide[] = {'h', 0xE9, 0};
    TraceCountedText counted{3, "abcdef"};
    EXPECT_EQ("n=-5 u=7 l=12345678901 c=Z x=ff X=FF",
              fmt(200, "n=%d u=%u l=%l c=%c x=%x X=%X", -5, 7, 12345678901LL, 'Z', 255, 255));
    EXPECT_EQ("s=null t=a\\xC3\\xA9",
              fmt(200, "s=%s t=%s", static_cast<char *>(nullptr), "a\xC3\xA9"));
    EXPECT_EQ("S=abc S=(nul)",
              fmt(200, "S=%S S=%S", &counted, static_cast<TraceCountedText *>(nullptr)));
    EXPECT_EQ("'ab'[2] 'xyz'[SQL_NTS] (nul)[SQL_NTS]",
              fmt(200, "%q %q %q", "abc", 2, "xyz", -3, static_cast<char *>(nullptr), -3));
    EXPECT_EQ("'h\\x00E9'[SQL_NTS]", fmt(200, "%Q", wide, -3));
    EXPECT_EQ("SQL_SUCCESS SQL_SUCCESS_WITH_INFO SQL_NO_DATA SQL_ERROR 2",
              fmt(200, "%r %r %r %r %r", 0, 1, 100, -1, 2));
    EXPECT_EQ("ab", fmt(200, "a%kb"));
}

TEST(TraceFormatTest, LongTextEndsInEllipsis) {
    std::string long_text(5000, 'x');
    std::string out = fmt(2048, "msg %s tail", long_text.c_str());
    EXPECT_LT(out.size(), 2048u);
    EXPECT_EQ("...", out.substr(out.size() - 3));
    std::string out2 = fmt(30, "%s %d %d", "0123456789", 1, 2);
    EXPECT_EQ("0123456789 ...", out2);
}

TEST(TraceLoggingTest, Values) {
    struct Case {
        const char *value;
        uint32_t mask;
    } cases[] = {{"yes", 31}, {"TRUE", 31}, {"onerror", 95}, {"process", 63}, {"ERROR", 95},
                 {"On", 31},  {"no", 0},    {"off", 0},      {"0x15", 21},    {"017", 15},
                 {"12", 12},  {"", 0},      {"junk", 0}};
    for (const Case &c : cases) EXPECT_EQ(c.mask, PaypalTraceParseLogging(c.value)) << c.value;
    EXPECT_EQ(0u, PaypalTraceParseLogging(nullptr));
}

TEST(TraceWriteTest, LinesDumpsAndFileMode) {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    std::string path = temp_log("trace-lines");
    EXPECT_EQ(0u, PaypalTraceSetup(&ctx->trace, 31, path.c_str()));
    PP_TRACE(ctx.get(), kPpTraceDetail, "hello %s %d", "world", 42);
    PP_TRACE(ctx.get(), kPpTraceContinue, "more");
    PP_TRACE(ctx.get(), kPpTraceEntry | 0x100, "ignored level name");  // passes mask bit 1
    unsigned char data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>('A' + i);
    PP_TRACE_DUMP(ctx.get(), kPpTracePktDump, data, sizeof data, "dump %d", 20);
    WebRequestPtr req = NewGetRequest(ctx.get(), "x", 0);
    PP_TRACE(req.get(), kPpTraceError, "via request");
    int not_a_record = 5;
    PP_TRACE(&not_a_record, kPpTraceError, "never written");
    std::string log = ReadFile(path);
    EXPECT_NE(std::string::npos, log.find("(PAYPALCONTEXT)]\n\t\tDETAIL:\t hello world 42\n"));
    EXPECT_NE(std::string::npos, log.find("]+\t more\n"));
    EXPECT_NE(std::string::npos, log.find("UNKNOWN MODE ignored level name"));
    EXPECT_NE(std::string::npos,
              log.find("PKTDUMP:\t dump 20\n          41 42 43 44 45 46 47 48 49 4A 4B 4C "
                       "4D 4E 4F 50   ABCDEFGHIJKLMNOP\n          51 52 53 54 " +
                       std::string(36, ' ') + "  QRST\n\n"));
    EXPECT_NE(std::string::npos, log.find("ERROR:\t via request"));
    EXPECT_EQ(std::string::npos, log.find("never written"));
    struct stat st {};
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    EXPECT_EQ(31u, PaypalTraceSetup(&ctx->trace, 0, ""));
}

TEST(TraceWriteTest, RingModeWritesOnlyAtAnError) {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    std::string path = temp_log("trace-ring");
    PaypalTraceSetup(&ctx->trace, PaypalTraceParseLogging("ERROR"), path.c_str());
    PP_TRACE(ctx.get(), kPpTraceDetail, "kept in memory");
    struct stat before {};
    if (stat(path.c_str(), &before) == 0) {
        EXPECT_EQ(0, before.st_size) << "nothing is written before an error";
    }
    PP_TRACE(ctx.get(), kPpTraceError, "the failure");
    std::string log = ReadFile(path);
    EXPECT_EQ(0u, log.find(std::string(100, '*') + "\n*" + std::string(98, ' ') +
                           "*\n*   Start of log dump"));
    size_t kept = log.find("kept in memory"), failure = log.find("the failure");
    ASSERT_NE(std::string::npos, kept);
    ASSERT_NE(std::string::npos, failure);
    EXPECT_LT(kept, failure);
    EXPECT_NE(std::string::npos, log.find("*   End of log dump"));
    EXPECT_NE(std::string::npos, log.find("[TIME="));
    PP_TRACE(ctx.get(), kPpTraceError, "second failure");  // the ring was emptied
    std::string log2 = ReadFile(path);
    size_t copies = 0;
    for (size_t at = 0; (at = log2.find("kept in memory", at)) != std::string::npos; ++at) ++copies;
    EXPECT_EQ(1u, copies);
}

TEST(TraceScrubTest, MasksHeadersAndSecrets) {
    PaypalTraceHead head{};
    head.magic = kPaypalContextMagic;
    PaypalTraceAddSecret(&head, "s3cr3t-value");
    PaypalTraceAddSecret(&head, "ab");  // too short to mask safely
    std::string text =
        "Authorization: Bearer A21AAxyz\r\nproxy-authorization: Digest username=\"u\", "
        "response=\"99\"\nbody s3cr3t-value ab {\"access_token\": \"A21\\\"x\", \"n\": 1}";
    PaypalTraceScrub(&head, text);
    EXPECT_EQ(
        "Authorization: ****\r\nproxy-authorization: ****\nbody **** ab {\"access_token\": "
        "\"****\", \"n\": 1}",
        text);
}
