// A message digest as lower-case hex text: Digest proxy authentication
// (MD5) and the token cache's keys (SHA-256).
//
// Exports: hex_digest.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <string_view>

/// The digest of `text` under `md` in hex; empty when OpenSSL fails.
[[nodiscard]] std::string hex_digest(std::string_view text, const EVP_MD *md);
