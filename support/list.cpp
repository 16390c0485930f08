// Doubly linked pointer lists in pool memory.
#include "support/list.h"

List *ListAppend(List *list, void *data, CvPool *pool) {
    bool fresh = list == nullptr;
    if (fresh) {
        list = pool_new<List>(pool);
        if (!list) return nullptr;
        list->pool = pool;
    }
    auto *cell = pool_new<ListCell>(list->pool);
    if (!cell) {
        if (fresh) cv_mem_free(list);
        return nullptr;
    }
    cell->data = data;
    cell->prev = list->last;
    if (list->last)
        list->last->next = cell;
    else
        list->first = cell;
    list->last = cell;
    list->count++;
    return list;
}

ListCell *ListFirst(const List *list) { return list ? list->first : nullptr; }
ListCell *ListLast(const List *list) { return list ? list->last : nullptr; }
ListCell *ListNext(const ListCell *cell) { return cell ? cell->next : nullptr; }
ListCell *ListPrior(const ListCell *cell) { return cell ? cell->prev : nullptr; }
void *ListData(const ListCell *cell) { return cell ? cell->data : nullptr; }
int ListCount(const List *list) { return list ? list->count : 0; }

ListCell *ListDelete(List *list, ListCell *cell) {
    if (!list || !cell) return nullptr;
    ListCell *next = cell->next;
    if (cell->prev)
        cell->prev->next = next;
    else
        list->first = next;
    if (next)
        next->prev = cell->prev;
    else
        list->last = cell->prev;
    list->count--;
    cv_mem_free(cell);
    return next;
}

void ListRewrite(ListCell *cell, void *data) {
    if (cell) cell->data = data;
}

List *ListMerge(List *head, List *tail) {
    if (!head) return tail;
    if (!tail || !tail->first) return head;
    if (head->last) {
        head->last->next = tail->first;
        tail->first->prev = head->last;
    } else {
        head->first = tail->first;
    }
    head->last = tail->last;
    head->count += tail->count;
    tail->first = tail->last = nullptr;
    tail->count = 0;
    return head;
}

int ListEnumerate(const List *list, ListEnumFn fn, void *context) {
    for (ListCell *c = ListFirst(list); c; c = c->next) {
        if (int r = fn(c->data, context)) return r;
    }
    return 0;
}
