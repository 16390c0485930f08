// Reading a catalogue result into memory and ordering it by its sort keys.
//
// The rows of one listing are few (a catalogue of tens of tables with tens of
// columns each), so they are kept whole in memory and sorted there; the
// row count limit keeps a misbehaving provider from exhausting memory.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dal/catalog_listing.h"

struct CatalogListingData {
    std::vector<CatalogCell> cells;   // row_count × column_count, row after row
    std::vector<int64_t> order;       // row indexes in delivery order
    std::vector<std::string> texts;   // one per text cell read, kept for the cells' pointers
    std::vector<char> buffer;         // one column's read buffer
};

CatalogListing::CatalogListing() = default;
CatalogListing::~CatalogListing() = default;

namespace {

bool is_text(int32_t sql_type) { return sql_type == SQL_CHAR || sql_type == SQL_VARCHAR; }

// -1, 0, 1 as a sorts before, with, after b. NULL sorts first.
int compare_cells(const CatalogCell &a, const CatalogCell &b, bool text) {
    if (a.is_null || b.is_null) return a.is_null && b.is_null ? 0 : a.is_null ? -1 : 1;
    if (!text) return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    const int32_t n = std::min(a.length, b.length);
    const int c = std::memcmp(a.text, b.text, static_cast<size_t>(n));
    if (c != 0) return c < 0 ? -1 : 1;
    return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

// Reads column `column` of the provider's current row into `cell`.
int read_cell(CatalogListingData &d, const CatalogColumnDef &col, int column, DalIterator *it, CatalogCell *cell) {
    SQLLEN length = 0;
    int r;
    if (is_text(col.sql_type)) {
        const size_t capacity = static_cast<size_t>(col.length) + 1;
        d.buffer.assign(capacity, '\0');
        r = DALGetData(it, column, SQL_C_CHAR, d.buffer.data(), static_cast<SQLLEN>(capacity), &length);
        if (r == DAL_ERROR) return -1;
        if (length == SQL_NULL_DATA || r == DAL_NO_DATA) {
            cell->is_null = 1;
            return 0;
        }
        // A longer text arrives cut to the column's length; keep what came.
        size_t n = length < 0 ? std::strlen(d.buffer.data()) : static_cast<size_t>(length);
        if (n > capacity - 1) n = capacity - 1;
        d.texts.emplace_back(d.buffer.data(), n);
        cell->length = static_cast<int32_t>(n);
        return 0;
    }
    int32_t number = 0;
    if (col.sql_type == SQL_SMALLINT) {
        int16_t small = 0;
        r = DALGetData(it, column, SQL_C_SSHORT, &small, sizeof small, &length);
        number = small;
    } else {
        r = DALGetData(it, column, SQL_C_SLONG, &number, sizeof number, &length);
    }
    if (r == DAL_ERROR) return -1;
    if (length == SQL_NULL_DATA || r == DAL_NO_DATA) {
        cell->is_null = 1;
        return 0;
    }
    cell->number = number;
    return 0;
}

}  // namespace

namespace {

int read_rows(CatalogListing *l, const CatalogResultDef *def, DalIterator *it, void *owner, int64_t max_rows) {
    l->info = 0;
    l->row_count = 0;
    l->position = 0;
    try {
        l->data = std::make_unique<CatalogListingData>();
        CatalogListingData &d = *l->data;
        const int cols = def->column_count;
        std::vector<size_t> text_index;  // per text cell: its entry in d.texts
        for (;;) {
            const int r = DALNextRow(it);
            if (r == DAL_NO_DATA) break;
            if (r == DAL_ERROR) return -1;
            if (r == DAL_INFO) l->info = 1;
            if (l->row_count >= kCatalogMaxRows) {
                PostDalError(it ? it->dal : nullptr, owner, kDalComponent, 0, "HY000", "General error: catalogue listing has too many rows");
                return -1;
            }
            for (int c = 1; c <= cols; c++) {
                CatalogCell cell{};
                const size_t before = d.texts.size();
                if (read_cell(d, def->columns[c - 1], c, it, &cell) != 0) return -1;
                text_index.push_back(d.texts.size() > before ? before : SIZE_MAX);
                d.cells.push_back(cell);
            }
            l->row_count++;
        }
        // Texts are pointed at only now: the vector of texts has stopped moving.
        for (size_t i = 0; i < d.cells.size(); i++)
            if (text_index[i] != SIZE_MAX) d.cells[i].text = d.texts[text_index[i]].c_str();

        d.order.resize(static_cast<size_t>(l->row_count));
        for (int64_t i = 0; i < l->row_count; i++) d.order[static_cast<size_t>(i)] = i;
        auto cell_of = [&](int64_t row, int column) -> const CatalogCell & {
            return d.cells[static_cast<size_t>(row * cols + column - 1)];
        };
        auto compare_rows = [&](int64_t a, int64_t b, bool all_columns) {
            for (int k = 0; k < def->sort_key_count; k++) {
                const int c = def->sort_keys[k];
                const int r = compare_cells(cell_of(a, c), cell_of(b, c), is_text(def->columns[c - 1].sql_type));
                if (r != 0) return r;
            }
            if (!all_columns) return 0;
            for (int c = 1; c <= cols; c++) {
                const int r = compare_cells(cell_of(a, c), cell_of(b, c), is_text(def->columns[c - 1].sql_type));
                if (r != 0) return r;
            }
            return 0;
        };
        const bool distinct = def->distinct != 0;
        if (def->sort_key_count > 0)
            std::stable_sort(d.order.begin(), d.order.end(),
                             [&](int64_t a, int64_t b) { return compare_rows(a, b, distinct) < 0; });
        if (distinct) {
            auto end = std::unique(d.order.begin(), d.order.end(),
                                   [&](int64_t a, int64_t b) { return compare_rows(a, b, true) == 0; });
            d.order.erase(end, d.order.end());
        }
        if (max_rows > 0 && static_cast<int64_t>(d.order.size()) > max_rows) d.order.resize(static_cast<size_t>(max_rows));
        l->row_count = static_cast<int64_t>(d.order.size());
    } catch (const std::bad_alloc &) {
        PostDalError(it ? it->dal : nullptr, owner, kDalComponent, 0, "HY001", "Memory allocation error");
        return -1;
    }
    return l->info ? 1 : 0;
}

}  // namespace

int catalog_listing_read(CatalogListing *l, const CatalogResultDef *def, DalIterator *it, void *owner,
                         int64_t max_rows) {
    l->def = def;
    const int r = read_rows(l, def, it, owner, max_rows);
    if (r < 0) {
        // A failed listing is an empty one: no row can be reached.
        l->data.reset();
        l->row_count = 0;
        l->position = 0;
    }
    return r;
}

int catalog_listing_next(CatalogListing *l) {
    if (l->position <= l->row_count) l->position++;
    return l->position <= l->row_count ? 0 : 100;
}

void catalog_listing_rewind(CatalogListing *l) { l->position = 0; }

const CatalogCell *catalog_listing_cell(const CatalogListing *l, int column) {
    if (!l->data || !l->def || l->position < 1 || l->position > l->row_count) return nullptr;
    if (column < 1 || column > l->def->column_count) return nullptr;
    const int64_t row = l->data->order[static_cast<size_t>(l->position - 1)];
    return &l->data->cells[static_cast<size_t>(row * l->def->column_count + column - 1)];
}
