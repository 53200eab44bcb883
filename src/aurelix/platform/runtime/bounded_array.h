#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::platform {

// An array with explicit bounds lower..upper and an unallocated state, as the system's
// arrays are. Every indexed access is checked and raises Subscript out of range (9);
// hot loops check a whole range once with Range() and then run on the raw pointer.
template <class T>
class BoundedArray {
  public:
    BoundedArray() = default;
    BoundedArray(int32_t lower, int32_t upper) { ReDim(lower, upper); }

    bool IsAllocated() const noexcept { return allocated_; }
    // Bounds of an unallocated array raise 9, as asking for them does in the runtime.
    int32_t Lower() const {
        RequireAllocated();
        return lower_;
    }
    int32_t Upper() const {
        RequireAllocated();
        return lower_ + static_cast<int32_t>(items_.size()) - 1;
    }
    // Number of elements; 0 when unallocated.
    int32_t Count() const noexcept { return static_cast<int32_t>(items_.size()); }

    // Re-dimensions to lower..upper with every element value-initialised (contents
    // discarded). upper = lower - 1 gives an allocated, empty array.
    void ReDim(int32_t lower, int32_t upper) {
        CheckBounds(lower, upper);
        items_.assign(Size(lower, upper), T{});
        lower_ = lower;
        allocated_ = true;
    }

    // Re-dimensions keeping the elements whose index stays inside the new bounds.
    void ReDimPreserve(int32_t lower, int32_t upper) {
        CheckBounds(lower, upper);
        if (!allocated_) {
            ReDim(lower, upper);
            return;
        }
        if (lower == lower_) {
            // Same origin: the kept elements stay where they are, in the same storage.
            items_.resize(Size(lower, upper));
            return;
        }
        std::vector<T> resized(Size(lower, upper), T{});
        const int64_t from = std::max<int64_t>(lower, lower_);
        const int64_t to = std::min<int64_t>(upper, lower_ + int64_t(items_.size()) - 1);
        for (int64_t i = from; i <= to; ++i) {
            resized[size_t(i - lower)] = std::move(items_[size_t(i - lower_)]);
        }
        items_ = std::move(resized);
        lower_ = lower;
    }

    // Back to the unallocated state.
    void Erase() noexcept {
        items_.clear();
        items_.shrink_to_fit();
        lower_ = 0;
        allocated_ = false;
    }

    T& operator()(int32_t index) { return items_[Offset(index)]; }
    const T& operator()(int32_t index) const { return items_[Offset(index)]; }

    // Pointer to element `first` after checking that first..last all exist (9 if not).
    T* Range(int32_t first, int32_t last) {
        CheckRange(first, last);
        return items_.data() + (int64_t(first) - lower_);
    }
    const T* Range(int32_t first, int32_t last) const {
        CheckRange(first, last);
        return items_.data() + (int64_t(first) - lower_);
    }

    // Raw storage (element Lower() first); empty when unallocated.
    T* data() noexcept { return items_.data(); }
    const T* data() const noexcept { return items_.data(); }

    bool operator==(const BoundedArray& other) const = default;

  private:
    static void CheckBounds(int32_t lower, int32_t upper) {
        if (int64_t(upper) < int64_t(lower) - 1) {
            Raise(err::kSubscriptOutOfRange);
        }
    }
    static size_t Size(int32_t lower, int32_t upper) {
        return size_t(int64_t(upper) - int64_t(lower) + 1);
    }
    void RequireAllocated() const {
        if (!allocated_) {
            Raise(err::kSubscriptOutOfRange);
        }
    }
    size_t Offset(int32_t index) const {
        const int64_t offset = int64_t(index) - lower_;
        if (offset < 0 || offset >= int64_t(items_.size())) {
            Raise(err::kSubscriptOutOfRange);
        }
        return size_t(offset);
    }
    void CheckRange(int32_t first, int32_t last) const {
        if (last < first) {
            return;
        }
        const int64_t begin = int64_t(first) - lower_;
        const int64_t end = int64_t(last) - lower_;
        if (begin < 0 || end >= int64_t(items_.size())) {
            Raise(err::kSubscriptOutOfRange);
        }
    }

    std::vector<T> items_;
    int32_t lower_ = 0;
    bool allocated_ = false;
};

// A two-dimensional array (first index fastest, as the ring's sample memory is laid out:
// all elements of one column are contiguous).
template <class T>
class BoundedArray2D {
  public:
    bool IsAllocated() const noexcept { return allocated_; }
    int32_t Lower(int dimension) const {
        RequireAllocated();
        return dimension == 1 ? lower1_ : lower2_;
    }
    int32_t Upper(int dimension) const {
        RequireAllocated();
        return dimension == 1 ? lower1_ + count1_ - 1 : lower2_ + count2_ - 1;
    }

    void ReDim(int32_t lower1, int32_t upper1, int32_t lower2, int32_t upper2) {
        if (int64_t(upper1) < int64_t(lower1) - 1 || int64_t(upper2) < int64_t(lower2) - 1) {
            Raise(err::kSubscriptOutOfRange);
        }
        const int64_t count1 = int64_t(upper1) - lower1 + 1;
        const int64_t count2 = int64_t(upper2) - lower2 + 1;
        if (count1 * count2 > int64_t(INT32_MAX)) {
            Raise(err::kOutOfMemory);
        }
        items_.assign(size_t(count1 * count2), T{});
        lower1_ = lower1;
        lower2_ = lower2;
        count1_ = int32_t(count1);
        count2_ = int32_t(count2);
        allocated_ = true;
    }

    void Erase() noexcept {
        items_.clear();
        items_.shrink_to_fit();
        allocated_ = false;
        lower1_ = lower2_ = count1_ = count2_ = 0;
    }

    T& operator()(int32_t i, int32_t j) { return items_[Offset(i, j)]; }
    const T& operator()(int32_t i, int32_t j) const { return items_[Offset(i, j)]; }

    // Address of element (i, j) after checking it exists; columns are contiguous.
    T* Address(int32_t i, int32_t j) { return items_.data() + Offset(i, j); }
    const T* Address(int32_t i, int32_t j) const { return items_.data() + Offset(i, j); }

    T* data() noexcept { return items_.data(); }
    const T* data() const noexcept { return items_.data(); }
    int64_t Count() const noexcept { return int64_t(items_.size()); }

  private:
    void RequireAllocated() const {
        if (!allocated_) {
            Raise(err::kSubscriptOutOfRange);
        }
    }
    size_t Offset(int32_t i, int32_t j) const {
        const int64_t a = int64_t(i) - lower1_;
        const int64_t b = int64_t(j) - lower2_;
        if (!allocated_ || a < 0 || a >= count1_ || b < 0 || b >= count2_) {
            Raise(err::kSubscriptOutOfRange);
        }
        return size_t(a + b * count1_);
    }

    std::vector<T> items_;
    int32_t lower1_ = 0, lower2_ = 0, count1_ = 0, count2_ = 0;
    bool allocated_ = false;
};

}  // namespace aurelix::platform
