#pragma once

#include "foundation/VList.h"

#include <algorithm>
#include <vector>

namespace Vorn {

// A VList of pointers that owns what it points to: every element the list overwrites, removes or
// empties is deleted (through T's virtual destructor where T has one). Each pointer may be held
// once; an element added to the list belongs to it until the list deletes it.
//
// Elements are unlinked before they are deleted, so a destructor that looks at the list sees it
// without them.
template <class T> class VOwnedList : public VList<T*> {
    using Base = VList<T*>;

public:
    VOwnedList() = default;
    // Two lists must never own the same elements.
    VOwnedList(const VOwnedList&) = delete;
    VOwnedList& operator=(const VOwnedList&) = delete;
    VOwnedList(VOwnedList&& other) noexcept = default;
    VOwnedList& operator=(VOwnedList&& other) noexcept {
        if (this != &other) {
            clear();
            Base::operator=(std::move(other));
        }
        return *this;
    }
    ~VOwnedList() override { deleteAll(takeRange(0, this->count())); }

    // Deletes the element it overwrites, unless value is that same element.
    int set(int index, T* const& value) override {
        if (!this->isValidIndex(index)) {
            return Base::set(index, value);
        }
        T* const replaced = this->get(index);
        Base::set(index, value);
        if (replaced != value) {
            delete replaced;
        }
        return index;
    }

    bool clear(int capacity = 0) override {
        std::vector<T*> dropped = takeRange(0, this->count());
        const bool held = Base::clear(capacity);
        deleteAll(dropped);
        return held;
    }

    bool clearKeepStorage() override {
        std::vector<T*> dropped = takeRange(0, this->count());
        const bool held = Base::clearKeepStorage();
        deleteAll(dropped);
        return held;
    }

    int remove(T* const& value) override {
        T* const element = value; // value may refer into the storage that remove() shifts
        if (Base::remove(element) == 0) {
            return 0;
        }
        delete element;
        return 1;
    }

    int removeAt(int index, int n = 1) override {
        const int removable = this->removableCount(index, n);
        if (removable == 0) {
            return 0;
        }
        std::vector<T*> dropped = takeRange(index, removable);
        Base::removeAt(index, removable);
        deleteAll(dropped);
        return 1;
    }

    // With keep, the elements beyond the new capacity are deleted from the last one backwards;
    // without keep every element is deleted, as the list is emptied.
    void setCapacity(int capacity, bool keep) override {
        const int kept = keep ? std::min(this->count(), std::max(capacity, 0)) : 0;
        std::vector<T*> dropped = takeRange(kept, this->count() - kept);
        Base::setCapacity(capacity, keep);
        for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) {
            delete *it;
        }
    }

private:
    std::vector<T*> takeRange(int index, int n) const {
        return std::vector<T*>(this->begin() + index, this->begin() + index + n);
    }
    static void deleteAll(const std::vector<T*>& elements) {
        for (T* element : elements) {
            delete element;
        }
    }
};

} // namespace Vorn
