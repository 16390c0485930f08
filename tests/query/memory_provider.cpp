// The in-memory test provider behind the real DAL slots.
#include "tests/query/memory_provider.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "dal/dal.h"
#include "support/list.h"
#include "support/value.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace memprov {
namespace {

struct Copied {
    int column;  // from 1
    int op;
    bool null = false;
    bool is_number = false;
    double number = 0;
    std::string text;
};

struct Iterator {
    Provider *provider = nullptr;
    void *owner = nullptr;                   // where refusals are posted
    const Table *table = nullptr;
    long position = -1;
    std::vector<Copied> restrictions;
    bool listing = false;                    // a catalogue listing (statistics)
    std::vector<std::vector<Cell>> rows;     // its rows
    bool fetched = false;                    // SQIFetch: one row by its identity
    int piece_column = 0;   // character data comes in pieces, as ODBC gives it
    size_t piece_offset = 0;
};

Provider *g_provider = nullptr;

int sql_type_of(Type t) {
    switch (t) {
        case Type::kInteger: return SQL_INTEGER;
        case Type::kDouble: return SQL_DOUBLE;
        case Type::kText: return SQL_VARCHAR;
        case Type::kBigint: return SQL_BIGINT;
        case Type::kDate: return SQL_TYPE_DATE;
        case Type::kNumeric: return SQL_NUMERIC;
        case Type::kTimestamp: return SQL_TYPE_TIMESTAMP;
        case Type::kLongText: return SQL_LONGVARCHAR;
    }
    return SQL_VARCHAR;
}

std::string text_of(DalText t) { return std::string(dal_text_view(t)); }

int get_table_info(void *, void *env, DalText, DalText, DalText table, TableInfo *out) {
    auto *p = static_cast<Provider *>(env);
    const Table *t = p->find(text_of(table));
    if (!t) return DAL_NOT_MINE;
    *out = TableInfo{};
    std::snprintf(out->table, sizeof out->table, "%s", t == p->any_table ? text_of(table).c_str() : t->name.c_str());
    std::snprintf(out->schema, sizeof out->schema, "%s", "MEM");
    out->column_count = static_cast<int32_t>(t->columns.size());
    out->key_count = t->key_columns;
    return DAL_OK;
}

int get_column_info(void *, void *env, DalText, DalText, DalText table, int count, ColumnInfo *out) {
    auto *p = static_cast<Provider *>(env);
    const Table *t = p->find(text_of(table));
    if (!t || count > static_cast<int>(t->columns.size())) return DAL_ERROR;
    for (int i = 0; i < count; i++) {
        const Column &c = t->columns[static_cast<size_t>(i)];
        ColumnInfo &ci = out[i];
        ci = ColumnInfo{};
        std::snprintf(ci.table, sizeof ci.table, "%s", t->name.c_str());
        std::snprintf(ci.schema, sizeof ci.schema, "%s", "MEM");
        std::snprintf(ci.column, sizeof ci.column, "%s", c.name.c_str());
        ci.data_type = sql_type_of(c.type);
        ci.nullable = 1;
        ci.ordinal = i + 1;
        ci.updatable = 0;
        if (c.type == Type::kText) ci.precision = ci.octet_length = ci.display_size = c.length ? c.length : 64;
        if (c.type == Type::kInteger) ci.precision = 10;
        if (c.type == Type::kBigint) ci.precision = 19;
        if (c.type == Type::kDouble) ci.precision = 15;
        if (c.type == Type::kDate) ci.datetime_subcode = 1;
        if (c.type == Type::kTimestamp) ci.datetime_subcode = 3;
        if (c.type == Type::kNumeric) {
            ci.precision = c.length;
            ci.scale = c.scale;
            ci.octet_length = ci.display_size = c.length + 2;
        }
        if (c.type == Type::kLongText) ci.precision = ci.octet_length = ci.display_size = INT32_MAX;
    }
    return DAL_OK;
}

int get_info(void *env, SqiInfoCode code, SqiInfo *out) {
    auto *p = static_cast<Provider *>(env);
    if (code == SQI_INFO_RESTRICTIONS) out->integer = p->capabilities;
    else if (code == SQI_INFO_LAZY_READS) out->integer = p->lazy;
    else if (code == SQI_INFO_EXACT_NUMERICS) out->integer = 0;
    else if (code == SQI_INFO_ROW_IDENTITY) {
        const Table *t = out->table ? p->find(out->table) : nullptr;
        if (t) out->integer = t->identity;
    } else if (code == SQI_INFO_REQUIRED_KEY) {
        const Table *t = out->table ? p->find(out->table) : nullptr;
        if (t) out->integer = t->required_key;
    } else return DAL_NO_DATA;
    return DAL_OK;
}

int get_pk_info(void *, void *env, DalText, DalText, DalText table, int count, List *keys) {
    auto *p = static_cast<Provider *>(env);
    const Table *t = p->find(text_of(table));
    if (!t) return DAL_NOT_MINE;
    ListCell *cell = ListFirst(keys);
    for (int i = 0; i < t->key_columns && i < count && cell; i++, cell = ListNext(cell)) {
        auto *e = static_cast<KeyColumnEntry *>(ListData(cell));
        std::snprintf(e->name, sizeof e->name, "%s", t->columns[static_cast<size_t>(i)].name.c_str());
        e->ordinal = i + 1;
    }
    return DAL_OK;
}

void *open_iterator(void *owner, void *env, DalProvider *, const Node *) {
    auto *p = static_cast<Provider *>(env);
    p->open_iterators++;
    auto *i = new Iterator;
    i->provider = p;
    i->owner = owner;
    return i;
}

int close_iterator(void *it) {
    auto *i = static_cast<Iterator *>(it);
    i->provider->open_iterators--;
    delete i;
    return DAL_OK;
}

int reset_iterator(void *it) {
    auto *i = static_cast<Iterator *>(it);
    i->table = nullptr;
    i->position = -1;
    i->restrictions.clear();
    return DAL_OK;
}

const char *op_text(int op) {
    switch (op) {
        case RESTRICT_LT: return "<";
        case RESTRICT_GT: return ">";
        case RESTRICT_GE: return ">=";
        case RESTRICT_LE: return "<=";
        case RESTRICT_EQ: return "=";
        case RESTRICT_NE: return "<>";
        case RESTRICT_LIKE: return "LIKE";
        case RESTRICT_IS_NULL: return "IS NULL";
        default: return "?";
    }
}

// A restriction value's whole text (long texts are not cut).
std::string whole_text(const Value *v) {
    size_t n = 0;
    char probe[1];
    if (value_as_text(v, probe, sizeof probe, &n) < 0) return std::string();
    std::string out(n + 1, '\0');
    (void)value_as_text(v, out.data(), out.size(), nullptr);
    out.resize(n);
    return out;
}

int start_query(void *it, TableInfo *info, const ListNode *, const ListNode *, int count, Restriction **restrictions) {
    auto *i = static_cast<Iterator *>(it);
    i->table = i->provider->find(info->table);
    i->position = -1;
    i->listing = false;
    i->fetched = false;
    i->restrictions.clear();
    StartedScan started{info->table, count, {}};
    for (int k = 0; k < (count < 0 ? -count : count); k++) {
        const Restriction *r = restrictions[k];
        Copied c;
        c.column = r->column_number;
        c.op = r->op;
        std::string shown = std::string(r->column->column) + " " + op_text(r->op);
        if (r->value) {
            if (r->value->is_null) c.null = true;
            double d = 0;
            if (r->value->type != VT_CHAR && get_double_from_value(r->value, &d) == 0) {
                c.is_number = true;
                c.number = d;
            }
            c.text = whole_text(r->value);
            shown += " " + c.text;
        }
        started.restrictions.push_back(shown);
        i->restrictions.push_back(c);
    }
    i->provider->scans.push_back(started);
    if (!i->table) return DAL_NOT_MINE;
    if (const int key = i->table->required_key) {
        bool given = false;
        for (const Copied &c : i->restrictions) given = given || (c.column == key && c.op == RESTRICT_EQ && !c.null);
        if (!given) {
            const std::string message =
                "Field '" + i->table->columns[static_cast<size_t>(key - 1)].name + "' must be specified in query";
            PostDalError(i->provider->dal, i->owner, "Memory Provider", 0, "HY000", message.c_str());
            i->table = nullptr;
            return DAL_ERROR;
        }
    }
    return DAL_OK;
}

bool like_prefix_match(const std::string &s, const std::string &pattern) {
    // Only the literal prefix is applied here ("abc%"); the rest is left to
    // the engine's own check. The engine's wildcards include '*' and '?',
    // and a backslash escapes the next character.
    size_t cut = pattern.find_first_of("%_*?\\");
    std::string prefix = pattern.substr(0, cut);
    return strncasecmp(s.c_str(), prefix.c_str(), prefix.size()) == 0;
}

bool satisfies(const Table &t, const Cell *row, const Copied &c) {
    if (c.column == kSpecialRowNumber) return c.is_number && !row[0].null && static_cast<double>(row[0].i) == c.number;
    if (c.column == kSpecialKeyString) {
        size_t r = static_cast<size_t>(row - t.row(0)) / t.columns.size();
        return t.special_key(r) == c.text;
    }
    const Cell &cell = row[static_cast<size_t>(c.column - 1)];
    if (c.op == RESTRICT_IS_NULL) return cell.null;
    if (cell.null || c.null) return false;
    const Column &col = t.columns[static_cast<size_t>(c.column - 1)];
    int order;
    if (col.type == Type::kText || col.type == Type::kDate || col.type == Type::kTimestamp ||
        col.type == Type::kLongText) {
        if (c.op == RESTRICT_LIKE) return like_prefix_match(cell.s, c.text);
        // As the engine compares texts: trailing blanks do not count.
        auto unpadded = [](const std::string &t) { return t.substr(0, t.find_last_not_of(' ') + 1); };
        int r = unpadded(cell.s).compare(unpadded(c.text));
        order = r < 0 ? -1 : r > 0 ? 1 : 0;
    } else {
        double v = col.type == Type::kDouble    ? cell.d
                   : col.type == Type::kNumeric ? std::strtod(cell.s.c_str(), nullptr)
                                                : static_cast<double>(cell.i);
        if (!c.is_number) return true;
        order = v < c.number ? -1 : v > c.number ? 1 : 0;
    }
    switch (c.op) {
        case RESTRICT_LT: return order < 0;
        case RESTRICT_GT: return order > 0;
        case RESTRICT_GE: return order >= 0;
        case RESTRICT_LE: return order <= 0;
        case RESTRICT_EQ: return order == 0;
        case RESTRICT_NE: return order != 0;
        default: return true;
    }
}

// SQLStatistics rows: the table's own row, then a unique index "Primary"
// on column ID when the table has one.
int statistics(void *it, DalText, DalText, DalText table, int, int) {
    auto *i = static_cast<Iterator *>(it);
    const Table *t = i->provider->find(text_of(table));
    if (!t) return DAL_NOT_MINE;
    i->listing = true;
    i->table = nullptr;
    i->position = -1;
    i->rows.clear();
    auto row = [](int non_unique, const char *index, int type, int ordinal, const char *column, int64_t card) {
        std::vector<Cell> r(13);
        r[0] = Cell::text("");
        r[2] = Cell::text("");
        if (non_unique >= 0) r[3] = Cell::of(non_unique);
        if (index) r[5] = Cell::text(index);
        r[6] = Cell::of(type);
        if (ordinal > 0) r[7] = Cell::of(ordinal);
        if (column) r[8] = Cell::text(column);
        r[10] = Cell::of(card);
        return r;
    };
    i->rows.push_back(row(-1, nullptr, 0, 0, nullptr, static_cast<int64_t>(t->row_count())));
    if (i->provider->id_is_key)
        for (const Column &c : t->columns)
            if (strcasecmp(c.name.c_str(), "ID") == 0)
                i->rows.push_back(row(0, "Primary", 3, 1, "ID", static_cast<int64_t>(t->row_count())));
    return DAL_OK;
}

int next_row(void *it) {
    auto *i = static_cast<Iterator *>(it);
    if (i->listing) {
        i->position++;
        return i->position < static_cast<long>(i->rows.size()) ? DAL_OK : DAL_NO_DATA;
    }
    if (!i->table) return DAL_NO_DATA;
    for (;;) {
        i->position++;
        if (i->position >= static_cast<long>(i->table->row_count())) return DAL_NO_DATA;
        const Cell *row = i->table->row(static_cast<size_t>(i->position));
        bool ok = true;
        if (!i->provider->ignore_restrictions || i->fetched)
            for (const Copied &c : i->restrictions)
                if (!satisfies(*i->table, row, c)) ok = false;
        if (ok) {
            i->piece_column = 0;
            i->piece_offset = 0;
            i->provider->rows_delivered++;
            if (i->provider->info_id >= 0 && !row[0].null && row[0].i == i->provider->info_id) return DAL_INFO;
            return DAL_OK;
        }
    }
}

int get_data(void *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    auto *i = static_cast<Iterator *>(it);
    if (i->listing) {
        if (i->position < 0 || i->position >= static_cast<long>(i->rows.size()) || column < 1 || column > 13)
            return DAL_ERROR;
        const Cell &cell = i->rows[static_cast<size_t>(i->position)][static_cast<size_t>(column - 1)];
        if (cell.null) {
            *length = SQL_NULL_DATA;
            return DAL_OK;
        }
        if (c_type == SQL_C_CHAR) {
            std::snprintf(static_cast<char *>(buffer), static_cast<size_t>(capacity), "%s", cell.s.c_str());
            *length = static_cast<SQLLEN>(cell.s.size());
            return DAL_OK;
        }
        auto v = static_cast<int32_t>(cell.i);
        std::memcpy(buffer, &v, 4);
        *length = 4;
        return DAL_OK;
    }
    if (i->table && i->position >= 0 && (column == kSpecialRowNumber || column == kSpecialKeyString)) {
        const Cell &id = i->table->row(static_cast<size_t>(i->position))[0];
        if (column == kSpecialRowNumber) {
            auto v = static_cast<int32_t>(id.i);
            std::memcpy(buffer, &v, 4);
            *length = 4;
            return DAL_OK;
        }
        std::string key = i->table->special_key(static_cast<size_t>(i->position));
        std::snprintf(static_cast<char *>(buffer), static_cast<size_t>(capacity), "%s", key.c_str());
        *length = static_cast<SQLLEN>(key.size());
        return key.size() < static_cast<size_t>(capacity) ? DAL_OK : DAL_INFO;
    }
    if (!i->table || i->position < 0 || column < 1 || column > static_cast<int>(i->table->columns.size()))
        return DAL_ERROR;
    const Cell &cell = i->table->row(static_cast<size_t>(i->position))[column - 1];
    if (cell.null) {
        *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    const Column &col = i->table->columns[static_cast<size_t>(column - 1)];
    switch (c_type) {
        case SQL_C_LONG: {
            auto v = static_cast<int32_t>(cell.i);
            std::memcpy(buffer, &v, 4);
            *length = 4;
            return DAL_OK;
        }
        case SQL_C_SBIGINT: std::memcpy(buffer, &cell.i, 8); *length = 8; return DAL_OK;
        case SQL_C_DOUBLE: {
            double v = col.type == Type::kDouble ? cell.d : static_cast<double>(cell.i);
            std::memcpy(buffer, &v, 8);
            *length = 8;
            return DAL_OK;
        }
        case SQL_C_TYPE_TIMESTAMP: {
            TIMESTAMP_STRUCT t{};
            int y = 0, m = 0, dd = 0, h = 0, mi = 0, sec = 0;
            char fraction[16] = "";
            int n = std::sscanf(cell.s.c_str(), "%d-%d-%d %d:%d:%d.%9[0-9]", &y, &m, &dd, &h, &mi, &sec, fraction);
            if (n < 3) return DAL_ERROR;
            t.year = static_cast<SQLSMALLINT>(y);
            t.month = static_cast<SQLUSMALLINT>(m);
            t.day = static_cast<SQLUSMALLINT>(dd);
            t.hour = static_cast<SQLUSMALLINT>(h);
            t.minute = static_cast<SQLUSMALLINT>(mi);
            t.second = static_cast<SQLUSMALLINT>(sec);
            std::string nanos = std::string(fraction) + "000000000";
            t.fraction = static_cast<SQLUINTEGER>(std::stoul(nanos.substr(0, 9)));
            std::memcpy(buffer, &t, sizeof t);
            *length = sizeof t;
            return DAL_OK;
        }
        case SQL_C_TYPE_DATE: {
            DATE_STRUCT d{};
            int y = 0, m = 0, dd = 0;
            if (std::sscanf(cell.s.c_str(), "%d-%d-%d", &y, &m, &dd) != 3) return DAL_ERROR;
            d.year = static_cast<SQLSMALLINT>(y);
            d.month = static_cast<SQLUSMALLINT>(m);
            d.day = static_cast<SQLUSMALLINT>(dd);
            std::memcpy(buffer, &d, sizeof d);
            *length = sizeof d;
            return DAL_OK;
        }
        case SQL_C_CHAR: {
            if (i->piece_column != column) i->piece_offset = 0;
            i->piece_column = column;
            const std::string &s = cell.s;
            size_t offset = i->piece_offset < s.size() ? i->piece_offset : s.size();
            size_t rest = s.size() - offset;
            *length = static_cast<SQLLEN>(rest);
            if (capacity <= 0) return DAL_INFO;
            size_t n = rest < static_cast<size_t>(capacity - 1) ? rest : static_cast<size_t>(capacity - 1);
            std::memcpy(buffer, s.data() + offset, n);
            static_cast<char *>(buffer)[n] = '\0';
            if (n < rest) {
                i->piece_offset = offset + n;
                return DAL_INFO;
            }
            i->piece_offset = 0;  // delivered whole: a later read starts again
            return DAL_OK;
        }
        default: return DAL_ERROR;
    }
}

// One row by its identity: the key restrictions as an exact filter.
int fetch(void *it, TableInfo *info, void *, int count, Restriction *keys) {
    auto *i = static_cast<Iterator *>(it);
    i->table = i->provider->find(info->table);
    if (!i->table) return DAL_NOT_MINE;
    i->position = -1;
    i->listing = false;
    i->fetched = true;
    i->restrictions.clear();
    std::string shown = info->table;
    for (int k = 0; k < count; k++) {
        Copied c;
        c.column = keys[k].column_number;
        c.op = RESTRICT_EQ;
        double d = 0;
        if (keys[k].value->type != VT_CHAR && get_double_from_value(keys[k].value, &d) == 0) {
            c.is_number = true;
            c.number = d;
        }
        char text[256];
        (void)value_as_text(keys[k].value, text, sizeof text, nullptr);
        c.text = text;
        shown += " " + std::string(keys[k].column ? keys[k].column->column : std::to_string(c.column).c_str()) + "=" + c.text;
        i->restrictions.push_back(c);
    }
    i->provider->fetches.push_back(shown);
    return DAL_OK;
}

}  // namespace

std::string Table::special_key(size_t r) const {
    if (r < key_string.size() && !key_string[r].empty()) return key_string[r];
    const Cell &id = row(r)[0];
    return "K" + (id.null ? std::string() : id.s.empty() ? std::to_string(id.i) : id.s);
}

const Table *Provider::find(const std::string &name) const {
    for (const Table &t : tables)
        if (strcasecmp(t.name.c_str(), name.c_str()) == 0) return &t;
    return any_table;
}

namespace {

constexpr ProcedureParam kEchoParams[] = {
    {"TXT", SQL_VARCHAR, 5, 0, 1, nullptr, nullptr},      {"AMOUNT", SQL_DECIMAL, 10, 2, 0, "1.00", nullptr},
    {"FLAG", SQL_BIT, 1, 0, 0, nullptr, nullptr},         {"DAY", SQL_TYPE_DATE, 10, 0, 0, nullptr, nullptr},
    {"N", SQL_INTEGER, 10, 0, 0, nullptr, nullptr},
};
constexpr ProcedureColumn kEchoColumns[] = {
    {"TXT", SQL_VARCHAR, 5, 0}, {"AMOUNT", SQL_VARCHAR, 12, 0}, {"FLAG", SQL_VARCHAR, 5, 0},
    {"DAY", SQL_VARCHAR, 10, 0}, {"N", SQL_VARCHAR, 12, 0},     {"TOTAL", SQL_DECIMAL, 10, 2},
};

int get_procedure_info(void *, void *, DalText name, const ProcedureInfo **out) {
    if (strcasecmp(std::string(dal_text_view(name)).c_str(), kEchoProcedure.name) != 0) return DAL_NOT_MINE;
    *out = &kEchoProcedure;
    return DAL_OK;
}

int run_procedure(void *it, const ProcedureInfo *proc, int count, Value *const *args) {
    auto *i = static_cast<Iterator *>(it);
    std::vector<Cell> row;
    std::string call = proc->name;
    for (int k = 0; k < count; k++) {
        const Value *v = args[k];
        Cell c = !v ? Cell::text("-") : v->is_null ? Cell{} : Cell::text(std::string(v->data.s, v->length));
        call += (k ? "|" : " ") + (c.null ? std::string("NULL") : c.s);
        row.push_back(std::move(c));
    }
    row.push_back(Cell::text("12.50"));
    i->provider->calls.push_back(call);
    i->listing = true;
    i->table = nullptr;
    i->position = -1;
    i->rows = {std::move(row)};
    return DAL_OK;
}

}  // namespace

const ProcedureInfo kEchoProcedure = {"ECHO", 5, kEchoParams, 6, kEchoColumns, "echoes its arguments"};

void install(DalRecord *dal, Provider *p, void *pool_owner) {
    (void)pool_owner;
    g_provider = p;
    static DalProvider provider;
    static DalProvider *list[1];
    provider = DalProvider{};
    provider.slots.SQIGetTableInfo = get_table_info;
    provider.slots.SQIGetColumnInfo = get_column_info;
    provider.slots.SQIGetInfo = get_info;
    provider.slots.SQIOpenIterator = open_iterator;
    provider.slots.SQICloseIterator = close_iterator;
    provider.slots.SQIResetIterator = reset_iterator;
    provider.slots.SQIStartQuery = start_query;
    provider.slots.SQINextRow = next_row;
    provider.slots.SQIGetData = get_data;
    provider.slots.SQIStatistics = statistics;
    provider.slots.SQIGetPKInfo = get_pk_info;
    provider.slots.SQIFetch = fetch;
    provider.slots.SQIGetProcedureInfo = get_procedure_info;
    provider.slots.SQIRunProcedure = run_procedure;
    provider.handle = p;
    p->dal = dal;
    list[0] = &provider;
    dal->count = 1;
    dal->providers = list;
}

void uninstall(DalRecord *dal) {
    dal->count = 0;
    dal->providers = nullptr;
    g_provider = nullptr;
}

const char *sqlite_type(Type t) {
    switch (t) {
        case Type::kDouble:
        case Type::kNumeric: return "REAL";
        case Type::kText:
        case Type::kDate:
        case Type::kTimestamp:
        case Type::kLongText: return "TEXT";
        default: return "INTEGER";
    }
}

void load_into_sqlite(const Provider &p, sqlite3 *db) {
    for (const Table &t : p.tables) {
        std::string create = "CREATE TABLE " + t.name + " (";
        for (size_t i = 0; i < t.columns.size(); i++) {
            const Column &c = t.columns[i];
            create += (i ? ", " : "") + c.name + " " + sqlite_type(c.type);
        }
        create += ")";
        sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
        std::string insert = "INSERT INTO " + t.name + " VALUES (";
        for (size_t i = 0; i < t.columns.size(); i++) insert += i ? ", ?" : "?";
        insert += ")";
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, insert.c_str(), -1, &st, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (size_t n = 0; n < t.row_count(); n++) {
            const Cell *row = t.row(n);
            sqlite3_reset(st);
            for (size_t i = 0; i < t.columns.size(); i++) {
                const Cell &c = row[i];
                int k = static_cast<int>(i + 1);
                if (c.null) sqlite3_bind_null(st, k);
                else if (t.columns[i].type == Type::kDouble) sqlite3_bind_double(st, k, c.d);
                else if (t.columns[i].type == Type::kNumeric)
                    sqlite3_bind_double(st, k, std::strtod(c.s.c_str(), nullptr));
                else if (std::string(sqlite_type(t.columns[i].type)) == "TEXT")
                    sqlite3_bind_text(st, k, c.s.c_str(), -1, SQLITE_TRANSIENT);
                else sqlite3_bind_int64(st, k, c.i);
            }
            sqlite3_step(st);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(st);
    }
}

Table generate(const std::string &name, int rows, unsigned seed, bool with_nulls) {
    Table t;
    t.name = name;
    t.columns = {{"ID", Type::kInteger, 0}, {"A", Type::kInteger, 0}, {"B", Type::kDouble, 0},
                 {"S", Type::kText, 16}, {"N", Type::kBigint, 0}};
    std::mt19937 rng(seed);
    static const char *const words[] = {"apple", "Apple", "banana", "cherry", "12ab", "1-2", "zeta", "ab%c", "_x", "pear"};
    for (int r = 1; r <= rows; r++) {
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        auto maybe_null = [&](Cell c) { return with_nulls && pick(7) == 0 ? Cell{} : c; };
        std::vector<Cell> row;
        row.push_back(Cell::of(r));
        row.push_back(maybe_null(Cell::of(pick(9) - 3)));
        row.push_back(maybe_null(Cell::real((pick(41) - 20) / 4.0)));
        row.push_back(maybe_null(Cell::text(words[pick(10)])));
        row.push_back(maybe_null(Cell::of(static_cast<int64_t>(pick(5)) * 3000000000LL - 6000000000LL)));
        t.add_row(std::move(row));
    }
    return t;
}

Table generate_children(const std::string &name, unsigned seed) {
    Table t;
    t.name = name;
    t.columns = {{"ID", Type::kInteger, 0}, {"POS", Type::kInteger, 0}, {"A", Type::kInteger, 0},
                 {"B", Type::kDouble, 0}, {"S", Type::kText, 16}};
    t.required_key = 1;
    std::mt19937 rng(seed);
    static const char *const words[] = {"apple", "pear", "zeta", "12ab", "cherry"};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto maybe_null = [&](Cell c) { return pick(6) == 0 ? Cell{} : c; };
    for (int id = -3; id <= 40; id++)
        for (int pos = 1, n = pick(4); pos <= n; pos++)
            t.add_row({Cell::of(id), Cell::of(pos), maybe_null(Cell::of(pick(9) - 3)),
                       maybe_null(Cell::real((pick(41) - 20) / 4.0)), maybe_null(Cell::text(words[pick(5)]))});
    return t;
}

Table generate_typed(const std::string &name, int rows, unsigned seed) {
    Table t;
    t.name = name;
    t.columns = {{"ID", Type::kInteger, 0},       {"D", Type::kDate, 0},          {"TS", Type::kTimestamp, 0},
                 {"M2", Type::kNumeric, 10, 2},   {"M4", Type::kNumeric, 12, 4},  {"M0", Type::kNumeric, 9, 0},
                 {"L", Type::kLongText, 0},       {"S", Type::kText, 16}};
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto maybe_null = [&](Cell c) { return pick(7) == 0 ? Cell{} : c; };
    static const char *const words[] = {"apple", "Apple", "banana", "pear", "ab%c", "_x", "a!b", "zeta"};
    // Long texts: a shared prefix past every length a value could be cut
    // at (255, the 1,024-byte pieces of a read, 2,048), then a short tail.
    std::string prefix;
    while (prefix.size() < 2100) prefix += "memo line " + std::to_string(prefix.size() % 97) + "; ";
    for (int r = 1; r <= rows; r++) {
        char text[64];
        std::vector<Cell> row;
        row.push_back(Cell::of(r));
        // Most dates are days the timestamps fall on.
        if (pick(3) == 0) std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2023 + pick(3), 1 + pick(12), 1 + pick(28));
        else std::snprintf(text, sizeof text, "2024-%02d-%02d", 1 + pick(2), 1 + pick(3));
        row.push_back(maybe_null(Cell::text(text)));
        int n = std::snprintf(text, sizeof text, "2024-%02d-%02d %02d:%02d:%02d", 1 + pick(2), 1 + pick(3),
                              pick(3) * 7, pick(2) * 30, pick(2) * 15);
        if (pick(4) == 0) std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%d", 1 + pick(9));
        row.push_back(maybe_null(Cell::text(text)));
        // Amounts that repeat across the scales: -12.5 is -12.50, -12.5000
        // and (for whole amounts) -12.
        int cents = (pick(41) - 20) * 25 + (pick(3) == 0 ? pick(10) : 0);
        std::snprintf(text, sizeof text, "%s%d.%02d", cents < 0 ? "-" : "", std::abs(cents) / 100, std::abs(cents) % 100);
        row.push_back(maybe_null(Cell::text(text)));
        int tenths = (pick(41) - 20) * 2500 + (pick(4) == 0 ? pick(10000) - 5000 : 0);
        std::snprintf(text, sizeof text, "%s%d.%04d", tenths < 0 ? "-" : "", std::abs(tenths) / 10000,
                      std::abs(tenths) % 10000);
        row.push_back(maybe_null(Cell::text(text)));
        row.push_back(maybe_null(Cell::text(std::to_string(pick(11) - 5))));
        std::string memo = pick(3) == 0 ? words[pick(8)] : prefix.substr(0, static_cast<size_t>(pick(3)) * 700 + 1400);
        memo += words[pick(8)];
        row.push_back(maybe_null(Cell::text(memo)));
        row.push_back(maybe_null(Cell::text(words[pick(8)])));
        t.add_row(std::move(row));
    }
    return t;
}

}  // namespace memprov
