// Process-wide start-up and shut-down of the driver, reference-counted.
//
// unixODBC allocates and frees a driver environment around each connection,
// and a program may hold two environments at once, so the services started
// with the first environment stop only when the last one is freed.
//
// Exports: process_start, process_stop, driver_library_dir, kConfigKeyPath.
#pragma once

#include <string>

struct CvConfig;

inline constexpr const char *kConfigKeyPath = "Software\\Corvane PAYPAL ODBC Driver\\Configuration";

/// Starts the process-wide services on the first call; `config` is the first
/// environment's configuration, read for the trace settings.
void process_start(const CvConfig *config);
/// Stops them when the last environment goes.
void process_stop();

/// Directory holding libcvconnect.so (no trailing slash), or "" when unknown.
[[nodiscard]] const std::string &driver_library_dir();
