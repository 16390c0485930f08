// Handle allocation, freeing and environment attributes through the
// driver's exports.
#include <gtest/gtest.h>

#include "driver_loader.h"

namespace {

Driver &D() { return Driver::get(); }

SQLHENV env3() {
    SQLHENV env = nullptr;
    EXPECT_EQ(D().AllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_SUCCESS);
    return env;
}

TEST(HandlesApiTest, Odbc3AndOdbc2FormsAllocateAndFreeAFullTree) {
    SQLHENV env = env3();
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLHDESC desc;
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);

    SQLHENV env2;
    ASSERT_EQ(D().AllocEnv(&env2), SQL_SUCCESS);
    SQLINTEGER version = 0;
    EXPECT_EQ(D().GetEnvAttr(env2, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(version, 2);
    ASSERT_EQ(D().AllocConnect(env2, &dbc), SQL_SUCCESS);
    ASSERT_EQ(D().AllocStmt(dbc, &stmt), SQL_SUCCESS);
    EXPECT_EQ(D().FreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    EXPECT_EQ(D().FreeConnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(D().FreeEnv(env2), SQL_SUCCESS);

    ASSERT_EQ(D().AllocHandleStd(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    EXPECT_EQ(D().GetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(version, 3);
    EXPECT_EQ(D().FreeEnv(env), SQL_SUCCESS);
}

TEST(HandlesApiTest, ManyCyclesAndTwoEnvironmentsAtOnce) {
    // Run under LeakSanitizer in the sanitizer build: any handle memory left
    // behind by a cycle is reported at exit.
    for (int i = 0; i < 1000; i++) {
        SQLHENV a = env3(), b = env3();
        SQLHDBC ca, cb;
        SQLHSTMT s1, s2;
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, a, &ca), SQL_SUCCESS);
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, b, &cb), SQL_SUCCESS);
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_STMT, ca, &s1), SQL_SUCCESS);
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_STMT, ca, &s2), SQL_SUCCESS);
        ASSERT_EQ(D().FreeHandle(SQL_HANDLE_STMT, s1), SQL_SUCCESS);
        // s2 is freed with its connection.
        ASSERT_EQ(D().FreeHandle(SQL_HANDLE_DBC, ca), SQL_SUCCESS);
        ASSERT_EQ(D().FreeHandle(SQL_HANDLE_ENV, a), SQL_SUCCESS);
        ASSERT_EQ(D().FreeHandle(SQL_HANDLE_DBC, cb), SQL_SUCCESS);
        ASSERT_EQ(D().FreeHandle(SQL_HANDLE_ENV, b), SQL_SUCCESS);
    }
}

TEST(HandlesApiTest, NullAndMistaggedHandlesAnswerInvalidHandleAndPostNothing) {
    SQLHENV env = env3();
    SQLHDBC dbc;
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    // Leave a record on each so that "nothing posted" also means "not emptied".
    EXPECT_EQ(D().GetEnvAttr(env, 12345, nullptr, 0, nullptr), SQL_ERROR);
    SQLHSTMT out = nullptr;
    struct Call {
        const char *what;
        SQLRETURN rc;
    } calls[] = {
        {"dbc on null", D().AllocHandle(SQL_HANDLE_DBC, nullptr, &out)},
        {"stmt on env", D().AllocHandle(SQL_HANDLE_STMT, env, &out)},
        {"desc on env", D().AllocHandle(SQL_HANDLE_DESC, env, &out)},
        {"dbc on dbc", D().AllocHandle(SQL_HANDLE_DBC, dbc, &out)},
        {"free dbc as env", D().FreeHandle(SQL_HANDLE_ENV, dbc)},
        {"free env as stmt", D().FreeHandle(SQL_HANDLE_STMT, env)},
        {"free null", D().FreeHandle(SQL_HANDLE_DBC, nullptr)},
        {"freestmt env", D().FreeStmt(env, SQL_CLOSE)},
        {"diagrec env as dbc", D().GetDiagRec(SQL_HANDLE_DBC, env, 1, nullptr, nullptr, nullptr, 0, nullptr)},
        {"getenvattr dbc", D().GetEnvAttr(dbc, SQL_ATTR_ODBC_VERSION, nullptr, 0, nullptr)},
        {"setenvattr null", D().SetEnvAttr(nullptr, SQL_ATTR_ODBC_VERSION, nullptr, 0)},
        {"sqlerror dbc as stmt", D().Error(nullptr, nullptr, dbc, nullptr, nullptr, nullptr, 0, nullptr)},
    };
    for (const Call &c : calls) EXPECT_EQ(c.rc, SQL_INVALID_HANDLE) << c.what;
    EXPECT_EQ(diag_count_of(SQL_HANDLE_ENV, env), 1);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY024");
    EXPECT_EQ(D().AllocHandle(99, env, &out), SQL_ERROR);
    EXPECT_EQ(D().GetDiagRec(99, env, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(D().Error(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

TEST(HandlesApiTest, EnvironmentRefusalsAndAttributes) {
    SQLHENV env;
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    SQLHDBC dbc = reinterpret_cast<SQLHDBC>(0x1);
    // No ODBC version yet: connections and attribute reads are out of order.
    EXPECT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_ERROR);
    EXPECT_EQ(dbc, nullptr);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY010");
    SQLINTEGER v = 0;
    EXPECT_EQ(D().GetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, nullptr), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY009");

    // ODBC 3.8 applications are served as ODBC 3; unknown versions refused.
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3_80), 0), SQL_SUCCESS);
    EXPECT_EQ(D().GetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(7), 0), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY024");
    EXPECT_EQ(D().GetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, SQL_TRUE);
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, reinterpret_cast<SQLPOINTER>(SQL_FALSE), 0), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HYC00");
    char origin[16];
    EXPECT_EQ(D().GetDiagField(SQL_HANDLE_ENV, env, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(origin, "ODBC 3.0");
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(D().GetEnvAttr(env, 4242, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY024");

    // With a connection: attributes cannot change and the environment
    // cannot be freed (it stays usable).
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY011");
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_ENV, env), "HY010");
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(D().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

TEST(HandlesApiTest, FreeStmtOptions) {
    SQLHENV env = env3();
    SQLHDBC dbc;
    SQLHSTMT stmt;
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    for (SQLUSMALLINT opt : {SQL_CLOSE, SQL_UNBIND, SQL_RESET_PARAMS})
        EXPECT_EQ(D().FreeStmt(stmt, opt), SQL_SUCCESS) << opt;
    EXPECT_EQ(D().FreeStmt(stmt, 77), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_STMT, stmt), "HY092");
    EXPECT_EQ(D().AllocHandle(SQL_HANDLE_STMT, dbc, nullptr), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "HY009");
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(D().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

}  // namespace
