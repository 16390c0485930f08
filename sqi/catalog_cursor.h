// The position of a catalogue listing inside a PayPal provider iterator.
//
// The listing calls (SQITables, SQIColumns, SQIPrimaryKeys, ...) fill it and
// set the iterator's mode; catalog_next_row moves it and catalog_get_data
// reads the current row from it. It is a plain member of PaypalIterator and
// lives and dies with the iterator.
//
// Exports: CatalogCursor.
#pragma once

#include <cstdint>
#include <string>

struct CatalogCursor {
    std::string table_pattern;   // search pattern of table names (backslash escapes)
    std::string column_pattern;  // search pattern of column names
    bool all_tables = true;      // no table pattern: every table
    bool all_columns = true;     // no column pattern: every column
    int32_t table = -1;          // catalogue position of the current row's table
    int32_t column = -1;         // column position of the current row, -1 before the first
    int32_t key_seq = 0;         // place of the current column among the key columns
    int32_t rows = 0;            // rows delivered so far
    int32_t odbc_version = 3;    // the application's ODBC version when the listing started
    int32_t disguise_long = 0;   // the connection's disguise_long when the listing started
};
