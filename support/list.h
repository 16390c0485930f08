// Doubly linked lists of pointers, allocated in a pool.
//
// A list and its cells live in the pool given to ListAppend when the list was
// made; releasing that pool frees them. Lists hold borrowed pointers: the
// list never frees what its cells point to.
//
// Exports: ListAppend, ListFirst, ListNext, ListPrior, ListLast, ListData,
// ListCount, ListDelete, ListRewrite, ListMerge, ListEnumerate.
#pragma once

#include "support/pool.h"

struct ListCell {
    ListCell *prev;  // null at the head
    ListCell *next;  // null at the tail
    void *data;      // the element
};

struct List {
    CvPool *pool;     // where cells are allocated
    ListCell *first;  // head cell
    ListCell *last;   // tail cell
    int count;        // number of cells
};

/// Appends `data`; a null `list` makes a new list in `pool`. Returns the list,
/// or null when memory is exhausted (the old list is then unchanged).
[[nodiscard]] List *ListAppend(List *list, void *data, CvPool *pool);

[[nodiscard]] ListCell *ListFirst(const List *list);
[[nodiscard]] ListCell *ListLast(const List *list);
[[nodiscard]] ListCell *ListNext(const ListCell *cell);
[[nodiscard]] ListCell *ListPrior(const ListCell *cell);
[[nodiscard]] void *ListData(const ListCell *cell);
[[nodiscard]] int ListCount(const List *list);

/// Unlinks and frees `cell`; returns the cell that followed it.
ListCell *ListDelete(List *list, ListCell *cell);

/// Replaces the element of `cell`.
void ListRewrite(ListCell *cell, void *data);

/// Moves every cell of `tail` to the end of `head` and returns the result;
/// either may be null. `tail` is empty afterwards. Both lists must live in the
/// same pool tree branch that outlives the result.
List *ListMerge(List *head, List *tail);

/// Calls `fn(data, context)` for each element in order until it returns
/// non-zero; returns that value, or 0 when every call returned 0.
using ListEnumFn = int (*)(void *data, void *context);
int ListEnumerate(const List *list, ListEnumFn fn, void *context);
