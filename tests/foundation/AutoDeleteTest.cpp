#include "foundation/AutoDelete.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

std::vector<int>& deletionOrder() {
    static std::vector<int> order;
    return order;
}

class Singleton : public Vorn::AutoDelete {
public:
    explicit Singleton(int id, bool createsAnotherOnDeletion = false)
        : id_(id), createsAnother_(createsAnotherOnDeletion) {}
    ~Singleton() override {
        deletionOrder().push_back(id_);
        // Created during the shut-down: not registered, so owned here.
        if (createsAnother_)
            latecomer = std::make_unique<Singleton>(id_ * 10);
    }
    static std::unique_ptr<Singleton> latecomer;

private:
    int id_;
    bool createsAnother_;
};

std::unique_ptr<Singleton> Singleton::latecomer;

TEST(AutoDelete, DeletesTheLiveInstancesNewestFirst) {
    deletionOrder().clear();
    new Singleton(1); // owned by the registry from here on
    new Singleton(2, true);
    auto destroyedEarly = std::make_unique<Singleton>(3);
    new Singleton(4);
    destroyedEarly.reset(); // unregisters itself
    deletionOrder().clear();

    Vorn::deleteAllAutoDelete();
    EXPECT_EQ(deletionOrder(), (std::vector<int>{4, 2, 1}));

    // The latecomer was never registered, and a fresh registry starts empty.
    Singleton::latecomer.reset();
    deletionOrder().clear();
    Vorn::deleteAllAutoDelete();
    EXPECT_TRUE(deletionOrder().empty());

    new Singleton(5);
    Vorn::deleteAllAutoDelete();
    EXPECT_EQ(deletionOrder(), (std::vector<int>{5}));
}

} // namespace
