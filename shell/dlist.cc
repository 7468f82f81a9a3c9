// Doubly linked lists of owned data blocks: the argument lists of calls.
#include <stdlib.h>
#include <string.h>

#include "vreg.h"

dlist* dlist_new(const void* data, size_t size) {
    dlist* node = (dlist*)calloc(1, sizeof(dlist));
    if (!node) return nullptr;
    node->data = malloc(size ? size : 1);
    if (!node->data) {
        free(node);
        return nullptr;
    }
    memcpy(node->data, data, size);
    return node;
}

void dlist_append(dlist* head, dlist* node) {
    if (!head) return;
    while (head->next) head = head->next;
    head->next = node;
    node->prev = head;
}

void dlist_remove(dlist* node) {
    if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    free(node->data);
    free(node);
}

void dlist_free_all(dlist* head) {
    while (head) {
        dlist* next = head->next;
        dlist_remove(head);
        head = next;
    }
}

void dlist_dump(const dlist* node) {
    printf("%p:", (const void*)node);
    printf(" .data = %p\n", node->data);
    printf(" .next = %p\n", (void*)node->next);
    printf(" .prev = %p\n", (void*)node->prev);
    fflush(stdout);
}
