#include "base/List.h"

#include <new>

#include "base/Results.h"

int List::Compare(void* a, void* b) {
    return a == b ? kResultOk : kResultFail;
}

int List::Dispose(void*) {
    return kResultOk;
}

List::~List() {
    while (head_ != nullptr) {
        Node* next = head_->next;
        delete head_;
        head_ = next;
    }
}

int List::Contains(const Node* node) const {
    if (node == nullptr) return kResultNullArgument;
    for (const Node* n = head_; n != nullptr; n = n->next) {
        if (n == node) return kResultOk;
    }
    return kResultFail;
}

int List::Insert(void* data, Node* position) {
    if (position != nullptr && Contains(position) != kResultOk) return kResultNullArgument;
    Node* node = new (std::nothrow) Node{nullptr, data, nullptr};
    if (node == nullptr) return kResultNoMemory;
    if (position == nullptr) {
        node->next = head_;
        if (head_ != nullptr) head_->previous = node;
        head_ = node;
        return kResultOk;
    }
    node->previous = position;
    node->next = position->next;
    if (position->next != nullptr) position->next->previous = node;
    position->next = node;
    return kResultOk;
}

int List::First(Node** node) const {
    if (node == nullptr) return kResultNullArgument;
    *node = head_;
    return kResultOk;
}

int List::Last(Node** node) const {
    if (node == nullptr) return kResultNullArgument;
    Node* last = head_;
    while (last != nullptr && last->next != nullptr) last = last->next;
    *node = last;
    return kResultOk;
}

int List::Find(void* key, Node** node) {
    for (Node* n = head_; n != nullptr; n = n->next) {
        if (Compare(n->data, key) > 0) {
            if (node != nullptr) *node = n;
            return kResultOk;
        }
    }
    return kResultFail;
}

int List::Remove(Node* node) {
    if (head_ == nullptr) return kResultFail;
    if (Contains(node) != kResultOk) return kResultNullArgument;
    if (node->next != nullptr) node->next->previous = node->previous;
    if (node->previous != nullptr) {
        node->previous->next = node->next;
    } else {
        head_ = node->next;
    }
    Dispose(node->data);
    delete node;
    return kResultOk;
}
