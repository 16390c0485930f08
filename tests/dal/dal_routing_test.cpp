// The multiplexor's routing and merging, with providers built for the test:
// each serves a few catalogue rows and records what it was asked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dal/dal.h"
#include "odbc/handles.h"
#include "odbc/odbc_api.h"
#include "support/value.h"
#include "support/long_buffer.h"
#include "support/value_ops.h"

namespace {

struct FakeState {
    std::string name;
    std::vector<std::string> asked_catalogs;  // "<null>" for an absent one
    std::vector<std::string> rows;            // catalog values (empty = NULL)
    int tables_result = DAL_OK;
    bool claims_table = false;
    int transactions = 0;
};

struct FakeIterator {
    FakeState *state;
    int row;  // 0 before the first
};

FakeState g_states[4];

std::string cat_of(DalText t) { return t.text ? std::string(dal_text_view(t)) : "<null>"; }

void *open_it(void *, void *env, DalProvider *, const Node *) {
    auto *it = new FakeIterator{static_cast<FakeState *>(env), 0};
    return it;
}
int close_it(void *it) {
    delete static_cast<FakeIterator *>(it);
    return DAL_OK;
}
int next_row(void *it) {
    auto *f = static_cast<FakeIterator *>(it);
    if (f->row >= static_cast<int>(f->state->rows.size())) return DAL_NO_DATA;
    f->row++;
    return DAL_OK;
}
int tables(void *it, DalText catalog, DalText, DalText, DalText) {
    auto *f = static_cast<FakeIterator *>(it);
    f->state->asked_catalogs.push_back(cat_of(catalog));
    f->row = 0;
    return f->state->tables_result;
}
int get_data(void *it, int column, int, void *buffer, SQLLEN capacity, SQLLEN *length) {
    auto *f = static_cast<FakeIterator *>(it);
    std::string v = column == 1 ? f->state->rows[f->row - 1] : "";
    if (v.empty()) {
        *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    *length = static_cast<SQLLEN>(v.size());
    snprintf(static_cast<char *>(buffer), static_cast<size_t>(capacity), "%s", v.c_str());
    return DAL_OK;
}
int table_info(void *, void *env, DalText, DalText, DalText table, TableInfo *out) {
    auto *s = static_cast<FakeState *>(env);
    if (!s->claims_table) return DAL_NOT_MINE;
    snprintf(out->table, sizeof out->table, "%s", std::string(dal_text_view(table)).c_str());
    return DAL_OK;
}
int start_query(void *it, TableInfo *, const ListNode *, const ListNode *, int, Restriction **) {
    static_cast<FakeIterator *>(it)->row = 0;
    return DAL_OK;
}
int start_tx(void *, void *env) {
    static_cast<FakeState *>(env)->transactions++;
    return DAL_OK;
}
int end_tx(void *, void *env, int) {
    static_cast<FakeState *>(env)->transactions--;
    return DAL_OK;
}

struct DalRouting : ::testing::Test {
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
        build({"$$$VIEWS$$$", "$$$INFO_SCHEMA$$$", ""});
    }
    void build(std::vector<std::string> names) {
        dal->count = static_cast<int32_t>(names.size());
        dal->providers = pool_new_array<DalProvider *>(dbc->pool, names.size());
        for (size_t i = 0; i < names.size(); i++) {
            g_states[i] = FakeState{};
            g_states[i].name = names[i];
            g_states[i].rows = {"CAT" + std::to_string(i)};
            DalProvider *p = pool_new<DalProvider>(dbc->pool);
            snprintf(p->name, sizeof p->name, "%s", names[i].c_str());
            p->slots = DalSlots{.SQIGetTableInfo = table_info, .SQIOpenIterator = open_it,
                                .SQICloseIterator = close_it, .SQINextRow = next_row, .SQITables = tables,
                                .SQIGetData = get_data, .SQIStartQuery = start_query,
                                .SQIStartTransaction = start_tx, .SQIEndTransaction = end_tx};
            p->handle = &g_states[i];
            dal->providers[i] = p;
        }
        it = DALOpenIterator(dbc, dal);
        ASSERT_NE(it, nullptr);
    }
    void TearDown() override {
        DALCloseIterator(it);
        for (int i = 0; i < dal->count; i++) dal->providers[i]->slots = DalSlots{};
        dal->count = 0;
        dal->providers = nullptr;
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // The catalog column of every row of the listing.
    std::vector<std::string> listing() {
        std::vector<std::string> out;
        int r;
        while ((r = DALNextRow(it)) == DAL_OK) {
            char buf[300];
            SQLLEN len = 0;
            EXPECT_EQ(DALGetData(it, 1, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
            out.push_back(len == SQL_NULL_DATA ? "<null>" : buf);
        }
        EXPECT_EQ(r, DAL_NO_DATA);
        return out;
    }
    std::vector<std::string> asked(int i) { return g_states[i].asked_catalogs; }
};

TEST_F(DalRouting, CatalogWithUnknownLinkGoesToEveryProviderUnchanged) {
    ASSERT_EQ(DALTables(it, dal_text("X$PAYPAL"), {}, {}, {}), DAL_OK);
    for (int i = 0; i < 3; i++) EXPECT_EQ(asked(i), std::vector<std::string>{"X$PAYPAL"}) << i;
    EXPECT_EQ(listing(), (std::vector<std::string>{"CAT0", "CAT1", "CAT2"}));
}

TEST_F(DalRouting, EmptyLinkNamesTheUnnamedTargetAlone) {
    ASSERT_EQ(DALTables(it, dal_text("$"), {}, {}, {}), DAL_OK);
    EXPECT_TRUE(asked(0).empty());
    EXPECT_TRUE(asked(1).empty());
    EXPECT_EQ(asked(2), std::vector<std::string>{"<null>"});
    EXPECT_EQ(listing(), std::vector<std::string>{"CAT2"});
}

TEST_F(DalRouting, NamedTargetPrefixesItsCatalogsAndFailingProvidersAreSkipped) {
    TearDown();
    SetUp();
    DALCloseIterator(it);
    build({"$$$VIEWS$$$", "$$$INFO_SCHEMA$$$", "L"});
    g_states[2].rows = {"PAYPAL", ""};
    g_states[1].tables_result = DAL_ERROR;  // fails: left out, the call still succeeds
    // A query's rows on the named target are its own values; a listing that
    // takes the same iterator over afterwards is renamed again.
    TableInfo info{};
    info.provider_index = 2;
    ASSERT_EQ(DALStartQuery(it, &info, nullptr, nullptr, 0, nullptr), DAL_OK);
    ASSERT_EQ(DALNextRow(it), DAL_OK);
    char buf[16];
    SQLLEN len = 0;
    ASSERT_EQ(DALGetData(it, 1, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
    EXPECT_STREQ(buf, "PAYPAL");
    ASSERT_EQ(DALTables(it, {}, {}, {}, {}), DAL_OK);
    EXPECT_EQ(listing(), (std::vector<std::string>{"CAT0", "L$PAYPAL", "L$"}));
    EXPECT_EQ(DALResetIterator(it), DAL_OK);
    ASSERT_EQ(DALTables(it, dal_text("l$PAYPAL"), {}, {}, {}), DAL_OK);
    EXPECT_EQ(asked(2).back(), "PAYPAL");
    EXPECT_EQ(asked(0).size(), 1u) << "only L is asked for its own catalog";
}

TEST_F(DalRouting, TableLookupPrefersTheLastProviderAndScansEndCleanly) {
    g_states[0].claims_table = true;
    g_states[2].claims_table = true;
    TableInfo info{};
    ASSERT_EQ(DALGetTableInfo(dbc, dal, nullptr, {}, {}, dal_text("Invoices"), &info), DAL_OK);
    EXPECT_EQ(info.provider_index, 2) << "a PayPal table shadows a view of the same name";
    g_states[2].claims_table = false;
    ASSERT_EQ(DALGetTableInfo(dbc, dal, nullptr, {}, {}, dal_text("Invoices"), &info), DAL_OK);
    EXPECT_EQ(info.provider_index, 0);
    EXPECT_STREQ(info.link_name, "$$$VIEWS$$$");
    g_states[0].claims_table = false;
    EXPECT_EQ(DALGetTableInfo(dbc, dal, nullptr, {}, {}, dal_text("Nope"), &info), DAL_NOT_MINE);

    info.provider_index = 2;
    ASSERT_EQ(DALStartQuery(it, &info, nullptr, nullptr, 0, nullptr), DAL_OK);
    EXPECT_EQ(DALNextRow(it), DAL_OK);
    EXPECT_EQ(DALNextRow(it), DAL_NO_DATA);
    EXPECT_EQ(DALNextRow(it), DAL_NO_DATA) << "stays at the end";
    SQLLEN len = 0;
    char buf[8];
    EXPECT_EQ(DALGetData(it, 1, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
    EXPECT_EQ(len, SQL_NULL_DATA);
}

TEST_F(DalRouting, DdlRoutingRefusals) {
    EXPECT_EQ(DALCreateUser(it, "u", "p", nullptr), DAL_ERROR);
    EXPECT_NE(std::string(diag_message(dbc->diag, 1)).find("SQICreateUser not supported in SQI Driver"), std::string::npos);
    SetupErrorHeader(dbc->diag, 0);
    TableInfo info{};
    snprintf(info.link_name, sizeof info.link_name, "NOWHERE");
    EXPECT_EQ(DALDropTable(it, &info), DAL_ERROR);
    EXPECT_NE(std::string(diag_message(dbc->diag, 1)).find("Unable to match LINK specification"), std::string::npos);
    EXPECT_STREQ(diag_sqlstate(dbc->diag, 1), "IM001");
}

TEST_F(DalRouting, TransactionsReachEveryProviderOnce) {
    EXPECT_EQ(DALStartTransaction(dal), DAL_OK);
    EXPECT_EQ(DALStartTransaction(dal), DAL_OK);
    for (int i = 0; i < 3; i++) EXPECT_EQ(g_states[i].transactions, 1);
    EXPECT_EQ(DALEndTransaction(dal, SQL_COMMIT), DAL_OK);
    EXPECT_EQ(DALEndTransaction(dal, SQL_COMMIT), DAL_OK);
    for (int i = 0; i < 3; i++) EXPECT_EQ(g_states[i].transactions, 0);
}

// A provider column of 3,000 characters read in pieces, as providers return
// character data: each call continues where the last one stopped.
size_t g_long_offset = 0;
std::string g_long_text;
int long_get_data(void *, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    if (column == 9) {
        *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    const size_t room = static_cast<size_t>(capacity) - (c_type == SQL_C_CHAR ? 1 : 0);
    const size_t left = g_long_text.size() - g_long_offset;
    const size_t n = left < room ? left : room;
    std::memcpy(buffer, g_long_text.data() + g_long_offset, n);
    if (c_type == SQL_C_CHAR) static_cast<char *>(buffer)[n] = '\0';
    *length = static_cast<SQLLEN>(left);
    g_long_offset += n;
    return n < left ? DAL_INFO : DAL_OK;
}

TEST_F(DalRouting, LongColumnsAreSpooledWhole) {
    dal->providers[2]->slots.SQIGetData = long_get_data;
    TableInfo info{};
    info.provider_index = 2;
    ASSERT_EQ(DALStartQuery(it, &info, nullptr, nullptr, 0, nullptr), DAL_OK);
    ASSERT_EQ(DALNextRow(it), DAL_OK);
    LongBuffer *lb = allocate_long_buffer(dbc->pool, 0, SQL_LONGVARCHAR);
    for (int is_char : {1, 0}) {
        g_long_text.clear();
        for (int i = 0; i < 3000; i++) g_long_text.push_back(static_cast<char>('a' + i % 26));
        g_long_offset = 0;
        ASSERT_EQ(DALSpoolLongData(lb, it, 3, is_char), DAL_OK);
        EXPECT_EQ(std::string(long_buffer_data(lb), long_buffer_length(lb)), g_long_text) << is_char;
        EXPECT_EQ(lb->position, 0u) << "rewound for reading";
    }
    EXPECT_EQ(DALSpoolLongData(lb, it, 9, 1), DAL_NO_DATA);
    EXPECT_EQ(long_buffer_length(lb), 0u);
    LongBuffer *tiny = allocate_long_buffer(dbc->pool, 100, SQL_LONGVARCHAR);
    g_long_offset = 0;
    EXPECT_EQ(DALSpoolLongData(tiny, it, 3, 1), -1) << "the buffer's limit holds";
    EXPECT_STREQ(diag_sqlstate(dbc->diag, 1), "HY000");
}

TEST_F(DalRouting, ProvidersReadLongValuesInPiecesThroughTheCallback) {
    Value *v = new_value_of_type(dbc->pool, VT_LONG_CHAR);
    ASSERT_NE(v, nullptr);
    v->long_buffer = allocate_long_buffer(dbc->pool, 0, SQL_LONGVARCHAR);
    ASSERT_EQ(append_to_long_buffer(v->long_buffer, "0123456789", 10), 0);
    DalServiceRequest r{};
    r.value = v;
    ASSERT_EQ(DALServiceCallback(dal, DAL_SERVICE_LONG_LENGTH, &r), DAL_OK);
    EXPECT_EQ(r.length, 10);
    char piece[4];
    std::string got;
    int code;
    do {
        r.buffer = piece;
        r.capacity = sizeof piece;
        code = DALServiceCallback(dal, DAL_SERVICE_LONG_READ, &r);
        got.append(piece, static_cast<size_t>(r.length));
    } while (code == DAL_INFO);
    EXPECT_EQ(code, DAL_OK);
    EXPECT_EQ(got, "0123456789");
    ASSERT_EQ(DALServiceCallback(dal, DAL_SERVICE_LONG_REWIND, &r), DAL_OK);
    r.capacity = sizeof piece;
    EXPECT_EQ(DALServiceCallback(dal, DAL_SERVICE_LONG_READ, &r), DAL_INFO);
    EXPECT_EQ(std::string(piece, 4), "0123");
    r.handle = dbc;
    r.origin = "Corvane Paypal ODBC Driver";
    r.sqlstate = "HY000";
    r.message = "provider says no";
    ASSERT_EQ(DALServiceCallback(dal, DAL_SERVICE_POST_ERROR, &r), DAL_OK);
    EXPECT_STREQ(diag_message(dbc->diag, 1), "[Corvane][Corvane Paypal ODBC Driver]provider says no");
}

}  // namespace
