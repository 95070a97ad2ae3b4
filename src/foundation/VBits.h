#pragma once

#include <cstddef>
#include <vector>

namespace Vorn {

// A fixed-size bit array on the heap. Indexes outside 0..count-1 read as false and are ignored
// when written.
class VBits {
public:
    explicit VBits(int count = 0) : bits_(count > 0 ? static_cast<std::size_t>(count) : 0) {}

    int count() const { return static_cast<int>(bits_.size()); }
    bool get(int index) const { return inRange(index) && bits_[static_cast<std::size_t>(index)]; }
    void set(int index, bool value = true) {
        if (inRange(index))
            bits_[static_cast<std::size_t>(index)] = value;
    }
    void clear(int index) { set(index, false); }
    void setAll(bool value) { bits_.assign(bits_.size(), value); }
    // Changes the number of bits; new bits are false.
    void resize(int count) { bits_.resize(count > 0 ? static_cast<std::size_t>(count) : 0, false); }

private:
    bool inRange(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < bits_.size();
    }

    std::vector<bool> bits_;
};

} // namespace Vorn
