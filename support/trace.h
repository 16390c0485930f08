// The driver's call trace (entry and exit of ODBC calls).
//
// log_message writes one line per call to the trace file when tracing is on.
// The file is named by the environment variable CVODBC_TRACE_FILE, or by the
// "TraceFile" value of the driver's odbcinst.ini section (trace_configure);
// CVODBC_TRACE_LEVEL or "TraceLevel" picks 4 (every entry and exit, the
// default) or 8 (failures only). The file is created with mode 0600 and
// written with O_APPEND so several processes may share it.
//
// Format directives (beyond the plain text):
//   %h handle   %i int16   %u uint16   %I int64 length   %U uint64 length
//   %p pointer  %s text    %S text + int length (-3 = null-terminated)
//   %e return code         %*h %*p %*I: pointer to the value
//   %*S text + pointer to an int16 length
//   %% a percent sign
// Texts given with %S are connection strings and pass through
// mask_connection_string (support/connstr.h), so passwords, client secrets
// and tokens show as "****".
//
// Log files (this trace's and the backend's) are opened with
// open_private_log: created 0600, an existing one made 0600 or refused.
//
// Exports: log_message, trace_enabled, trace_configure, trace_reset,
// open_private_log.
#pragma once

#include <string>
#include <string_view>

constexpr int kTraceInfo = 4;
constexpr int kTraceFailure = 8;

/// True when a call at `level` would be written; cheap enough for every call.
[[nodiscard]] bool trace_enabled(int level);

/// Writes one trace line (see the directives above). Does nothing when
/// tracing is off.
void log_message(const char *source, int line, int level, const char *format, ...);

/// Sets the trace file and level from configuration values (either may be
/// empty: the environment variables still win). Called once per process
/// start-up by the environment allocation.
void trace_configure(std::string_view file, std::string_view level);

/// Forgets the configuration (the next check re-reads the environment).
void trace_reset();

/// Opens `path` for appending, creating it with mode 0600. An existing
/// regular file readable or writable by others is made 0600 first; when that
/// fails (another user's file) it is not opened. The descriptor, or -1.
[[nodiscard]] int open_private_log(const char *path);
