// Red-black tree of byte-string keys (see keytree.h). Insert and lookup
// only: the engine never deletes single keys, it drops whole trees.
#include "engine/keytree.h"

#include <cctype>
#include <cstring>

struct KeyTreeNode {
    KeyTreeNode *left, *right, *parent;
    void *payload;
    size_t length;
    bool red;
    unsigned char key[1];  // `length` bytes follow
};

namespace {

void rotate_left(KeyTree *t, KeyTreeNode *x) {
    KeyTreeNode *y = x->right;
    x->right = y->left;
    if (y->left) y->left->parent = x;
    y->parent = x->parent;
    if (!x->parent)
        t->root = y;
    else if (x == x->parent->left)
        x->parent->left = y;
    else
        x->parent->right = y;
    y->left = x;
    x->parent = y;
}

void rotate_right(KeyTree *t, KeyTreeNode *x) {
    KeyTreeNode *y = x->left;
    x->left = y->right;
    if (y->right) y->right->parent = x;
    y->parent = x->parent;
    if (!x->parent)
        t->root = y;
    else if (x == x->parent->right)
        x->parent->right = y;
    else
        x->parent->left = y;
    y->right = x;
    x->parent = y;
}

void fix_insert(KeyTree *t, KeyTreeNode *z) {
    while (z->parent && z->parent->red) {
        KeyTreeNode *g = z->parent->parent;
        if (z->parent == g->left) {
            KeyTreeNode *u = g->right;
            if (u && u->red) {
                z->parent->red = false;
                u->red = false;
                g->red = true;
                z = g;
            } else {
                if (z == z->parent->right) {
                    z = z->parent;
                    rotate_left(t, z);
                }
                z->parent->red = false;
                g->red = true;
                rotate_right(t, g);
            }
        } else {
            KeyTreeNode *u = g->left;
            if (u && u->red) {
                z->parent->red = false;
                u->red = false;
                g->red = true;
                z = g;
            } else {
                if (z == z->parent->left) {
                    z = z->parent;
                    rotate_right(t, z);
                }
                z->parent->red = false;
                g->red = true;
                rotate_left(t, g);
            }
        }
    }
    t->root->red = false;
}

}  // namespace

int keytree_default_compare(size_t stored_length, const void *stored, size_t new_length,
                            const void *key) {
    if (stored_length != new_length)
        return stored_length < new_length ? -1 : 1;  // keys order by length first
    const unsigned char *a = static_cast<const unsigned char *>(stored);
    const unsigned char *b = static_cast<const unsigned char *>(key);
    for (size_t i = 0; i < stored_length; i++) {
        unsigned char x = a[i], y = b[i];
        if (std::isprint(x) && std::isprint(y)) {
            x = static_cast<unsigned char>(std::toupper(x));
            y = static_cast<unsigned char>(std::toupper(y));
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

int keytree_byte_compare(size_t stored_length, const void *stored, size_t new_length,
                         const void *key) {
    size_t n = stored_length < new_length ? stored_length : new_length;
    int c = n ? std::memcmp(stored, key, n) : 0;
    if (c != 0) return c;
    // Keys of different lengths are different keys (the shorter first).
    return stored_length < new_length ? -1 : (stored_length > new_length ? 1 : 0);
}

int keytree_string_compare(size_t stored_length, const void *stored, size_t new_length,
                           const void *key) {
    // Compare within the stored bytes, so unterminated keys stay in bounds.
    size_t n = stored_length < new_length ? stored_length : new_length;
    const unsigned char *a = static_cast<const unsigned char *>(stored);
    const unsigned char *b = static_cast<const unsigned char *>(key);
    for (size_t i = 0; i < n; i++) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return stored_length < new_length ? -1 : (stored_length > new_length ? 1 : 0);
}

KeyTree *TREEcreate(CvPool *pool, KeyCompareFn compare, KeyReleaseFn release) {
    KeyTree *t = pool_new<KeyTree>(pool);
    if (!t) return nullptr;
    t->pool = pool;
    t->compare = compare ? compare : keytree_default_compare;
    t->release = release;
    return t;
}

int TREEinsert(KeyTree *tree, const void *key, size_t length, void *payload) {
    if (!tree) return kTreeNoMemory;
    KeyTreeNode *parent = nullptr;
    KeyTreeNode **link = &tree->root;
    while (*link) {
        parent = *link;
        int c = tree->compare(parent->length, parent->key, length, key);
        if (c == 0) return kTreeOk;  // present: keep the first payload
        // A negative result (stored < new) sends the search to the right.
        link = c < 0 ? &parent->right : &parent->left;
    }
    if (length > SIZE_MAX - sizeof(KeyTreeNode)) return kTreeNoMemory;
    auto *n = static_cast<KeyTreeNode *>(cv_mem_alloc(tree->pool, sizeof(KeyTreeNode) + length));
    if (!n) return kTreeNoMemory;
    n->parent = parent;
    n->payload = payload;
    n->length = length;
    n->red = true;
    if (length) std::memcpy(n->key, key, length);
    *link = n;
    tree->count++;
    fix_insert(tree, n);
    return kTreeOk;
}

int TREElookup(const KeyTree *tree, const void *key, size_t length, void **payload) {
    if (!tree) return kTreeNotFound;
    const KeyTreeNode *n = tree->root;
    while (n) {
        int c = tree->compare(n->length, n->key, length, key);
        if (c == 0) {
            if (payload) *payload = n->payload;
            return kTreeOk;
        }
        n = c < 0 ? n->right : n->left;
    }
    return kTreeNotFound;
}

void TREErelease(KeyTree *tree) {
    if (!tree) return;
    // Iterative post-order walk: no recursion depth tied to the key count.
    KeyTreeNode *n = tree->root;
    while (n) {
        if (n->left) {
            n = n->left;
            continue;
        }
        if (n->right) {
            n = n->right;
            continue;
        }
        KeyTreeNode *parent = n->parent;
        if (parent) {
            if (parent->left == n)
                parent->left = nullptr;
            else
                parent->right = nullptr;
        }
        if (tree->release) tree->release(n->payload);
        cv_mem_free(n);
        n = parent;
    }
    cv_mem_free(tree);
}

size_t TREEcount(const KeyTree *tree) { return tree ? tree->count : 0; }
