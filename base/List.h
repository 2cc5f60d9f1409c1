// List: a doubly linked list of opaque data pointers. Its two overridable operations,
// Compare and Dispose, form its table in that order. Nodes are allocated by the list; the
// data they point to is not owned by a node (Dispose is called on it at removal).
#pragma once

#include <windows.h>

class List {
public:
    struct Node {
        Node* previous;
        void* data;
        Node* next;
    };

    List() = default;
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    // > 0 when the two data items are equal. Default: 1 for equal pointers, else -1.
    virtual int Compare(void* a, void* b);
    // Called on the data of a removed node. Default: does nothing, 1.
    virtual int Dispose(void* data);

    // Nodes still linked are released (without Dispose); owners normally empty it first.
    virtual ~List();

    // 1 node is in this list; -1 not; -4 null node.
    int Contains(const Node* node) const;
    // Inserts data after position, or as the new head when position is null.
    // 1; -4 position given but not in the list (or the list is empty); -2 no memory.
    int Insert(void* data, Node* position);
    // 1 and the head / the last node (null when empty); -4 null output.
    int First(Node** node) const;
    int Last(Node** node) const;
    // 1 and the first node whose data Compare reports equal to key; -1 none.
    int Find(void* key, Node** node);
    // Unlinks node, calls Dispose on its data, releases it. 1; -1 empty list; -4 node not in
    // this list.
    int Remove(Node* node);

private:
    Node* head_ = nullptr;
};
