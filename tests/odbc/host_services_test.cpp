// The host services table: what the layers below the ODBC layer learn about
// a handle they hold as an opaque owner.
#include <gtest/gtest.h>

#include "dal/dal.h"
#include "odbc/handle_ops.h"
#include "odbc_fixture.h"
#include "support/connstr.h"
#include "support/host_services.h"

namespace {

using HostServicesTest = ConnectedFixture;

TEST_F(HostServicesTest, EveryHandleKindAnswersWithItsOwnRecords) {
    const HostServices *host = odbc_host_services();
    ASSERT_NE(host, nullptr);
    SQLHDESC desc = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
    ENV *e = static_cast<ENV *>(env);
    DESC *d = static_cast<DESC *>(desc);
    const struct {
        void *handle;
        ErrorHeader *diag;
        CvPool *pool;
    } cases[] = {
        {e, e->diag, e->pool},
        {conn(), conn()->diag, conn()->pool},
        {st(), st()->diag, st()->pool},
        {d, d->diag, d->pool},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(host->diagnostics(c.handle), c.diag);
        EXPECT_EQ(host->pool(c.handle), c.pool);
        EXPECT_EQ(host->odbc_version(c.handle), 3);
    }
    // Not a handle: nothing to post on, no pool, the default version.
    uint32_t not_a_handle = 12345;
    EXPECT_EQ(host->diagnostics(&not_a_handle), nullptr);
    EXPECT_EQ(host->pool(nullptr), nullptr);
    EXPECT_EQ(host->odbc_version(nullptr), 3);
    EXPECT_EQ(host->connection_text(nullptr, "UID"), nullptr);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_SUCCESS);
}

TEST_F(HostServicesTest, VersionAndConnectionTextsComeFromTheHandlesParents) {
    const HostServices *host = odbc_host_services();
    static_cast<ENV *>(env)->odbc_version = 2;
    EXPECT_EQ(host->odbc_version(st()), 2);
    EXPECT_EQ(host->connection_text(st(), "UID"), nullptr) << "no connection string yet";
    ConnAttrList *list = init_con_str(conn()->pool);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(parse_connection_string(list, "UID=alice;PWD={a;b}", -3), 0);
    conn()->conn_attrs = list;
    EXPECT_STREQ(host->connection_text(st(), "uid"), "alice");
    EXPECT_STREQ(host->connection_text(conn(), "PWD"), "a;b");
    EXPECT_EQ(host->connection_text(st(), "DSN"), nullptr);
    // The DAL's credentials service reads the same texts through the table.
    DalServiceRequest r{};
    r.handle = st();
    ASSERT_EQ(DALServiceCallback(conn()->dal, DAL_SERVICE_CREDENTIALS, &r), DAL_OK);
    EXPECT_STREQ(r.user, "alice");
    EXPECT_STREQ(r.password, "a;b");
    conn()->conn_attrs = nullptr;
    free_con_str(list);
    static_cast<ENV *>(env)->odbc_version = 3;
}

}  // namespace
