// The description of one column as a provider reports it.
//
// Providers fill these records for their tables (through the DAL); the
// validator hangs them on column references, and the engine derives a
// column's type description from them (describe_column_info). The record
// sits here, with the types, so that the engine can read it without
// depending on the data access layer above it.
//
// Exports: ColumnInfo, kDalNameSize.
#pragma once

#include <cstdint>

constexpr int kDalNameSize = 128;

struct ColumnInfo {
    char catalog[kDalNameSize];
    char schema[kDalNameSize];
    char table[kDalNameSize];
    char column[kDalNameSize];
    int32_t data_type;          // concise SQL type in the application's ODBC version's codes
    int32_t datetime_subcode;   // 1 date, 2 time, 3 timestamp
    int32_t interval_precision;
    int32_t display_size;
    int32_t digits;
    char literal_prefix[64];
    char literal_suffix[64];
    char local_type_name[64];
    char type_name[64];
    int32_t nullable;
    int32_t radix;
    int32_t octet_length;
    int32_t precision;
    int32_t scale;
    int32_t auto_increment;
    int32_t verbose_type;       // always ODBC 3 codes
    int32_t searchable;         // 1 LIKE only, 3 searchable
    int32_t case_sensitive;
    int32_t is_unsigned;
    int32_t updatable;          // 0 read-only, 1 writable, 2 unknown
    int32_t buffer_length;
    int32_t char_octet_length;
    char create_params[192];
    int32_t interval_fields[2];
    int32_t ordinal;            // from 1
    int32_t provider_index;     // written by the DAL
    int32_t provider_extra;     // written by the DAL (0)
};
