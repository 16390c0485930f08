// Catalogue listings (ordering, NULLs, duplicates, row limits) over a
// provider built for the test, and the stored-views provider's type lists
// and view store walk.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dal/catalog_listing.h"
#include "dal/dal.h"
#include "dal/views.h"
#include "odbc/handles.h"
#include "odbc/odbc_api.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "support/diag.h"

namespace {

// ---- a provider whose SQLTables rows are given by the test
struct Rows {
    std::vector<std::vector<std::string>> rows;  // "~" is NULL
    int64_t repeat = 1;                            // the rows delivered this many times
};
Rows g_rows;

struct RowIt {
    int64_t row = 0;
};
void *open_it(void *, void *, DalProvider *, const Node *) { return new RowIt{}; }
int close_it(void *it) {
    delete static_cast<RowIt *>(it);
    return DAL_OK;
}
int next_row(void *it) {
    auto *r = static_cast<RowIt *>(it);
    if (r->row >= static_cast<int64_t>(g_rows.rows.size()) * g_rows.repeat) return DAL_NO_DATA;
    r->row++;
    return DAL_OK;
}
int tables(void *it, DalText, DalText, DalText, DalText) {
    static_cast<RowIt *>(it)->row = 0;
    return DAL_OK;
}
int get_data(void *it, int column, int, void *buffer, SQLLEN capacity, SQLLEN *length) {
    const auto &row = g_rows.rows[static_cast<size_t>((static_cast<RowIt *>(it)->row - 1) % g_rows.rows.size())];
    const std::string &v = row[static_cast<size_t>(column - 1)];
    if (v == "~") {
        *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    *length = static_cast<SQLLEN>(v.size());
    snprintf(static_cast<char *>(buffer), static_cast<size_t>(capacity), "%s", v.c_str());
    return static_cast<SQLLEN>(v.size()) < capacity ? DAL_OK : DAL_INFO;
}

struct Listing : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    DBC *dbc = nullptr;
    DalRecord *dal = nullptr;
    DalIterator *it = nullptr;

    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &hdbc), SQL_SUCCESS);
        dbc = static_cast<DBC *>(hdbc);
        dal = dbc->dal;
        dal->count = 1;
        dal->providers = pool_new_array<DalProvider *>(dbc->pool, 1);
        DalProvider *p = pool_new<DalProvider>(dbc->pool);
        p->slots = DalSlots{.SQIOpenIterator = open_it, .SQICloseIterator = close_it, .SQINextRow = next_row,
                            .SQITables = tables, .SQIGetData = get_data};
        dal->providers[0] = p;
        it = DALOpenIterator(dbc, dal);
        ASSERT_NE(it, nullptr);
        g_rows = Rows{};
    }
    void TearDown() override {
        DALCloseIterator(it);
        dal->providers[0]->slots = DalSlots{};
        dal->count = 0;
        dal->providers = nullptr;
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // Table names of an SQLTables listing, in delivery order.
    std::vector<std::string> names(int64_t max_rows = 0, int expect = 0) {
        CatalogCall call{};
        call.function = CatalogFunction::kTables;
        EXPECT_EQ(catalog_call_dal(it, &call), DAL_OK);
        CatalogListing l;
        EXPECT_EQ(catalog_listing_read(&l, catalog_result_def(CatalogFunction::kTables), it, dbc, max_rows), expect);
        std::vector<std::string> out;
        while (catalog_listing_next(&l) == 0) {
            const CatalogCell *type = catalog_listing_cell(&l, 4);
            const CatalogCell *name = catalog_listing_cell(&l, 3);
            const CatalogCell *schema = catalog_listing_cell(&l, 2);
            out.push_back(std::string(type->text) + "/" + (schema->is_null ? "~" : schema->text) + "/" + name->text);
        }
        EXPECT_EQ(catalog_listing_next(&l), 100) << "stays past the end";
        EXPECT_EQ(catalog_listing_cell(&l, 1), nullptr);
        return out;
    }
};

TEST_F(Listing, TablesOrderByTypeCatalogSchemaNameWithNullsFirstAndDropDuplicates) {
    g_rows.rows = {
        {"C", "S", "b", "TABLE", "~"}, {"C", "S", "a", "VIEW", "~"},  {"C", "~", "z", "TABLE", "~"},
        {"C", "S", "B", "TABLE", "~"}, {"C", "S", "b", "TABLE", "~"}, {"C", "S", "a", "TABLE", "x"},
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"TABLE/~/z", "TABLE/S/B", "TABLE/S/a", "TABLE/S/b", "VIEW/S/a"}));
}

TEST_F(Listing, RowLimitKeepsTheFirstSortedRowsAndLongTextsAreCut) {
    g_rows.rows = {{"C", "S", "c", "TABLE", "~"}, {"C", "S", "a", "TABLE", "~"}, {"C", "S", "b", "TABLE", "~"}};
    EXPECT_EQ(names(2), (std::vector<std::string>{"TABLE/S/a", "TABLE/S/b"}));
    g_rows.rows = {{"C", "S", std::string(400, 'n'), "TABLE", "~"}};
    const auto one = names();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].size(), std::string("TABLE/S/").size() + 254) << "a text column holds 254 characters";
}

TEST_F(Listing, ARunawayProviderStopsAtTheRowLimit) {
    g_rows.rows = {{"C", "S", "t", "TABLE", "~"}};
    g_rows.repeat = kCatalogMaxRows + 1;
    const auto out = names(0, -1);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(std::string(diag_message(dbc->diag, 1)).find("too many rows"), std::string::npos);
}

TEST(CatalogResultSets, ColumnTablesAndKeys) {
    struct Case {
        CatalogFunction f;
        int columns;
        std::vector<int> keys;
    };
    const Case cases[] = {
        {CatalogFunction::kTables, 5, {4, 1, 2, 3}},        {CatalogFunction::kColumns, 18, {1, 2, 3, 17}},
        {CatalogFunction::kStatistics, 13, {4, 7, 5, 6, 8}}, {CatalogFunction::kPrimaryKeys, 6, {1, 2, 3, 5}},
        {CatalogFunction::kForeignKeys, 14, {1, 2, 3, 9}},  {CatalogFunction::kSpecialColumns, 8, {1}},
        {CatalogFunction::kTablePrivileges, 7, {1, 2, 3, 6}}, {CatalogFunction::kColumnPrivileges, 8, {1, 2, 3, 4, 7}},
        {CatalogFunction::kProcedures, 8, {1, 2, 3}},       {CatalogFunction::kProcedureColumns, 19, {1, 2, 3, 5}},
        {CatalogFunction::kTypeInfo, 19, {2, 12, 1}},
    };
    for (const Case &c : cases) {
        const CatalogResultDef *d = catalog_result_def(c.f);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->column_count, c.columns) << static_cast<int>(c.f);
        EXPECT_EQ(std::vector<int>(d->sort_keys, d->sort_keys + d->sort_key_count), c.keys) << static_cast<int>(c.f);
    }
    const CatalogResultDef *fk = catalog_result_def(CatalogFunction::kForeignKeys, true);
    EXPECT_EQ(std::vector<int>(fk->sort_keys, fk->sort_keys + fk->sort_key_count), (std::vector<int>{5, 6, 7, 9}));
    EXPECT_EQ(catalog_result_def(static_cast<CatalogFunction>(11)), nullptr);
}

// ---- the type lists
struct TypeRow {
    std::string name;
    int code;
};

std::vector<TypeRow> type_rows(int version, int asked) {
    ViewEnv env{};
    env.odbc_version = version;
    env.types = view_type_list(version);
    ViewIterator it{};
    it.env = &env;
    it.type_listing = 1;
    it.requested_type = view_type_requested(asked, version);
    std::vector<TypeRow> out;
    while (view_type_next(&it) == DAL_OK) {
        char name[128];
        SQLLEN len = 0;
        int16_t code = 0;
        EXPECT_EQ(view_type_column(&it, 1, SQL_C_CHAR, name, sizeof name, &len), DAL_OK);
        EXPECT_EQ(view_type_column(&it, 2, SQL_C_SSHORT, &code, sizeof code, &len), DAL_OK);
        out.push_back({name, code});
    }
    return out;
}

TEST(ViewTypes, ListsForOdbc3AndOdbc2WithTheDateCodesMappedBothWays) {
    EXPECT_EQ(type_rows(3, 0).size(), 35u);
    EXPECT_EQ(type_rows(2, 0).size(), 23u);
    struct Case {
        int version, asked;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {3, SQL_DATE, {SQL_TYPE_DATE}}, {3, SQL_TYPE_TIMESTAMP, {SQL_TYPE_TIMESTAMP}}, {2, SQL_TYPE_DATE, {SQL_DATE}},
        {2, SQL_TIME, {SQL_TIME}},      {3, SQL_INTERVAL_YEAR_TO_MONTH, {}},          {2, SQL_INTERVAL_DAY, {}},
        {3, SQL_INTEGER, {SQL_INTEGER, SQL_INTEGER}},
    };
    for (const Case &c : cases) {
        std::vector<int> codes;
        for (const TypeRow &r : type_rows(c.version, c.asked)) codes.push_back(r.code);
        EXPECT_EQ(codes, c.codes) << c.version << " " << c.asked;
    }
    const auto ints = type_rows(3, SQL_INTEGER);
    EXPECT_EQ(ints[1].name, "INTEGER AUTONUMBER");
}

TEST(ViewTypes, RowColumnsFollowTheTemplateWithScaleBoundsZero) {
    ViewEnv env{};
    env.odbc_version = 3;
    env.types = view_type_list(3);
    ViewIterator it{};
    it.env = &env;
    auto column = [&](int c) {
        int32_t n = -77;
        SQLLEN len = 0;
        EXPECT_EQ(view_type_column(&it, c, SQL_C_SLONG, &n, sizeof n, &len), DAL_OK);
        return len == SQL_NULL_DATA ? -1000 : n;
    };
    it.requested_type = SQL_INTEGER;
    it.type_position = 0;
    ASSERT_EQ(view_type_next(&it), DAL_OK);
    ASSERT_EQ(view_type_next(&it), DAL_OK);
    EXPECT_EQ(column(12), 1) << "AUTO_UNIQUE_VALUE of INTEGER AUTONUMBER";
    EXPECT_EQ(column(7), 0) << "NULLABLE of INTEGER AUTONUMBER";
    it.requested_type = SQL_NUMERIC;
    it.type_position = 0;
    ASSERT_EQ(view_type_next(&it), DAL_OK);
    EXPECT_EQ(column(15), 0) << "MAXIMUM_SCALE";
    EXPECT_EQ(column(14), 0) << "MINIMUM_SCALE";
    it.requested_type = SQL_TYPE_DATE;
    it.type_position = 0;
    ASSERT_EQ(view_type_next(&it), DAL_OK);
    EXPECT_EQ(column(17), -1000) << "SQL_DATETIME_SUB of DATE is NULL";
    it.requested_type = SQL_INTERVAL_DAY;
    it.type_position = 0;
    ASSERT_EQ(view_type_next(&it), DAL_OK);
    EXPECT_EQ(column(17), 3) << "an interval reports its subcode";
    EXPECT_EQ(column(19), 2) << "INTERVAL_PRECISION";
    EXPECT_EQ(view_type_next(&it), DAL_NO_DATA);
}

// ---- a view store kept in memory: keys are paths, values per key
struct MemStore {
    std::map<std::string, std::map<std::string, std::string>> text;
    std::map<std::string, std::map<std::string, int32_t>> ints;
    std::vector<std::string> keys;  // every key path, in creation order
    std::vector<std::string *> open;
};
std::string *key_of(void *k) { return static_cast<std::string *>(k); }
int mem_open(void *s, void *parent, const char *name, int create, void **out) {
    auto *m = static_cast<MemStore *>(s);
    std::string path = (parent ? *key_of(parent) + "/" : std::string()) + name;
    bool exists = false;
    for (const auto &k : m->keys) exists |= k == path;
    if (!exists && !create) return -1;
    if (!exists) m->keys.push_back(path);
    m->open.push_back(new std::string(path));
    *out = m->open.back();
    return 0;
}
int mem_close(void *, void *key) {
    delete key_of(key);
    return 0;
}
int mem_read_text(void *s, void *key, const char *name, char *buffer, int capacity) {
    auto &t = static_cast<MemStore *>(s)->text[*key_of(key)];
    if (!t.count(name)) return -1;
    snprintf(buffer, static_cast<size_t>(capacity), "%s", t[name].c_str());
    return 0;
}
int mem_read_int(void *s, void *key, const char *name, int32_t *out) {
    auto &t = static_cast<MemStore *>(s)->ints[*key_of(key)];
    if (!t.count(name)) return -1;
    *out = t[name];
    return 0;
}
int mem_write_text(void *s, void *key, const char *name, const char *text) {
    static_cast<MemStore *>(s)->text[*key_of(key)][name] = text;
    return 0;
}
int mem_write_int(void *s, void *key, const char *name, int32_t value) {
    static_cast<MemStore *>(s)->ints[*key_of(key)][name] = value;
    return 0;
}
int mem_delete_value(void *, void *, const char *) { return 0; }
int mem_delete_key(void *, void *, const char *) { return 0; }
int mem_enum(void *s, void *key, int index, char *name, int capacity) {
    auto *m = static_cast<MemStore *>(s);
    const std::string prefix = *key_of(key) + "/";
    int i = 0;
    for (const auto &k : m->keys) {
        if (k.rfind(prefix, 0) != 0 || k.find('/', prefix.size()) != std::string::npos) continue;
        if (i++ == index) {
            snprintf(name, static_cast<size_t>(capacity), "%s", k.substr(prefix.size()).c_str());
            return 0;
        }
    }
    return -1;
}
constexpr ViewStoreOps kMemOps = {mem_open,       mem_close,        mem_read_text,  mem_read_int, mem_write_text,
                                  mem_write_int,  mem_delete_value, mem_delete_key, mem_enum};

TEST(ViewStoreWalk, LoadingNamesNeverWritesPastItsSlots) {
    MemStore m;
    const ViewStore store{&kMemOps, &m};
    void *k[4];
    ASSERT_EQ(mem_open(&m, nullptr, "views", 1, &k[0]), 0);
    ASSERT_EQ(mem_open(&m, k[0], kViewNoName, 1, &k[1]), 0);
    ASSERT_EQ(mem_open(&m, k[1], "S", 1, &k[2]), 0);
    ASSERT_EQ(mem_open(&m, k[2], "V", 1, &k[3]), 0);
    mem_write_text(&m, k[3], "sql", "SELECT 1");
    mem_write_int(&m, k[3], "name_count", 1000);  // more than any buffer holds
    for (int i = 0; i < 1000; i++) mem_write_text(&m, k[3], ("name_" + std::to_string(i)).c_str(), "n");
    for (void *key : k) mem_close(&m, key);

    std::string sql(kViewMaxText + 1, '\0');
    constexpr int kSlots = 4;
    char names[kSlots + 1][kViewNameSize];
    memset(names, 'x', sizeof names);
    ASSERT_EQ(view_load(store, "", "S", "V", sql.data(), names, kSlots), 0);
    EXPECT_STREQ(sql.c_str(), "SELECT 1");
    EXPECT_STREQ(names[2], "n");
    EXPECT_STREQ(names[kSlots - 1], "") << "the last slot ends the list";
    EXPECT_EQ(names[kSlots][0], 'x') << "nothing written past the slots";
    EXPECT_EQ(view_load(store, "", "S", "W", sql.data(), nullptr, 0), -1);

    ViewWalk walk{};
    ASSERT_EQ(view_walk_next(store, &walk), 0);
    EXPECT_STREQ(walk.catalog, "") << "$$NONAME$$ reads as an empty catalog";
    EXPECT_STREQ(walk.schema, "S");
    EXPECT_STREQ(walk.name, "V");
    EXPECT_EQ(view_walk_next(store, &walk), -1);

    ViewWalk none{};
    EXPECT_EQ(view_walk_next(view_null_store(), &none), -1) << "the null store holds no views";
    EXPECT_EQ(view_load(view_null_store(), "", "S", "V", sql.data(), names, kSlots), -1);
}

struct ViewDdl : Listing {};

// A parsed SELECT whose printed text is exactly `length` characters.
std::string print_query_of_length(CvPool *pool, size_t length, ParseContext **ctx_out) {
    auto print_len = [&](size_t literal) {
        ParseContext *ctx = create_parse_context(pool);
        std::string text = "SELECT '" + std::string(literal, 'a') + "' FROM T";
        std::vector<char> buf(text.begin(), text.end());
        buf.push_back('\0');
        EXPECT_EQ(parse_sql_text(ctx, buf.data(), 0, nullptr), 0);
        *ctx_out = ctx;
        std::string printed;
        EXPECT_EQ(print_to_string(ctx->root, false, printed), 0);
        return printed.size();
    };
    const size_t base = print_len(10);
    release_parse_context(*ctx_out);
    print_len(10 + length - base);
    return {};
}

TEST_F(ViewDdl, CreateChecksTheTextLengthBeforeTheStoreAndTheNullStoreRefuses) {
    CvPool *pool = cv_mem_alloc_handle(dbc->pool);
    for (const auto &[length, message] : {std::pair<size_t, const char *>{16385, "Unable to create view, query to large"},
                                          {16384, "Unable to create view"}}) {
        ParseContext *ctx = nullptr;
        (void)print_query_of_length(pool, length, &ctx);
        SetupErrorHeader(dbc->diag, 0);
        const Node *query = ctx->root;
        EXPECT_EQ(ViewCreate(dbc, dbc->dal, view_null_store(), "", "S", "V", query, nullptr, 0), -1);
        const std::string got = diag_message(dbc->diag, 1);
        EXPECT_NE(got.find(message), std::string::npos) << length << ": " << got;
        if (length == 16384) {
            EXPECT_EQ(got.find("large"), std::string::npos) << got;
        }
        release_parse_context(ctx);
    }
    cv_mem_release_handle(pool);
    EXPECT_EQ(ViewDrop(dbc, view_null_store(), "", "S", "V", kViewDropCascade), -1);
    EXPECT_EQ(ViewDropDependents(dbc, view_null_store(), nullptr, "", "S", "V"), 0);
}

}  // namespace
