// DsnSettings: the connection settings the driver and the setup library
// exchange (the prompt dialog edits one; driver_test tests one). Both
// deliverables are built from this one declaration. Texts are
// null-terminated and at most kDsnText - 1 bytes; every copy into them is
// bounded (dsn_set_text).
//
// Exports: DsnSettings, kDsnText, dsn_set_text, DsnCompleteInfoFn,
// DriverTestFn.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

constexpr size_t kDsnText = 1024;

struct DsnSettings {
    char dsn[kDsnText];             // "DSN"
    char proxy[kDsnText];           // "PROXY"
    char proxy_user[kDsnText];      // "PROXY_USER"
    char proxy_password[kDsnText];  // "PROXY_PASS"
    char log_file[kDsnText];        // "LOGFILE" (written back as "LogFile")
    int32_t logging;                // "LOGGING"
    int32_t filter_local;           // "FILTER_LOCAL"
    int32_t flush_on_update;        // written back as "Flush_On_Update"
    int32_t max_rows;               // "MAX_NUM", default 20
    char client_id[kDsnText];       // "CLIENT_ID"
    char client_secret[kDsnText];   // "CLIENT_SECRET"
    int32_t query_timeout;          // "QUERY_TIMEOUT": reply-cache lifetime, default 60
    int32_t sandbox;                // "SANDBOX"
    char base_url[kDsnText];        // "base_url": a PayPal-compatible endpoint instead of live/sandbox
    char cert[kDsnText];            // "cert": CA file or directory
};

/// Copies `text` into a settings field, cut to fit (never past the end).
inline void dsn_set_text(char (&field)[kDsnText], std::string_view text) {
    size_t n = text.size() < kDsnText - 1 ? text.size() : kDsnText - 1;
    // Cut at a whole UTF-8 character.
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) n--;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

/// The setup library's prompt: 0 when the user confirmed, 100 on cancel.
using DsnCompleteInfoFn = int (*)(void *dbc, void *window, DsnSettings *settings);
/// The driver's settings test: 0 success, 1 failure; a message either way.
using DriverTestFn = int (*)(DsnSettings *settings, char *message, int capacity);
