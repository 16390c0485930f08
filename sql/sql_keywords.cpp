// The reserved-word table (sorted by the lower-case form of each word, which
// is the order the binary search compares in).
#include "sql/sql_keywords.h"

#include <cstring>

#include "sql_grammar.hpp"

namespace {

struct Keyword {
    const char *word;  // upper case
    int terminal;      // grammar terminal
};

const Keyword kKeywords[] = {
    {"@@IDENTITY", KW_AT_IDENTITY},
    {"ADD", KW_ADD},
    {"ALL", KW_ALL},
    {"ALTER", KW_ALTER},
    {"AND", KW_AND},
    {"ANY", KW_ANY},
    {"AS", KW_AS},
    {"ASC", KW_ASC},
    {"AUTHORIZATION", KW_AUTHORIZATION},
    {"AUTO_INCREMENT", KW_AUTO_INCREMENT},
    {"AUTOINCREMENT", KW_AUTOINCREMENT},
    {"AUTONUMBER", KW_AUTONUMBER},
    {"AVG", KW_AVG},
    {"BETWEEN", KW_BETWEEN},
    {"BIGINT", KW_BIGINT},
    {"BINARY", KW_BINARY},
    {"BIT", KW_BIT},
    {"BIT_LENGTH", KW_BIT_LENGTH},
    {"BOTH", KW_BOTH},
    {"BY", KW_BY},
    {"BYTE", KW_BYTE},
    {"CASCADE", KW_CASCADE},
    {"CASE", KW_CASE},
    {"CAST", KW_CAST},
    {"CHAR", KW_CHAR},
    {"CHAR_LENGTH", KW_CHAR_LENGTH},
    {"CHARACTER", KW_CHARACTER},
    {"CHARACTER_LENGTH", KW_CHARACTER_LENGTH},
    {"CHECK", KW_CHECK},
    {"COALESCE", KW_COALESCE},
    {"COLLATE", KW_COLLATE},
    {"COLUMN", KW_COLUMN},
    {"COMMIT", KW_COMMIT},
    {"CONSTRAINT", KW_CONSTRAINT},
    {"CONVERT", KW_CONVERT},
    {"COUNT", KW_COUNT},
    {"COUNTER", KW_COUNTER},
    {"CREATE", KW_CREATE},
    {"CURRENT", KW_CURRENT},
    {"CURRENT_DATE", KW_CURRENT_DATE},
    {"CURRENT_TIME", KW_CURRENT_TIME},
    {"CURRENT_TIMESTAMP", KW_CURRENT_TIMESTAMP},
    {"CURRENT_USER", KW_CURRENT_USER},
    {"DATE", KW_DATE},
    {"DATETIME", KW_DATETIME},
    {"DAY", KW_DAY},
    {"DEC", KW_DEC},
    {"DECIMAL", KW_DECIMAL},
    {"DEFAULT", KW_DEFAULT},
    {"DELETE", KW_DELETE},
    {"DESC", KW_DESC},
    {"DISTINCT", KW_DISTINCT},
    {"DOUBLE", KW_DOUBLE},
    {"DROP", KW_DROP},
    {"ELSE", KW_ELSE},
    {"END", KW_END},
    {"ESCAPE", KW_ESCAPE},
    {"EXISTS", KW_EXISTS},
    {"FALSE", KW_FALSE},
    {"FIRST", KW_FIRST},
    {"FLOAT", KW_FLOAT},
    {"FOR", KW_FOR},
    {"FOREIGN", KW_FOREIGN},
    {"FROM", KW_FROM},
    {"FULL", KW_FULL},
    {"GRANT", KW_GRANT},
    {"GROUP", KW_GROUP},
    {"HAVING", KW_HAVING},
    {"HOUR", KW_HOUR},
    {"IDENTITY", KW_IDENTITY},
    {"IIF", KW_IIF},
    {"IMAGE", KW_IMAGE},
    {"IN", KW_IN},
    {"INDEX", KW_INDEX},
    {"INNER", KW_INNER},
    {"INSERT", KW_INSERT},
    {"INT", KW_INTEGER},
    {"INTEGER", KW_INTEGER},
    {"INTERVAL", KW_INTERVAL},
    {"INTO", KW_INTO},
    {"IS", KW_IS},
    {"JOIN", KW_JOIN},
    {"KEY", KW_KEY},
    {"LAST", KW_LAST},
    {"LEADING", KW_LEADING},
    {"LEFT", KW_LEFT},
    {"LIKE", KW_LIKE},
    {"LONG", KW_LONG},
    {"LONGBLOB", KW_LONGBLOB},
    {"LONGCHAR", KW_LONGCHAR},
    {"LOWER", KW_LOWER},
    {"MAX", KW_MAX},
    {"MEDIUMBLOB", KW_MEDIUMBLOB},
    {"MEMO", KW_MEMO},
    {"MIDDLEINT", KW_MIDDLEINT},
    {"MIN", KW_MIN},
    {"MINUTE", KW_MINUTE},
    {"MONTH", KW_MONTH},
    {"NATURAL", KW_NATURAL},
    {"NO", KW_NO},
    {"NOT", KW_NOT},
    {"NULL", KW_NULL},
    {"NULLIF", KW_NULLIF},
    {"NUMERIC", KW_NUMERIC},
    {"OCTET_LENGTH", KW_OCTET_LENGTH},
    {"OF", KW_OF},
    {"ON", KW_ON},
    {"OPTION", KW_OPTION},
    {"OR", KW_OR},
    {"ORDER", KW_ORDER},
    {"OUTER", KW_OUTER},
    {"OVERLAPS", KW_OVERLAPS},
    {"POSITION", KW_POSITION},
    {"PRECISION", KW_PRECISION},
    {"PRIMARY", KW_PRIMARY},
    {"PRIVILEGES", KW_PRIVILEGES},
    {"PUBLIC", KW_PUBLIC},
    {"REAL", KW_REAL},
    {"REFERENCES", KW_REFERENCES},
    {"RESTRICT", KW_RESTRICT},
    {"REVOKE", KW_REVOKE},
    {"RIGHT", KW_RIGHT},
    {"ROLLBACK", KW_ROLLBACK},
    {"SECOND", KW_SECOND},
    {"SELECT", KW_SELECT},
    {"SET", KW_SET},
    {"SIGNED", KW_SIGNED},
    {"SMALLINT", KW_SMALLINT},
    {"SOME", KW_SOME},
    {"SUBSTRING", KW_SUBSTRING},
    {"SUM", KW_SUM},
    {"TABLE", KW_TABLE},
    {"TEXT", KW_TEXT},
    {"THEN", KW_THEN},
    {"TIME", KW_TIME},
    {"TIMESTAMP", KW_TIMESTAMP},
    {"TINYBLOB", KW_TINYBLOB},
    {"TINYINT", KW_TINYINT},
    {"TO", KW_TO},
    {"TOP", KW_TOP},
    {"TRAILING", KW_TRAILING},
    {"TRIM", KW_TRIM},
    {"TRUE", KW_TRUE},
    {"UNION", KW_UNION},
    {"UNIQUE", KW_UNIQUE},
    {"UNSIGNED", KW_UNSIGNED},
    {"UPDATE", KW_UPDATE},
    {"UPPER", KW_UPPER},
    {"USER", KW_USER},
    {"USING", KW_USING},
    {"VALUE", KW_VALUE},
    {"VALUES", KW_VALUES},
    {"VARBINARY", KW_VARBINARY},
    {"VARCHAR", KW_VARCHAR},
    {"VARYING", KW_VARYING},
    {"VIEW", KW_VIEW},
    {"WHEN", KW_WHEN},
    {"WHERE", KW_WHERE},
    {"WITH", KW_WITH},
    {"WORK", KW_WORK},
    {"YEAR", KW_YEAR},
    {"YES", KW_YES},
};
constexpr int kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
static_assert(kKeywordCount == 162, "the reserved-word table has 162 entries");

// Compares a word of the text with a table word, both folded to lower case.
int compare(const char *text, size_t length, const char *word) {
    for (size_t i = 0;; i++) {
        // ASCII folding, whatever the application's locale.
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : static_cast<unsigned char>(c); };
        int a = i < length ? fold(text[i]) : 0;
        int b = fold(word[i]);
        if (a != b || a == 0) return a - b;
    }
}

}  // namespace

int lookup_keyword(const char *text, size_t length) {
    if (length == 0 || length > 17) return 0;  // longest word: CURRENT_TIMESTAMP
    int lo = 0, hi = kKeywordCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = compare(text, length, kKeywords[mid].word);
        if (c == 0) return kKeywords[mid].terminal;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return 0;
}

bool is_reserved_word(const char *text, size_t length) {
    int t = lookup_keyword(text, length);
    return t != 0 && t != KW_DAY;
}

int keyword_count() { return kKeywordCount; }
const char *keyword_at(int index) {
    return index >= 0 && index < kKeywordCount ? kKeywords[index].word : nullptr;
}
