// Bounded copies of driver texts into caller buffers, with the full length
// reported through a length output of the width each ODBC call uses.
//
// Exports: copy_str_buffer, copy_str_bufferl, copy_str_bufferi.
#pragma once

#include <sql.h>

/// Copies `text` (null = "") into `out` of `capacity` bytes: at most
/// capacity - 1 bytes, cut at a whole UTF-8 character, and a terminator.
/// `length` (optional) gets the text's full length. Returns 1 when the copy
/// was cut (or nothing could be written for a non-empty text), else 0.
int copy_str_buffer(char *out, SQLSMALLINT capacity, SQLSMALLINT *length, const char *text);
int copy_str_bufferl(char *out, SQLLEN capacity, SQLLEN *length, const char *text);
int copy_str_bufferi(char *out, SQLINTEGER capacity, SQLINTEGER *length, const char *text);
