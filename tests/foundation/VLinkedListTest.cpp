#include "foundation/VLinkedList.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace Vorn {
namespace {

struct Node {
    int key = 0;
    int serial = 0;
    Node* next = nullptr;
};

template <class List> std::vector<int> popSerials(List& list) {
    std::vector<int> serials;
    while (Node* node = list.pop()) {
        EXPECT_EQ(node->next, nullptr);
        serials.push_back(node->serial);
    }
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.isEmpty());
    return serials;
}

TEST(VLinkedListTest, StackIsLastInFirstOut) {
    Node nodes[3] = {{0, 0}, {0, 1}, {0, 2}};
    VLinkedListStack<Node> stack;
    EXPECT_EQ(stack.pop(), nullptr);
    for (Node& node : nodes) {
        stack.push(&node);
    }
    EXPECT_EQ(stack.count(), 3);
    EXPECT_EQ(stack.head(), &nodes[2]);
    EXPECT_EQ(popSerials(stack), (std::vector<int>{2, 1, 0}));
}

TEST(VLinkedListTest, QueueIsFirstInFirstOutAndReusableWhenDrained) {
    Node nodes[3] = {{0, 0}, {0, 1}, {0, 2}};
    VLinkedListQueue<Node> queue;
    queue.append(&nodes[0]);
    queue.append(&nodes[1]);
    EXPECT_EQ(queue.pop(), &nodes[0]);
    EXPECT_EQ(queue.pop(), &nodes[1]);
    EXPECT_EQ(queue.tail(), nullptr);
    // A drained queue must not link new nodes behind a stale tail.
    queue.append(&nodes[2]);
    queue.append(&nodes[0]);
    EXPECT_EQ(queue.head(), &nodes[2]);
    EXPECT_EQ(queue.tail(), &nodes[0]);
    EXPECT_EQ(popSerials(queue), (std::vector<int>{2, 0}));
}

class ByKey : public VLinkedListSorted<Node>::Compare {
public:
    int compare(const Node* a, const Node* b) const override { return a->key - b->key; }
};

TEST(VLinkedListTest, SortedIsAscendingAndEqualKeysKeepInsertionOrder) {
    struct Case {
        std::vector<int> keys; // inserted in this order; serial = position
        std::vector<int> serialsOut;
    };
    for (const Case& c : {
             Case{{5, 1, 3}, {1, 2, 0}},
             Case{{2, 2, 2}, {0, 1, 2}},
             Case{{3, 1, 3, 1, 2}, {1, 3, 4, 0, 2}},
             Case{{1, 2, 3}, {0, 1, 2}},
             Case{{3, 2, 1}, {2, 1, 0}},
             Case{{}, {}},
         }) {
        SCOPED_TRACE(testing::PrintToString(c.keys));
        std::vector<Node> nodes(c.keys.size());
        const ByKey byKey;
        VLinkedListSorted<Node> list(byKey);
        for (size_t i = 0; i < c.keys.size(); ++i) {
            nodes[i].key = c.keys[i];
            nodes[i].serial = static_cast<int>(i);
            list.insert(&nodes[i]);
        }
        EXPECT_EQ(list.count(), static_cast<int>(c.keys.size()));
        EXPECT_EQ(popSerials(list), c.serialsOut);
    }
}

TEST(VLinkedListTest, SortedAcceptsInsertionsBetweenPops) {
    Node nodes[4] = {{10, 0}, {20, 1}, {5, 2}, {20, 3}};
    const ByKey byKey;
    VLinkedListSorted<Node> list(byKey);
    list.insert(&nodes[0]);
    list.insert(&nodes[1]);
    EXPECT_EQ(list.pop(), &nodes[0]);
    list.insert(&nodes[2]);
    list.insert(&nodes[3]);
    list.insert(&nodes[0]);
    EXPECT_EQ(popSerials(list), (std::vector<int>{2, 0, 1, 3}));
}

} // namespace
} // namespace Vorn
