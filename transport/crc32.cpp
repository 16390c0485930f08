// gzip_crc32 (see crc32.h): 64 bytes a step folded by PCLMULQDQ into four
// 128-bit remainders, folded into one, then reduced to 32 bits (Barrett),
// after the method of Intel's "Fast CRC Computation for Generic Polynomials
// Using PCLMULQDQ"; the constants are x^k mod P for the fold distances, in
// the bit-reflected domain. Lengths under 64 and the last 0 to 15 bytes go
// to zlib, which also serves processors without the instruction.
#include "transport/crc32.h"

#include <immintrin.h>
#include <zlib.h>

namespace {

#if defined(__x86_64__)

// x^(4*128+32) and x^(4*128-32) mod P: four lanes ahead.
constexpr long long kFold4Low = 0x154442bd4, kFold4High = 0x1c6e41596;
// x^(128+32) and x^(128-32) mod P: one lane ahead.
constexpr long long kFold1Low = 0x1751997d0, kFold1High = 0x0ccaa009e;
// x^64 mod P, for 64 bits to 32.
constexpr long long kFold64 = 0x163cd6124;
// P with its x^32 term, and the Barrett constant floor(x^64 / P), reflected.
constexpr long long kPoly = 0x1db710641, kBarrett = 0x1f7011641;

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i next, __m128i k) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// The CRC register (zlib's value inverted) after `n` bytes, n >= 64 and a
// multiple of 16.
__attribute__((target("pclmul,sse4.1"))) uint32_t fold_bytes(uint32_t crc, const unsigned char *p, size_t n) {
    const __m128i four = _mm_set_epi64x(kFold4High, kFold4Low);
    const __m128i one = _mm_set_epi64x(kFold1High, kFold1Low);
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x1 = fold(x1, load(p), four);
        x2 = fold(x2, load(p + 16), four);
        x3 = fold(x3, load(p + 32), four);
        x4 = fold(x4, load(p + 48), four);
    }
    x1 = fold(fold(fold(x1, x2, one), x3, one), x4, one);
    for (; n >= 16; p += 16, n -= 16) x1 = fold(x1, load(p), one);
    // 128 bits to 64: the low half times x^(128-32) into the high half.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(one, x1, 0x01));
    // 64 bits to 32.
    const __m128i low32 = _mm_set_epi32(0, -1, 0, -1);
    __m128i high = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), _mm_set_epi64x(0, kFold64), 0x00), high);
    // Barrett reduction: the remainder of the last 64 bits by P.
    const __m128i barrett = _mm_set_epi64x(kBarrett, kPoly);
    high = x1;
    x1 = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10), low32);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, barrett, 0x00), high);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool has_clmul() {
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}

#endif

}  // namespace

uint32_t gzip_crc32(const void *data, size_t n) {
    auto *p = static_cast<const unsigned char *>(data);
    uLong crc = 0;
#if defined(__x86_64__)
    if (n >= 64 && has_clmul()) {
        const size_t folded = n & ~size_t{15};
        crc = ~fold_bytes(~uint32_t{0}, p, folded);
        p += folded;
        n -= folded;
    }
#endif
    return static_cast<uint32_t>(crc32_z(crc, p, n));
}
