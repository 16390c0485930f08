// The statement state machine against the refusal table in
// data/stmt_refusals.txt, every function id in every state with every
// condition that can change the answer; and the moves made with outcomes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "odbc/odbc_api.h"
#include "odbc/state.h"

namespace {

struct Probe {
    int state, prepared, count, arg;
};

// Evaluates one cell of the data file for a probe.
std::string expected(const std::string &cell, const Probe &p) {
    size_t q = cell.find('?');
    if (q == std::string::npos) return cell == "poll" ? "ok" : cell;
    std::string cond = cell.substr(0, q);
    size_t colon = cell.find(':', q);
    std::string yes = cell.substr(q + 1, colon - q - 1), no = cell.substr(colon + 1);
    bool c = false;
    if (cond == "count0") c = p.count == 0;
    else if (cond == "count<2") c = p.count < 2;
    else if (cond == "prepared") c = p.prepared != 0;
    else if (cond == "field1001") c = p.arg == 1001;
    else if (cond == "ird") c = p.arg == 1;
    else if (cond == "rownumber") c = p.arg == 14;
    else if (cond == "cursorattr") c = p.arg == 6 || p.arg == 7 || p.arg == 10 || p.arg == 12 || p.arg == -1 || p.arg == -2;
    else if (cond == "S8") c = p.state == 8;
    else if (cond == "S9") c = p.state == 9;
    else ADD_FAILURE() << "unknown condition " << cond;
    return c ? yes : no;
}

struct StateTable : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT h = nullptr;
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    }
    void TearDown() override {
        static_cast<STMT *>(h)->state = S1;
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    STMT *stmt() { return static_cast<STMT *>(h); }
    // Runs the check and names its outcome ("ok" or the SQLSTATE posted).
    std::string check(int id, const Probe &p) {
        STMT *s = stmt();
        SetupErrorHeader(s->diag, 0);
        s->state = p.state;
        s->prepared = p.prepared;
        s->result_sets_left = p.count;
        int r = stmt_transition(0, s, id, {p.arg});
        std::string got = r == 0 ? "ok" : (diag_sqlstate(s->diag, 1) ? diag_sqlstate(s->diag, 1) : "?");
        EXPECT_EQ(s->state, p.state) << "check mode changed the state";
        if (r != 0) {
            EXPECT_EQ(diag_count(s->diag), 1);
        }
        return got;
    }
};

TEST_F(StateTable, EveryRefusalOfTheTable) {
    std::ifstream in(CV_STATE_TABLE);
    ASSERT_TRUE(in) << CV_STATE_TABLE;
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        std::string ids;
        ls >> ids;
        std::vector<std::string> cells(9);
        for (auto &c : cells) ls >> c;
        ASSERT_FALSE(cells[8].empty()) << line;
        std::vector<int> args = {0};
        std::istringstream is(ids);
        for (std::string id; std::getline(is, id, ',');) {
            int fid = std::stoi(id);
            if (fid == 6) args = {1001, 2};
            else if (fid == 1008 || fid == 1009) args = {0, 1};
            else if (fid == 1014) args = {14, 5};
            else if (fid == 1020) args = {6, 7, 10, 12, -1, -2, 0, 4};
            for (int state = 1; state <= 12; state++) {
                const std::string &cell = cells[state <= 7 ? state - 1 : state <= 10 ? 7 : 8];
                for (int prepared : {0, 1})
                    for (int count : {0, 1, 2})
                        for (int arg : args) {
                            Probe p{state, prepared, count, arg};
                            EXPECT_EQ(check(fid, p), expected(cell, p))
                                << "function " << fid << " in S" << state << " prepared=" << prepared
                                << " count=" << count << " arg=" << arg;
                            checked++;
                        }
            }
        }
    }
    EXPECT_GT(checked, 2000);
}

TEST_F(StateTable, MovesMadeWithTheOutcome) {
    STMT *s = stmt();
    struct Move {
        int from, prepared, count, id;
        StmtArgs args;
        int to;
        const char *what;
    } moves[] = {
        {S1, 0, 1, SQL_API_SQLPREPARE, {1}, S3, "prepare a query"},
        {S3, 1, 0, SQL_API_SQLPREPARE, {1}, S2, "prepare an insert after a query"},
        {S3, 1, 0, SQL_API_SQLPREPARE, {0}, S1, "failed prepare"},
        {S2, 1, 1, SQL_API_SQLEXECUTE, {1, 0, 0}, S5, "execute a query"},
        {S2, 1, 0, SQL_API_SQLEXECUTE, {0, 0, 1}, S2, "execute that failed outright"},
        {S2, 1, 0, SQL_API_SQLEXECUTE, {0, 0, 0}, S4, "execute returning no data"},
        {S2, 1, 0, SQL_API_SQLEXECUTE, {1, 1, 0}, S8, "execute needing data"},
        {S4, 0, 1, SQL_API_SQLEXECDIRECT, {0, 0}, S4, "failed direct execution keeps pending results"},
        {S3, 1, 0, SQL_API_SQLEXECDIRECT, {0, 0}, S1, "failed direct execution"},
        {S5, 0, 1, SQL_API_SQLFETCH, {}, S6, "fetch"},
        {S5, 0, 1, SQL_API_SQLEXTENDEDFETCH, {}, S7, "extended fetch"},
        {S6, 1, 1, SQL_API_SQLFREESTMT, {SQL_CLOSE}, S3, "close a prepared cursor"},
        {S6, 0, 1, SQL_API_SQLFREESTMT, {SQL_UNBIND}, S6, "unbind keeps the cursor"},
        {S4, 1, 0, SQL_API_SQLCLOSECURSOR, {}, S4, "close cursor in S4 moves nothing"},
        {S7, 0, 1, SQL_API_SQLCLOSECURSOR, {}, S1, "close cursor"},
        {S1, 0, 1, SQL_API_SQLTABLES, {1}, S5, "catalog function"},
        {S3, 1, 1, SQL_API_SQLCOLUMNS, {0}, S1, "failed catalog function"},
        {S8, 0, 0, SQL_API_SQLPARAMDATA, {1, 1}, S9, "first parameter needs data"},
        {S9, 0, 0, SQL_API_SQLPUTDATA, {1}, S10, "data put"},
        {S6, 0, 1, SQL_API_SQLMORERESULTS, {1, 0, 1, 0}, S5, "next result set"},
        {S5, 1, 1, SQL_API_SQLMORERESULTS, {1, 1, 0, 1}, S2, "no more results"},
        {S11, 0, 0, SQL_API_SQLCANCEL, {}, S12, "cancel while running"},
    };
    for (const Move &m : moves) {
        s->state = m.from;
        s->prepared = m.prepared;
        s->result_sets_left = m.count;
        s->need_data_function = 0;
        EXPECT_EQ(stmt_transition(1, s, m.id, m.args), 0) << m.what;
        EXPECT_EQ(s->state, m.to) << m.what;
    }
    // A need-data sequence started by SQLExecute and completed by SQLParamData.
    s->state = S2;
    s->prepared = 1;
    s->result_sets_left = 0;
    EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLEXECUTE, {1, 1, 0}), 0);
    EXPECT_EQ(s->state, S8);
    EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLPARAMDATA, {1, 1}), 0);
    EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLPUTDATA, {1}), 0);
    EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLPARAMDATA, {1, 0}), 0);
    EXPECT_EQ(s->state, S4);
    // SQLSetPos and SQLBulkOperations waiting for bound columns' data
    // return to the cursor state they started from.
    for (int id : {SQL_API_SQLSETPOS, SQL_API_SQLBULKOPERATIONS}) {
        s->state = id == SQL_API_SQLSETPOS ? S7 : S5;
        EXPECT_EQ(stmt_transition(1, s, id, {1, 0}), 0);
        EXPECT_EQ(s->state, id == SQL_API_SQLSETPOS ? S7 : S5) << id << " without data at execution";
        EXPECT_EQ(stmt_transition(1, s, id, {1, 1}), 0);
        EXPECT_EQ(s->state, S8) << id;
        EXPECT_EQ(s->need_data_function, id);
        EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLPARAMDATA, {1, 1}), 0);
        EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLPUTDATA, {1}), 0);
        EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLPARAMDATA, {1, 0}), 0);
        EXPECT_EQ(s->state, id == SQL_API_SQLSETPOS ? S7 : S5) << id;
    }
    // Cancelling a need-data sequence returns to where it came from.
    s->state = S3;
    s->result_sets_left = 1;
    EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLEXECUTE, {1, 1, 0}), 0);
    EXPECT_EQ(stmt_transition(1, s, SQL_API_SQLCANCEL), 0);
    EXPECT_EQ(s->state, S3);
}

TEST_F(StateTable, StatementCountsFollowAllocationAndFreeing) {
    DBC *d = static_cast<DBC *>(dbc);
    EXPECT_EQ(d->statements, 1);
    d->state = CONN_CONNECTED;  // as if connected
    SQLHSTMT more[3];
    for (auto &m : more) ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m), SQL_SUCCESS);
    EXPECT_EQ(d->statements, 4);
    EXPECT_EQ(d->state, CONN_WITH_STATEMENTS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_ERROR);  // still connected
    EXPECT_STREQ(diag_sqlstate(d->diag, 1), "HY010");
    // A statement abandoned in a need-data state is freed and still counted out.
    static_cast<STMT *>(more[0])->state = S9;
    for (auto &m : more) EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, m), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    h = nullptr;
    EXPECT_EQ(d->statements, 0);
    EXPECT_EQ(d->state, CONN_CONNECTED);
    d->state = CONN_DISCONNECTED;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
}

TEST_F(StateTable, ConnectionRefusals) {
    DBC *d = static_cast<DBC *>(dbc);
    struct Case {
        int state, id, arg;
        const char *expect;
    } cases[] = {
        {CONN_ALLOCATED, SQL_API_SQLDISCONNECT, 0, "08003"},
        {CONN_IN_TRANSACTION, SQL_API_SQLDISCONNECT, 0, "25000"},
        {CONN_CONNECTED, SQL_API_SQLDRIVERCONNECT, 0, "08002"},
        {CONN_DISCONNECTED, SQL_API_SQLDRIVERCONNECT, 0, nullptr},
        {CONN_ALLOCATED, SQL_API_SQLGETFUNCTIONS, 0, "HY010"},
        {CONN_ALLOCATED, SQL_API_SQLGETINFO, SQL_DRIVER_ODBC_VER, nullptr},
        {CONN_ALLOCATED, SQL_API_SQLGETINFO, SQL_DBMS_NAME, "08003"},
        {CONN_BROWSING, SQL_API_SQLGETINFO, SQL_ODBC_VER, "08003"},
        {CONN_WITH_STATEMENTS, SQL_API_SQLBROWSECONNECT, 1, "08002"},
        {CONN_BROWSING, SQL_API_SQLNATIVESQL, 0, "08003"},
        {CONN_ALLOCATED, SQL_API_SQLENDTRAN, 0, "08003"},
        {CONN_ALLOCATED, SQL_API_SQLGETCONNECTATTR, SQL_ATTR_AUTOCOMMIT, nullptr},
        {CONN_ALLOCATED, SQL_API_SQLGETCONNECTATTR, SQL_ATTR_CURRENT_CATALOG, "08003"},
        {CONN_BROWSING, SQL_API_SQLGETCONNECTATTR, SQL_ATTR_AUTOCOMMIT, "HY010"},
        {CONN_ALLOCATED, SQL_API_SQLSETCONNECTATTR, SQL_ATTR_TRANSLATE_LIB, "08003"},
        {CONN_CONNECTED, SQL_API_SQLSETCONNECTATTR, SQL_ATTR_ODBC_CURSORS, "08002"},
        {CONN_WITH_STATEMENTS, SQL_API_SQLSETCONNECTATTR, SQL_ATTR_PACKET_SIZE, "HY011"},
        {CONN_IN_TRANSACTION, SQL_API_SQLSETCONNECTATTR, SQL_ATTR_TXN_ISOLATION, "HY011"},
        {CONN_IN_TRANSACTION, SQL_API_SQLSETCONNECTATTR, SQL_ATTR_AUTOCOMMIT, nullptr},
    };
    for (const Case &c : cases) {
        SetupErrorHeader(d->diag, 0);
        d->state = c.state;
        int r = conn_transition(0, d, c.id, c.arg);
        const char *got = r == 0 ? nullptr : diag_sqlstate(d->diag, 1);
        EXPECT_STREQ(got, c.expect) << "function " << c.id << " in state " << c.state;
    }
    // Browsing: more input keeps browsing, failure returns to allocated.
    d->state = CONN_ALLOCATED;
    EXPECT_EQ(conn_transition(1, d, SQL_API_SQLBROWSECONNECT, 1), 0);
    EXPECT_EQ(d->state, CONN_BROWSING);
    EXPECT_EQ(conn_transition(1, d, SQL_API_SQLBROWSECONNECT, -1), 0);
    EXPECT_EQ(d->state, CONN_ALLOCATED);
    EXPECT_EQ(conn_transition(1, d, SQL_API_SQLBROWSECONNECT, -1), 0);
    EXPECT_EQ(d->state, CONN_ALLOCATED) << "a failed first round never connects";
    d->state = CONN_ALLOCATED;
}

TEST_F(StateTable, ImplicitDescriptorsCannotBeFreed) {
    DESC *ard = stmt()->implicit_ard;
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_ERROR);
    EXPECT_STREQ(diag_sqlstate(ard->diag, 1), "HY017");
    EXPECT_EQ(ard->tag, TAG_DESC);
    // An application descriptor in use as ARD: freeing it restores the implicit one.
    SQLHDESC app;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &app), SQL_SUCCESS);
    stmt()->ard = static_cast<DESC *>(app);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, app), SQL_SUCCESS);
    EXPECT_EQ(stmt()->ard, ard);
}

}  // namespace
