// The linked list: positions must belong to the list, links stay consistent both ways, and
// Dispose / Compare are the overridable operations.
#include <gtest/gtest.h>

#include <vector>

#include "base/List.h"
#include "base/Results.h"

namespace {

// Reads the list forwards and checks every backward link on the way.
std::vector<void*> Walk(const List& list) {
    std::vector<void*> items;
    List::Node* node = nullptr;
    list.First(&node);
    List::Node* previous = nullptr;
    for (; node != nullptr; previous = node, node = node->next) {
        EXPECT_EQ(node->previous, previous);
        items.push_back(node->data);
    }
    return items;
}

void* Item(int i) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(i));
}

void Append(List& list, void* data) {
    List::Node* last = nullptr;
    ASSERT_EQ(list.Last(&last), kResultOk);
    ASSERT_EQ(list.Insert(data, last), kResultOk);
}

void Empty(List& list) {
    List::Node* node = nullptr;
    while (list.First(&node) == kResultOk && node != nullptr) list.Remove(node);
}

TEST(List, InsertWithAPositionNeedsThatPositionInTheList) {
    List list, other;
    List::Node foreign{nullptr, nullptr, nullptr};
    EXPECT_EQ(list.Insert(Item(1), &foreign), kResultNullArgument); // empty list
    EXPECT_TRUE(Walk(list).empty());
    Append(list, Item(1));
    Append(other, Item(9));
    List::Node* otherHead = nullptr;
    other.First(&otherHead);
    EXPECT_EQ(list.Insert(Item(2), otherHead), kResultNullArgument);
    EXPECT_EQ(Walk(list), std::vector<void*>{Item(1)});
    Empty(list);
    Empty(other);
}

TEST(List, KeepsOrderAndLinksForHeadMiddleAndTailInsertions) {
    List list;
    Append(list, Item(2));         // into the empty list
    Append(list, Item(4));         // after the last: the new last
    list.Insert(Item(1), nullptr); // new head
    List::Node* node = nullptr;
    list.First(&node);
    list.Insert(Item(3), node->next); // after the second: the middle
    EXPECT_EQ(Walk(list), (std::vector<void*>{Item(1), Item(2), Item(3), Item(4)}));
    List::Node* last = nullptr;
    list.Last(&last);
    EXPECT_EQ(last->data, Item(4));
    EXPECT_EQ(last->next, nullptr);
    // Destroyed with its nodes linked: the list releases them (the leak checker watches).
}

TEST(List, RemoveUnlinksFromAnyPlace) {
    List list;
    for (int i = 1; i <= 4; ++i) Append(list, Item(i));
    List::Node* node = nullptr;
    list.First(&node);
    EXPECT_EQ(list.Remove(node->next), kResultOk); // middle
    list.Last(&node);
    EXPECT_EQ(list.Remove(node), kResultOk); // tail
    list.First(&node);
    EXPECT_EQ(list.Remove(node), kResultOk); // head
    EXPECT_EQ(Walk(list), std::vector<void*>{Item(3)});
    list.First(&node);
    EXPECT_EQ(list.Remove(node), kResultOk); // the only node
    EXPECT_EQ(list.First(&node), kResultOk);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(list.Last(&node), kResultOk);
    EXPECT_EQ(node, nullptr);
}

TEST(List, RejectsForeignNodesAndNullArguments) {
    List list, other;
    List::Node* node = nullptr;
    EXPECT_EQ(list.Remove(nullptr), kResultFail); // empty list comes first
    Append(list, Item(1));
    Append(other, Item(2));
    other.First(&node);
    EXPECT_EQ(list.Remove(node), kResultNullArgument);
    EXPECT_EQ(list.Contains(node), kResultFail);
    EXPECT_EQ(list.Contains(nullptr), kResultNullArgument);
    EXPECT_EQ(list.Remove(nullptr), kResultNullArgument);
    EXPECT_EQ(list.First(nullptr), kResultNullArgument);
    EXPECT_EQ(list.Last(nullptr), kResultNullArgument);
    EXPECT_EQ(other.Contains(node), kResultOk);
    Empty(list);
    Empty(other);
}

// A list that owns integers: Dispose frees them, Compare matches by value.
class OwningList final : public List {
public:
    int Compare(void* a, void* b) override {
        return *static_cast<int*>(a) == *static_cast<int*>(b) ? kResultOk : kResultFail;
    }
    int Dispose(void* data) override {
        delete static_cast<int*>(data);
        ++disposed;
        return kResultOk;
    }
    int disposed = 0;
};

TEST(List, OverriddenOperationsAreUsedByFindAndRemove) {
    OwningList list;
    for (int i = 1; i <= 3; ++i) Append(list, new int(i * 10));
    int key = 20;
    List::Node* found = nullptr;
    ASSERT_EQ(list.Find(&key, &found), kResultOk);
    EXPECT_EQ(*static_cast<int*>(found->data), 20);
    int missing = 25;
    EXPECT_EQ(list.Find(&missing, nullptr), kResultFail);
    EXPECT_EQ(list.Remove(found), kResultOk);
    EXPECT_EQ(list.disposed, 1);
    Empty(list);
    EXPECT_EQ(list.disposed, 3);
}

} // namespace
