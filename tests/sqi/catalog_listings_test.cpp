// Catalogue listings of the PayPal provider: the rows SQITables, SQIColumns,
// SQIPrimaryKeys, SQISpecialColumns and SQIStatistics produce, read through
// catalog_next_row and catalog_get_data.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/sqi/catalog_test_env.h"

namespace {

constexpr const char *kNull = "<null>";

// Column `n` of the current row as text ("<null>" for NULL).
std::string cell(PaypalIterator *it, int n) {
    char buf[512];
    SQLLEN len = 0;
    EXPECT_EQ(catalog_get_data(it, n, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
    return len == SQL_NULL_DATA ? kNull : std::string(buf, static_cast<size_t>(len));
}

int32_t number(PaypalIterator *it, int n) {
    int32_t v = -12345;
    SQLLEN len = 0;
    EXPECT_EQ(catalog_get_data(it, n, SQL_C_LONG, &v, sizeof v, &len), DAL_OK);
    EXPECT_EQ(len, 4);
    return v;
}

// Every row's column `n`.
std::vector<std::string> column_of_rows(PaypalIterator *it, int n) {
    std::vector<std::string> out;
    while (catalog_next_row(it) == DAL_OK) out.push_back(cell(it, n));
    return out;
}

DalText arg(const char *t) {
    return t ? dal_text(t) : DalText{nullptr, SQL_NTS};
}

TEST(CatalogListingsTest, TablePatterns) {
    struct {
        const char *pattern;
        size_t rows;
        const char *first;
    } cases[] = {
        {nullptr, kPaypalTableCount, "AuthorizationDetails"},
        {"%", kPaypalTableCount, "AuthorizationDetails"},
        {"Plans", 1, "Plans"},
        {"plans", 0, nullptr},  // names compare as the catalogue spells them
        {"Plans%", 3, "Plans"},
        {"Invoice%", 8, "Invoices"},
        {"%Details", 6, "AuthorizationDetails"},
        {"%Transactions", 6, "SubscriptionTransactions"},
        {"_lans", 1, "Plans"},
        {"PlansBillingCycle_", 1, "PlansBillingCycles"},
        {"Order\\Items", 1, "OrderItems"},  // a backslash makes the next character literal
        {"Plans\\%", 0, nullptr},
        {"%q%", 0, nullptr},
        {"%yment%", 3, "Payments"},
        {"", 0, nullptr},
    };
    for (const auto &c : cases) {
        CatalogEnv e;
        ASSERT_EQ(SQITables(&e.it, {}, {}, arg(c.pattern), {}), DAL_OK);
        auto names = column_of_rows(&e.it, 3);
        EXPECT_EQ(names.size(), c.rows) << (c.pattern ? c.pattern : "<absent>");
        if (c.first && !names.empty()) {
            EXPECT_EQ(names[0], c.first);
        }
    }
}

TEST(CatalogListingsTest, TableRowsAndTypeLists) {
    CatalogEnv e;
    ASSERT_EQ(SQITables(&e.it, {}, {}, dal_text("Balances"), {}), DAL_OK);
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    EXPECT_EQ(cell(&e.it, 1), "PAYPAL");
    EXPECT_EQ(cell(&e.it, 2), "DBO");
    EXPECT_EQ(cell(&e.it, 3), "Balances");
    EXPECT_EQ(cell(&e.it, 4), "TABLE");
    EXPECT_EQ(cell(&e.it, 5), kNull);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);

    struct {
        const char *types;
        size_t rows;
    } cases[] = {{"'TABLE'", kPaypalTableCount},
                 {"view,table", kPaypalTableCount},
                 {"VIEW", 0},
                 {"VIEW, TABLE", kPaypalTableCount},
                 {"\"TABLES\"", kPaypalTableCount},
                 {"SYSTEM TABLES", kPaypalTableCount},
                 {"'SYSTEM TABLES'", kPaypalTableCount},
                 {"SYSTEM TABLE", 0},
                 {"", 0},
                 {"'TABLE", 0}};
    for (const auto &c : cases) {
        CatalogEnv t;
        ASSERT_EQ(SQITables(&t.it, {}, {}, {}, dal_text(c.types)), DAL_OK);
        EXPECT_EQ(column_of_rows(&t.it, 3).size(), c.rows) << c.types;
    }
}

TEST(CatalogListingsTest, CatalogAndSchemaLists) {
    CatalogEnv e;
    ASSERT_EQ(SQITables(&e.it, dal_text("%"), dal_text(""), dal_text(""), {}), DAL_OK);
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    EXPECT_EQ(cell(&e.it, 1), "PAYPAL");
    for (int n = 2; n <= 5; n++) EXPECT_EQ(cell(&e.it, n), kNull);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);

    ASSERT_EQ(SQITables(&e.it, dal_text(""), dal_text("%"), dal_text(""), {}), DAL_OK);
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    EXPECT_EQ(cell(&e.it, 1), kNull);
    EXPECT_EQ(cell(&e.it, 2), "DBO");
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);

    // A catalog of "%" with a table pattern is an ordinary listing.
    ASSERT_EQ(SQITables(&e.it, dal_text("%"), dal_text(""), dal_text("Plans"), {}), DAL_OK);
    EXPECT_EQ(column_of_rows(&e.it, 3), std::vector<std::string>{"Plans"});
}

TEST(CatalogListingsTest, ColumnPatterns) {
    struct {
        const char *table, *column;
        size_t rows;
    } cases[] = {{"Balances", "%", 12},       {"Balances", nullptr, 12},
                 {"Balances", "Total%", 2},   {"Balances", "%CurrencyCode", 3},
                 {"Balances", "Currency", 1}, {"balances", "%", 0},
                 {"Plans%", "Id", 3},         {"%", "BatchItem", 1},
                 {"Webhooks", "Url", 1}};
    for (const auto &c : cases) {
        CatalogEnv e;
        ASSERT_EQ(SQIColumns(&e.it, {}, {}, arg(c.table), arg(c.column)), DAL_OK);
        EXPECT_EQ(column_of_rows(&e.it, 4).size(), c.rows)
            << c.table << " " << (c.column ? c.column : "<absent>");
    }
    CatalogEnv all;
    ASSERT_EQ(SQIColumns(&all.it, {}, {}, {}, {}), DAL_OK);
    size_t total = 0;
    for (int i = 0; i < kPaypalTableCount; i++) total += kPaypalTables[i].column_count;
    EXPECT_EQ(column_of_rows(&all.it, 4).size(), total);
}

struct ColumnsRow {
    const char *table, *column;
    int version, disguise;
    int data_type;
    const char *type_name;
    int size, buffer;
    const char *digits;
    int radix, nullable, sql_data_type, sub, octets, ordinal;
    const char *is_nullable;
};

const ColumnsRow kColumnsRows[] = {
    {"Balances", "Currency", 3, 0, -9, "string", 3, 3, kNull, 0, 0, -9, 0, 6, 1, "No"},
    {"Balances", "AsOfTime", 3, 0, 93, "datetime", 24, 16, kNull, 0, 1, 9, 3, 0, 10, "Yes"},
    {"Balances", "AsOfTime", 2, 0, 11, "datetime", 24, 16, kNull, 0, 1, 9, 3, 0, 10, "Yes"},
    {"Balances", "TotalBalanceValue", 3, 0, 2, "decimal", 19, 21, "6", 10, 1, 2, 0, 0, 3, "Yes"},
    {"Balances", "Primary", 3, 0, -6, "boolean", 3, 1, kNull, 0, 1, -6, 0, 0, 2, "Yes"},
    {"Plans", "PaymentPreferencesPaymentFailureThreshold", 3, 0, 4, "integer", 9, 4, kNull, 0, 1, 4,
     0, 0, 12, "Yes"},
    {"Invoices", "DetailNote", 3, 0, -10, "string", 2147483647, 2147483647, kNull, 0, 1, -10, 0,
     2147483647, 6, "Yes"},
    {"Invoices", "DetailNote", 3, 1, -10, "string", 2147483647, 2147483647, kNull, 0, 1, -9, 0,
     2147483647, 6, "Yes"},
    {"Invoices", "Items", 3, 1, -10, "array", 2147483647, 2147483647, kNull, 0, 1, -9, 0,
     2147483647, 34, "Yes"},
};

TEST(CatalogListingsTest, ColumnRowsFollowTypeAndSettings) {
    for (const ColumnsRow &w : kColumnsRows) {
        SCOPED_TRACE(std::string(w.table) + "." + w.column + " v" + std::to_string(w.version) +
                     " disguise " + std::to_string(w.disguise));
        CatalogEnv e;
        e.env.odbc_version = w.version;
        e.env.disguise_long = w.disguise;
        ASSERT_EQ(SQIColumns(&e.it, {}, {}, dal_text(w.table), dal_text(w.column)), DAL_OK);
        ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
        EXPECT_EQ(cell(&e.it, 1), "PAYPAL");
        EXPECT_EQ(cell(&e.it, 2), "DBO");
        EXPECT_EQ(cell(&e.it, 3), w.table);
        EXPECT_EQ(cell(&e.it, 4), w.column);
        EXPECT_EQ(number(&e.it, 5), w.data_type);
        EXPECT_EQ(cell(&e.it, 6), w.type_name);
        EXPECT_EQ(number(&e.it, 7), w.size);
        EXPECT_EQ(number(&e.it, 8), w.buffer);
        EXPECT_EQ(cell(&e.it, 9), w.digits);
        EXPECT_EQ(number(&e.it, 10), w.radix);
        EXPECT_EQ(number(&e.it, 11), w.nullable);
        EXPECT_EQ(cell(&e.it, 12), kNull);
        EXPECT_EQ(cell(&e.it, 13), kNull);
        EXPECT_EQ(number(&e.it, 14), w.sql_data_type);
        EXPECT_EQ(number(&e.it, 15), w.sub);
        EXPECT_EQ(number(&e.it, 16), w.octets);
        EXPECT_EQ(number(&e.it, 17), w.ordinal);
        EXPECT_EQ(cell(&e.it, 18), w.is_nullable);
        EXPECT_EQ(cell(&e.it, 19), kNull);
        EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    }
}

TEST(CatalogListingsTest, PrimaryKeys) {
    CatalogEnv e;
    ASSERT_EQ(SQIPrimaryKeys(&e.it, {}, {}, dal_text("invoiceitems")), DAL_OK);
    std::vector<std::string> names;
    std::vector<int32_t> seqs;
    while (catalog_next_row(&e.it) == DAL_OK) {
        EXPECT_EQ(cell(&e.it, 3), "InvoiceItems");
        names.push_back(cell(&e.it, 4));
        seqs.push_back(number(&e.it, 5));
        EXPECT_EQ(cell(&e.it, 6), kNull);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Id", "ItemId", "ItemUnitOfMeasure"}));
    EXPECT_EQ(seqs, (std::vector<int32_t>{1, 2, 3}));

    ASSERT_EQ(SQIPrimaryKeys(&e.it, {}, {}, dal_text("WebhooksEvents")), DAL_OK);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    // An unknown table is not this provider's, and leaves no stale rows.
    ASSERT_EQ(SQIPrimaryKeys(&e.it, {}, {}, dal_text("Nope")), DAL_NOT_MINE);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
}

TEST(CatalogListingsTest, SpecialColumnsGiveTheBestRowIdentifier) {
    CatalogEnv e;
    ASSERT_EQ(
        SQISpecialColumns(&e.it, SQL_BEST_ROWID, {}, {}, dal_text("PlansBillingCycles"), 0, 1),
        DAL_OK);
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    EXPECT_EQ(number(&e.it, 1), 2);
    EXPECT_EQ(cell(&e.it, 2), "Id");
    EXPECT_EQ(number(&e.it, 3), 12);
    EXPECT_EQ(cell(&e.it, 4), "VARCHAR");
    EXPECT_EQ(number(&e.it, 5), 50);
    EXPECT_EQ(number(&e.it, 6), 50);
    EXPECT_EQ(cell(&e.it, 7), kNull);
    EXPECT_EQ(number(&e.it, 8), 1);
    // A key of another type is described as that type.
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    EXPECT_EQ(cell(&e.it, 2), "BillingCycleSequence");
    EXPECT_EQ(number(&e.it, 3), 4);
    EXPECT_EQ(cell(&e.it, 4), "INTEGER");
    EXPECT_EQ(number(&e.it, 5), 9);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);

    ASSERT_EQ(SQISpecialColumns(&e.it, SQL_ROWVER, {}, {}, dal_text("Plans"), 0, 1), DAL_OK);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    ASSERT_EQ(SQISpecialColumns(&e.it, SQL_BEST_ROWID, {}, {}, dal_text("WebhooksEvents"), 0, 1),
              DAL_OK);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    EXPECT_EQ(SQISpecialColumns(&e.it, SQL_BEST_ROWID, {}, {}, dal_text("Nope"), 0, 1),
              DAL_NOT_MINE);
}

TEST(CatalogListingsTest, StatisticsStartWithTheTableRow) {
    CatalogEnv e;
    ASSERT_EQ(SQIStatistics(&e.it, {}, {}, dal_text("InvoiceDetailAttachments"), 0, 0), DAL_OK);
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    EXPECT_EQ(cell(&e.it, 3), "InvoiceDetailAttachments");
    EXPECT_EQ(number(&e.it, 7), 0);
    for (int n : {4, 5, 6, 8, 9, 10, 11, 12, 13}) EXPECT_EQ(cell(&e.it, n), kNull) << n;
    std::vector<std::string> keys;
    while (catalog_next_row(&e.it) == DAL_OK) {
        EXPECT_EQ(number(&e.it, 4), 0);
        EXPECT_EQ(cell(&e.it, 5), kNull);
        EXPECT_EQ(cell(&e.it, 6), "Primary");
        EXPECT_EQ(number(&e.it, 7), 3);
        EXPECT_EQ(number(&e.it, 8), static_cast<int32_t>(keys.size() + 1));
        keys.push_back(cell(&e.it, 9));
        EXPECT_EQ(cell(&e.it, 10), kNull);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Id", "DetailAttachmentIds"}));

    ASSERT_EQ(SQIStatistics(&e.it, {}, {}, dal_text("WebhooksEvents"), 0, 0), DAL_OK);
    EXPECT_EQ(column_of_rows(&e.it, 3), std::vector<std::string>{"WebhooksEvents"});
    EXPECT_EQ(SQIStatistics(&e.it, {}, {}, dal_text("Nope"), 0, 0), DAL_NOT_MINE);
}

TEST(CatalogListingsTest, PrivilegesAndForeignKeysAreEmpty) {
    CatalogEnv e;
    EXPECT_EQ(SQIColumnPrivileges(&e.it, {}, {}, dal_text("Plans"), {}), DAL_OK);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    EXPECT_EQ(SQITablePrivileges(&e.it, {}, {}, {}), DAL_OK);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
    EXPECT_EQ(SQIForeignKeys(&e.it, {}, {}, dal_text("Plans"), {}, {}, {}), DAL_OK);
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
}

TEST(CatalogListingsTest, DataReadsCutTextAndRefuseWithoutARow) {
    CatalogEnv e;
    char buf[8];
    SQLLEN len = 0;
    ASSERT_EQ(SQITables(&e.it, {}, {}, dal_text("AuthorizationDetails"), {}), DAL_OK);
    EXPECT_EQ(catalog_get_data(&e.it, 3, SQL_C_CHAR, buf, sizeof buf, &len), DAL_NO_DATA)
        << "no row yet";
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    ASSERT_EQ(catalog_get_data(&e.it, 3, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
    EXPECT_EQ(len, 20);
    EXPECT_STREQ(buf, "Authori");
    ASSERT_EQ(catalog_get_data(&e.it, 3, SQL_C_CHAR, buf, 1, &len), DAL_OK);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(catalog_get_data(&e.it, 3, SQL_C_CHAR, nullptr, 0, &len), DAL_OK);
    EXPECT_EQ(len, 20);

    ASSERT_EQ(SQIColumns(&e.it, {}, {}, dal_text("Balances"), dal_text("Currency")), DAL_OK);
    ASSERT_EQ(catalog_next_row(&e.it), DAL_OK);
    int16_t small = 0;
    ASSERT_EQ(catalog_get_data(&e.it, 5, SQL_C_SSHORT, &small, sizeof small, &len), DAL_OK);
    EXPECT_EQ(small, -9);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(cell(&e.it, 5), "-9");

    // A scan's iterator mode is not a listing.
    e.it.mode = kQueryRows;
    EXPECT_EQ(catalog_next_row(&e.it), DAL_NO_DATA);
}

TEST(CatalogPatternTest, MatchesLikeOdbcSearchPatterns) {
    struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"%", "", true},
        {"%", "Plans", true},
        {"", "", true},
        {"", "x", false},
        {"P%s", "Plans", true},
        {"P%s", "Plan", false},
        {"%%", "ab", true},
        {"_", "", false},
        {"a_c", "abc", true},
        {"a_c", "ac", false},
        {"a\\_c", "a_c", true},
        {"a\\_c", "abc", false},
        {"a\\%", "a%", true},
        {"a\\%", "ab", false},
        {"a\\", "a\\", true},
        {"%b%b", "abab", true},
        {"%ab%ab%", "xxabyyab", true},
        {"%ab%ab%", "xxabyy", false},
        {"Plans", "plans", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(catalog_pattern_match(c.pattern, c.name), c.match)
            << c.pattern << " ~ " << c.name;
}

}  // namespace
