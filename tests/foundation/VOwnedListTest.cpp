#include "foundation/VOwnedList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace Vorn {
namespace {

// Records its id in a shared log when destroyed.
class Tracked {
public:
    Tracked(int id, std::vector<int>& log) : m_id(id), m_log(log) {}
    virtual ~Tracked() { m_log.push_back(m_id); }
    int id() const { return m_id; }

private:
    int m_id;
    std::vector<int>& m_log;
};

// Deleted through the base: the derived part must be destroyed too.
class TrackedChild : public Tracked {
public:
    TrackedChild(int id, std::vector<int>& log) : Tracked(id, log), m_childLog(log) {}
    ~TrackedChild() override { m_childLog.push_back(-id()); }

private:
    std::vector<int>& m_childLog;
};

class VOwnedListTest : public testing::Test {
protected:
    void fill(VOwnedList<Tracked>& list, int n) {
        for (int i = 0; i < n; ++i) {
            list.add(new Tracked(i, deleted));
        }
    }
    std::vector<int> ids(const VOwnedList<Tracked>& list) {
        std::vector<int> result;
        for (const Tracked* element : list) {
            result.push_back(element->id());
        }
        return result;
    }
    std::vector<int> deleted;
};

TEST_F(VOwnedListTest, ClearDeletesEachElementOnce) {
    {
        VOwnedList<Tracked> list;
        fill(list, 5);
        EXPECT_TRUE(list.clear());
        EXPECT_EQ(deleted, (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_FALSE(list.clear());
        fill(list, 2);
        EXPECT_TRUE(list.clearKeepStorage());
        EXPECT_EQ(list.capacity(), 16);
    }
    EXPECT_EQ(deleted, (std::vector<int>{0, 1, 2, 3, 4, 0, 1}));
}

TEST_F(VOwnedListTest, DestructorDeletesAllThroughVirtualDestructor) {
    {
        VOwnedList<Tracked> list;
        fill(list, 2);
        list.add(new TrackedChild(7, deleted));
    }
    EXPECT_EQ(deleted, (std::vector<int>{0, 1, -7, 7}));
}

TEST_F(VOwnedListTest, SetDeletesTheReplacedElement) {
    VOwnedList<Tracked> list;
    fill(list, 3);
    EXPECT_EQ(list.set(1, new Tracked(10, deleted)), 1);
    EXPECT_EQ(deleted, (std::vector<int>{1}));
    EXPECT_EQ(ids(list), (std::vector<int>{0, 10, 2}));

    // Setting the element that is already there must not free it.
    list.set(1, list.get(1));
    EXPECT_EQ(deleted, (std::vector<int>{1}));
    EXPECT_EQ(list.get(1)->id(), 10);
}

TEST_F(VOwnedListTest, RemoveAndRemoveAtDeleteWhatTheyRemove) {
    VOwnedList<Tracked> list;
    fill(list, 6);
    EXPECT_EQ(list.remove(list.get(2)), 1);
    EXPECT_EQ(deleted, (std::vector<int>{2}));

    auto stranger = std::make_unique<Tracked>(99, deleted);
    EXPECT_EQ(list.remove(stranger.get()), 0);
    EXPECT_EQ(deleted, (std::vector<int>{2}));

    EXPECT_EQ(list.removeAt(1, 2), 1); // ids 1 and 3
    EXPECT_EQ(list.removeAt(-1), 0);
    EXPECT_EQ(list.removeAt(3), 0);
    EXPECT_EQ(deleted, (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(ids(list), (std::vector<int>{0, 4, 5}));
}

TEST_F(VOwnedListTest, SetCapacityWithKeepDeletesTheTailFromTheLast) {
    VOwnedList<Tracked> list;
    fill(list, 5);
    list.setCapacity(2, true);
    EXPECT_EQ(deleted, (std::vector<int>{4, 3, 2}));
    EXPECT_EQ(ids(list), (std::vector<int>{0, 1}));
    list.setCapacity(8, true);
    EXPECT_EQ(deleted.size(), 3u);
}

TEST_F(VOwnedListTest, SetCapacityWithoutKeepDeletesEverything) {
    VOwnedList<Tracked> list;
    fill(list, 3);
    list.setCapacity(8, false);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(deleted.size(), 3u);
}

TEST_F(VOwnedListTest, MoveAssignmentDeletesThePreviousElements) {
    VOwnedList<Tracked> target;
    fill(target, 2);
    VOwnedList<Tracked> source;
    source.add(new Tracked(50, deleted));
    target = std::move(source);
    EXPECT_EQ(deleted, (std::vector<int>{0, 1}));
    EXPECT_EQ(ids(target), (std::vector<int>{50}));
    EXPECT_EQ(source.count(), 0);
}

} // namespace
} // namespace Vorn
