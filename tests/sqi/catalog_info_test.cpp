// Name lookups of the PayPal provider: SQIGetTableInfo, SQIGetColumnInfo
// and SQIGetPKInfo.
#include <gtest/gtest.h>

#include <vector>

#include "support/list.h"
#include "support/pool.h"
#include "tests/sqi/catalog_test_env.h"

namespace {

TEST(CatalogInfoTest, TableInfoFindsAnySpellingAndCountsKeys) {
    CatalogEnv e;
    struct {
        const char *name;
        int columns, keys;
    } cases[] = {{"orderdetails", 9, 1},
                 {"INVOICEITEMS", 81, 3},
                 {"WebhooksEvents", 6, 0},
                 {"InvoicePrimaryRecipients", 92, 0},
                 {"PlansBillingCycles", 30, 2}};
    for (const auto &c : cases) {
        TableInfo info{};
        ASSERT_EQ(
            SQIGetTableInfo(nullptr, &e.env, dal_text("X"), dal_text("Y"), dal_text(c.name), &info),
            DAL_OK);
        EXPECT_STREQ(info.catalog, "PAYPAL");
        EXPECT_STREQ(info.schema, "DBO");
        EXPECT_EQ(info.column_count, c.columns) << c.name;
        EXPECT_EQ(info.key_count, c.keys) << c.name;
    }
    TableInfo info{};
    EXPECT_EQ(SQIGetTableInfo(nullptr, &e.env, {}, {}, dal_text("OrderDetails"), &info), DAL_OK);
    EXPECT_STREQ(info.table, "OrderDetails");
    EXPECT_EQ(SQIGetTableInfo(nullptr, &e.env, {}, {}, dal_text("NoSuchTable"), &info),
              DAL_NOT_MINE);
    EXPECT_EQ(SQIGetTableInfo(nullptr, &e.env, {}, {}, {nullptr, SQL_NTS}, &info), DAL_NOT_MINE);
}

TEST(CatalogInfoTest, ColumnInfoRefusesAWrongCount) {
    CatalogEnv e;
    std::vector<ColumnInfo> cols(20);
    EXPECT_EQ(SQIGetColumnInfo(nullptr, &e.env, {}, {}, dal_text("Balances"), 10, cols.data()),
              DAL_ERROR);
    ASSERT_EQ(posted_errors().size(), 1u);
    EXPECT_EQ(posted_errors()[0].message, "dci_size != tptr -> coumn_count");
    EXPECT_EQ(posted_errors()[0].native, 2793);
    EXPECT_EQ(SQIGetColumnInfo(nullptr, &e.env, {}, {}, dal_text("Nope"), 10, cols.data()),
              DAL_NOT_MINE);
}

const ColumnInfo &column(const std::vector<ColumnInfo> &cols, const char *name) {
    for (const ColumnInfo &c : cols)
        if (std::string(c.column) == name) return c;
    static ColumnInfo none{};
    ADD_FAILURE() << "no column " << name;
    return none;
}

TEST(CatalogInfoTest, ColumnInfoDescribesEachType) {
    for (int version : {2, 3}) {
        CatalogEnv e;
        e.env.odbc_version = version;
        const PaypalTable *t = paypal_find_table("Balances");
        std::vector<ColumnInfo> cols(t->column_count);
        ASSERT_EQ(SQIGetColumnInfo(nullptr, &e.env, {}, {}, dal_text("Balances"), t->column_count,
                                   cols.data()),
                  DAL_OK);
        const ColumnInfo &key = column(cols, "Currency");
        EXPECT_EQ(key.data_type, 12);
        EXPECT_EQ(key.display_size, 3);
        EXPECT_EQ(key.octet_length, 3);
        EXPECT_EQ(key.nullable, 0);
        EXPECT_STREQ(key.type_name, "NVARCHAR");
        EXPECT_STREQ(key.local_type_name, "string");
        EXPECT_STREQ(key.create_params, "length");
        EXPECT_STREQ(key.literal_prefix, "'");
        EXPECT_EQ(key.ordinal, 1);
        const ColumnInfo &ts = column(cols, "AsOfTime");
        EXPECT_EQ(ts.data_type, version == 3 ? 93 : 11);
        EXPECT_EQ(ts.verbose_type, 93);
        EXPECT_EQ(ts.datetime_subcode, 3);
        EXPECT_EQ(ts.display_size, 24);
        EXPECT_EQ(ts.octet_length, 16);
        EXPECT_EQ(ts.scale, 2);
        EXPECT_EQ(ts.interval_fields[0], 2);
        EXPECT_STREQ(ts.literal_prefix, "{ts '");
        EXPECT_STREQ(ts.local_type_name, "datetime");
        const ColumnInfo &num = column(cols, "TotalBalanceValue");
        EXPECT_EQ(num.data_type, 2);
        EXPECT_EQ(num.digits, 6);
        EXPECT_EQ(num.scale, 6);
        EXPECT_EQ(num.precision, 19);
        EXPECT_EQ(num.radix, 10);
        EXPECT_EQ(num.display_size, 21);
        EXPECT_STREQ(num.create_params, "precision,scale");
        EXPECT_EQ(num.nullable, 1);
        const ColumnInfo &flag = column(cols, "Primary");
        EXPECT_EQ(flag.data_type, -6);
        EXPECT_EQ(flag.display_size, 3);
        EXPECT_STREQ(flag.local_type_name, "boolean");
    }
    CatalogEnv e;
    const PaypalTable *t = paypal_find_table("Invoices");
    std::vector<ColumnInfo> cols(t->column_count);
    ASSERT_EQ(SQIGetColumnInfo(nullptr, &e.env, {}, {}, dal_text("invoices"), t->column_count,
                               cols.data()),
              DAL_OK);
    const ColumnInfo &note = column(cols, "DetailNote");
    EXPECT_EQ(note.data_type, -1);
    EXPECT_EQ(note.searchable, 1);
    EXPECT_EQ(note.updatable, 1);
    EXPECT_EQ(note.display_size, 2147483647);
    EXPECT_STREQ(column(cols, "InvoicerPhones").local_type_name, "array");
    EXPECT_EQ(column(cols, "RefundsTransactions").ordinal, 67);
    EXPECT_EQ(column(cols, "Id").searchable, 3);
    EXPECT_EQ(column(cols, "Id").updatable, 2);
}

TEST(CatalogInfoTest, EveryTableDescribesEveryColumn) {
    CatalogEnv e;
    for (int i = 0; i < kPaypalTableCount; i++) {
        const PaypalTable &t = kPaypalTables[i];
        std::vector<ColumnInfo> cols(t.column_count);
        EXPECT_EQ(SQIGetColumnInfo(nullptr, &e.env, {}, {}, dal_text(t.name), t.column_count,
                                   cols.data()),
                  DAL_OK)
            << t.name;
        EXPECT_STREQ(cols.back().column, t.columns[t.column_count - 1].name);
    }
    EXPECT_TRUE(posted_errors().empty());
}

// The caller's key list: `n` entries, of which the provider fills the first.
struct KeyList {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    List *list = nullptr;
    std::vector<KeyColumnEntry> entries;
    explicit KeyList(int n) : entries(n) {
        for (auto &k : entries) list = ListAppend(list, &k, pool);
    }
    ~KeyList() { cv_mem_release_handle(pool); }
};

TEST(CatalogInfoTest, PrimaryKeyInfoFillsTheCallersEntries) {
    CatalogEnv e;
    KeyList keys(3);
    ASSERT_EQ(SQIGetPKInfo(nullptr, &e.env, {}, {}, dal_text("InvoiceItems"), 3, keys.list),
              DAL_OK);
    EXPECT_STREQ(keys.entries[0].name, "Id");
    EXPECT_EQ(keys.entries[0].ordinal, 1);
    EXPECT_STREQ(keys.entries[1].name, "ItemId");
    EXPECT_EQ(keys.entries[1].ordinal, 67);
    EXPECT_STREQ(keys.entries[2].name, "ItemUnitOfMeasure");
    EXPECT_EQ(keys.entries[2].ordinal, 81);

    // A shorter list gets only its entries; nothing beyond them is written.
    KeyList one(1);
    ASSERT_EQ(SQIGetPKInfo(nullptr, &e.env, {}, {}, dal_text("InvoiceItems"), 1, one.list), DAL_OK);
    EXPECT_STREQ(one.entries[0].name, "Id");

    // No key (first column without the key bit) or an unknown table: an empty answer.
    KeyList none(2);
    EXPECT_EQ(SQIGetPKInfo(nullptr, &e.env, {}, {}, dal_text("WebhooksEvents"), 2, none.list),
              DAL_OK);
    EXPECT_STREQ(none.entries[0].name, "");
    EXPECT_EQ(SQIGetPKInfo(nullptr, &e.env, {}, {}, dal_text("Unknown"), 2, none.list), DAL_OK);
    EXPECT_STREQ(none.entries[0].name, "");
}

// The answers the optimiser and the executor read before a scan, each in the
// member of its kind; a code the provider does not answer leaves the record.
TEST(SqiGetInfo, AnswersEachCodeInItsMember) {
    constexpr int32_t kUntouched = -7;
    const struct {
        SqiInfoCode code;
        int32_t integer;
        double number;
    } cases[] = {
        {SQI_INFO_RESTRICTIONS, kRestrictionPassIsNull, -1.0},
        {SQI_INFO_OPTIMISER_2, kUntouched, 1.0},
        {SQI_INFO_EXACT_NUMERICS, 0, -1.0},
        {SQI_INFO_LAZY_READS, 1, -1.0},
        {SQI_INFO_OPTIMISER_5, 1, -1.0},
        {SQI_INFO_OPTIMISER_6, kUntouched, -1.0},
        {SQI_INFO_OPTIMISER_7, 0, -1.0},
    };
    for (const auto &c : cases) {
        SqiInfo out{kUntouched, -1.0, nullptr};
        EXPECT_EQ(SQIGetInfo(nullptr, c.code, &out), DAL_OK) << c.code;
        EXPECT_EQ(out.integer, c.integer) << c.code;
        EXPECT_EQ(out.number, c.number) << c.code;
    }
    EXPECT_EQ(SQIGetInfo(nullptr, SQI_INFO_RESTRICTIONS, nullptr), DAL_OK);
}

// The key column a scan cannot do without: the child and detail tables read
// by their parent's id; lists (the key optional or absent) need none.
TEST(SqiGetInfo, RequiredKeyNamesThePathKeyColumn) {
    const struct {
        const char *table;
        const char *column;  // null: none required
    } cases[] = {
        {"InvoiceItems", "Id"}, {"InvoiceDetailAttachments", "Id"}, {"Subscriptions", "Id"},
        {"DisputeDetails", "DisputeId"}, {"Invoices", nullptr}, {"Plans", nullptr}, {"Unknown", nullptr},
    };
    for (const auto &c : cases) {
        SqiInfo out{-7, 0, c.table};
        EXPECT_EQ(SQIGetInfo(nullptr, SQI_INFO_REQUIRED_KEY, &out), DAL_OK) << c.table;
        const PaypalTable *t = paypal_find_table(c.table);
        if (!c.column) {
            EXPECT_EQ(out.integer, 0) << c.table;
            continue;
        }
        ASSERT_TRUE(t && out.integer > 0 && out.integer <= t->column_count) << c.table;
        EXPECT_STREQ(t->columns[out.integer - 1].name, c.column) << c.table;
    }
}

}  // namespace
