// The INFO_SCHEMA provider through its slots: exact names, column
// descriptions answered as its own, the TABLE_NAME restriction handed to
// the columns listing as the bare name, SERVER_INFO, PAYPAL_RESTRICTIONS.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dal/dal.h"
#include "dal/info_schema.h"
#include "support/value.h"
#include "odbc/handles.h"
#include "odbc/odbc_api.h"

namespace {

// A provider whose SQLColumns listing records its table argument and gives
// one row per name asked for.
std::vector<std::string> g_asked;
struct ColIt {
    int row = 0;
    std::string table;
};
void *open_it(void *, void *, DalProvider *, const Node *) { return new ColIt{}; }
int close_it(void *it) {
    delete static_cast<ColIt *>(it);
    return DAL_OK;
}
int columns(void *it, DalText, DalText, DalText table, DalText) {
    auto *c = static_cast<ColIt *>(it);
    c->table = table.text ? std::string(dal_text_view(table)) : "<all>";
    g_asked.push_back(c->table);
    c->row = 0;
    return DAL_OK;
}
int next_row(void *it) { return static_cast<ColIt *>(it)->row++ < 1 ? DAL_OK : DAL_NO_DATA; }
int get_data(void *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    auto *c = static_cast<ColIt *>(it);
    if (column == 3 || column == 4) {
        *length = static_cast<SQLLEN>(c->table.size());
        snprintf(static_cast<char *>(buffer), static_cast<size_t>(capacity), "%s", c->table.c_str());
        return DAL_OK;
    }
    if (column == 5 || column == 17) {
        const int32_t v = column == 5 ? SQL_VARCHAR : 1;
        if (c_type == SQL_C_SSHORT) *static_cast<int16_t *>(buffer) = static_cast<int16_t>(v);
        else *static_cast<int32_t *>(buffer) = v;
        *length = c_type == SQL_C_SSHORT ? 2 : 4;
        return DAL_OK;
    }
    *length = SQL_NULL_DATA;
    return DAL_OK;
}

DalRecord *g_dal = nullptr;
int callback(DalRecord *, int code, DalServiceRequest *r) {
    if (code == DAL_SERVICE_RECORD) {
        r->result = g_dal;
        return DAL_OK;
    }
    if (code == DAL_SERVICE_GET_INFO) {
        if (r->code == 7) snprintf(static_cast<char *>(r->buffer), static_cast<size_t>(r->capacity), "01.00.0000");
        else *static_cast<int16_t *>(r->buffer) = 128;
        return DAL_OK;
    }
    return DAL_ERROR;
}

struct InfoSchema : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    DBC *dbc = nullptr;
    DalSlots s{};
    void *penv = nullptr;
    void *it = nullptr;

    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &hdbc), SQL_SUCCESS);
        dbc = static_cast<DBC *>(hdbc);
        g_dal = dbc->dal;
        g_dal->count = 1;
        g_dal->providers = pool_new_array<DalProvider *>(dbc->pool, 1);
        DalProvider *p = pool_new<DalProvider>(dbc->pool);
        p->slots = DalSlots{.SQIOpenIterator = open_it, .SQICloseIterator = close_it, .SQINextRow = next_row,
                            .SQIColumns = columns, .SQIGetData = get_data};
        g_dal->providers[0] = p;
        info_schema_provider_slots(&s);
        const DalLink link{dbc, g_dal, callback};
        ASSERT_EQ(s.SQIAllocEnv(&link, &penv, nullptr), DAL_OK);
        it = s.SQIOpenIterator(dbc, penv, nullptr, nullptr);
        ASSERT_NE(it, nullptr);
        g_asked.clear();
    }
    void TearDown() override {
        s.SQICloseIterator(it);
        s.SQIFreeEnv(penv, nullptr);
        g_dal->providers[0]->slots = DalSlots{};
        g_dal->count = 0;
        g_dal->providers = nullptr;
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    std::string text(int column) {
        char buf[300];
        SQLLEN len = 0;
        EXPECT_EQ(s.SQIGetData(it, column, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
        return len == SQL_NULL_DATA ? "<null>" : buf;
    }
};

TEST_F(InfoSchema, NamesAreExactAndColumnsAreItsOwn) {
    TableInfo ti{};
    EXPECT_EQ(s.SQIGetTableInfo(dbc, penv, {}, dal_text("INFO_SCHEMA"), dal_text("COLUMNS"), &ti), DAL_OK);
    EXPECT_EQ(ti.column_count, 23);
    for (auto [schema, table] : {std::pair{"info_schema", "COLUMNS"}, {"INFO_SCHEMA", "columns"}, {"DBO", "TABLES"}})
        EXPECT_EQ(s.SQIGetTableInfo(dbc, penv, {}, dal_text(schema), dal_text(table), &ti), DAL_NOT_MINE) << table;
    ColumnInfo ci[23]{};
    ASSERT_EQ(s.SQIGetColumnInfo(dbc, penv, {}, dal_text("INFO_SCHEMA"), dal_text("COLUMNS"), 23, ci), DAL_OK)
        << "answers for its own tables, so the validator takes the columns";
    EXPECT_STREQ(ci[4].column, "ORDINAL_POSITION");
    EXPECT_EQ(ci[4].data_type, SQL_INTEGER);
    EXPECT_STREQ(ci[7].type_name, "CHARACTER VARYING");
    EXPECT_STREQ(ci[7].local_type_name, "SQL_VARCHAR");
    EXPECT_EQ(ci[22].nullable, SQL_NULLABLE);
}

TEST_F(InfoSchema, TableNameRestrictionReachesTheColumnsListingBare) {
    TableInfo ti{};
    ASSERT_EQ(s.SQIGetTableInfo(dbc, penv, {}, dal_text("INFO_SCHEMA"), dal_text("COLUMNS"), &ti), DAL_OK);
    ColumnInfo ci[23]{};
    ASSERT_EQ(s.SQIGetColumnInfo(dbc, penv, {}, dal_text("INFO_SCHEMA"), dal_text("COLUMNS"), 23, ci), DAL_OK);
    Value v{};
    v.kind = kValueNodeKind;
    v.type = VT_CHAR;
    char name[] = "Invoices";
    v.data.s = name;
    v.length = 8;
    Restriction r{};
    r.column = &ci[2];
    r.column_number = 3;
    r.op = RESTRICT_EQ;
    r.value = &v;
    Restriction *list[] = {&r};
    ASSERT_EQ(s.SQIStartQuery(it, &ti, nullptr, nullptr, 1, list), DAL_OK);
    EXPECT_EQ(g_asked, std::vector<std::string>{"Invoices"});
    ASSERT_EQ(s.SQINextRow(it), DAL_OK);
    EXPECT_EQ(text(3), "Invoices");
    EXPECT_EQ(text(8), "CHARACTER VARYING") << "DATA_TYPE is the type's name";
    EXPECT_EQ(s.SQINextRow(it), DAL_NO_DATA);

    r.op = RESTRICT_LT;  // not an equality: every table is listed
    ASSERT_EQ(s.SQIStartQuery(it, &ti, nullptr, nullptr, 1, list), DAL_OK);
    EXPECT_EQ(g_asked.back(), "<all>");
}

TEST_F(InfoSchema, ServerInfoAndPaypalRestrictions) {
    TableInfo ti{};
    ASSERT_EQ(s.SQIGetTableInfo(dbc, penv, {}, dal_text("INFO_SCHEMA"), dal_text("SERVER_INFO"), &ti), DAL_OK);
    ASSERT_EQ(s.SQIStartQuery(it, &ti, nullptr, nullptr, 0, nullptr), DAL_OK);
    std::vector<std::string> rows;
    while (s.SQINextRow(it) == DAL_OK) rows.push_back(text(1) + "=" + text(2));
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[0], "CATALOG_NAME=YES");
    EXPECT_EQ(rows[2], "IDENTIFIER_LENGTH=128");
    EXPECT_EQ(rows[6], "SERVER_VERSION=01.00.0000");

    // The rows as a query reads them: TABLE_NAME.COLUMN_NAME -> SENT_AS
    // .. DEFAULT_VALUE joined with '|'.
    ASSERT_EQ(s.SQIGetTableInfo(dbc, penv, {}, dal_text("INFO_SCHEMA"), dal_text("PAYPAL_RESTRICTIONS"), &ti),
              DAL_OK);
    ASSERT_EQ(ti.column_count, 10);
    ASSERT_EQ(s.SQIStartQuery(it, &ti, nullptr, nullptr, 0, nullptr), DAL_OK);
    std::map<std::string, std::string> restrictions;
    while (s.SQINextRow(it) == DAL_OK) {
        std::string row = text(5);
        for (int c : {7, 8, 9, 10}) row += "|" + text(c);
        restrictions[text(1) + "." + text(2)] = row;
    }
    const std::pair<const char *, const char *> cases[] = {
        {"Payments.StartTime", "QUERY PARAMETER|>, >=, =|YES|<null>|<null>"},
        {"Payments.EndTime", "QUERY PARAMETER|<, <=, =|YES|<null>|<null>"},
        {"Invoices.Id", "PATH|=|NO|<null>|<null>"},
        {"Invoices.Status", "DRIVER|<null>|NO|<null>|<null>"},
        {"Plans.Id", "QUERY PARAMETER|=|NO|<null>|<null>"},
        // Every record unless the query asks for the balance-affecting ones.
        {"Transactions.BalanceAffectingOnly", "QUERY PARAMETER|=|NO|N, Y|N"},
        {"TransactionItems.BalanceAffectingOnly", "QUERY PARAMETER|=|NO|N, Y|N"},
        {"Balances.AsOfTime", "QUERY PARAMETER|=|NO|<null>|<null>"},
        {"Balances.ServedAsOfTime", "DRIVER|<null>|NO|<null>|<null>"},
    };
    for (const auto &[column, want] : cases) EXPECT_EQ(restrictions[column], want) << column;
}

}  // namespace
