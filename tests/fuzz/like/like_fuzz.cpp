// Fuzz target: random patterns and subjects into the LIKE compiler and
// matcher. Every match is checked against a plain dynamic-programming
// matcher over the same program, so a wrong answer is a crash too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/like.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

unsigned char up(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

size_t clen(const std::string &s, size_t i) {
    size_t n = 1;
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80 && n < 4) n++;
    return n;
}

// Reference: dp[i][j] = program from op i matches subject from byte j.
int reference(const unsigned char *prog, const std::string &s) {
    std::vector<const unsigned char *> ops;
    for (const unsigned char *p = prog; *p != kLikeEnd; p += (*p == kLikeLiteral ? 2 : 1)) ops.push_back(p);
    size_t n = ops.size(), m = s.size();
    std::vector<std::vector<char>> dp(n + 1, std::vector<char>(m + 1, 0));
    dp[n][m] = 1;
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m + 1; j-- > 0;) {
            const unsigned char *op = ops[i];
            char r = 0;
            if (*op == kLikeAnySeq) {
                r = dp[i + 1][j];
                if (!r && j < m) r = dp[i][j + 1];
            } else if (j < m) {
                if (*op == kLikeAnyOne) r = dp[i + 1][j + clen(s, j)];
                else if (up(op[1]) == up(static_cast<unsigned char>(s[j]))) r = dp[i + 1][j + 1];
            }
            dp[i][j] = r;
        }
    }
    return dp[0][0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;
    static CvPool *root = cv_mem_alloc_handle(nullptr);
    CvPool *pool = cv_mem_alloc_handle(root);
    // pattern \x01 subject [\x01 escape]
    std::string in(reinterpret_cast<const char *>(data), size);
    size_t cut = in.find('\x01');
    std::string pattern = in.substr(0, cut);
    std::string subject = cut == std::string::npos ? std::string() : in.substr(cut + 1);
    std::string escape;
    size_t cut2 = subject.find('\x01');
    if (cut2 != std::string::npos) {
        escape = subject.substr(cut2 + 1);
        subject.resize(cut2);
    }
    Value *p = new_value_of_type(pool, VT_CHAR);
    Value *s = new_value_of_type(pool, VT_CHAR);
    Value *e = cut2 != std::string::npos ? new_value_of_type(pool, VT_CHAR) : nullptr;
    if (p && s && set_value_text(p, pattern.data(), pattern.size()) == 0 &&
        set_value_text(s, subject.data(), subject.size()) == 0 &&
        (!e || set_value_text(e, escape.data(), escape.size()) == 0)) {
        Value *compiled = nullptr;
        if (like_compile(p, e, pool, &compiled) == 0) {
            int got = like_match(compiled, s);
            if (got != reference(reinterpret_cast<const unsigned char *>(compiled->data.s), subject))
                std::abort();
            char prefix[256];
            (void)like_literal_prefix(compiled, prefix, sizeof prefix);
            (void)like_upper_prefix(compiled, prefix, sizeof prefix);
        }
    }
    cv_mem_release_handle(pool);
    return 0;
}
