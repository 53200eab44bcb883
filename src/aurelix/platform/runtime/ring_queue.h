#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace aurelix::platform {

// A first-in first-out queue on one block of storage reused in a circle: it allocates only
// when it holds more than ever before (doubling), never as it cycles, so a queue that
// settles at a steady depth stops touching the heap.
template <class T>
class RingQueue {
  public:
    bool empty() const noexcept { return count_ == 0; }
    size_t size() const noexcept { return count_; }

    T& front() noexcept { return slots_[head_]; }
    const T& front() const noexcept { return slots_[head_]; }
    // The i-th item from the front.
    T& operator[](size_t i) noexcept { return slots_[Slot(i)]; }
    const T& operator[](size_t i) const noexcept { return slots_[Slot(i)]; }

    void push_back(const T& item) {
        if (count_ == slots_.size())
            Grow();
        slots_[Slot(count_)] = item;
        ++count_;
    }
    void pop_front() noexcept {
        head_ = Slot(1);
        --count_;
    }
    void clear() noexcept { head_ = count_ = 0; }

    // Removes the items for which `drop` is true, keeping the order of the others.
    template <class Predicate>
    void erase_if(Predicate drop) {
        size_t kept = 0;
        for (size_t i = 0; i < count_; ++i) {
            if (!drop((*this)[i]))
                (*this)[kept++] = (*this)[i];
        }
        count_ = kept;
    }

    template <class Predicate>
    bool any_of(Predicate match) const {
        for (size_t i = 0; i < count_; ++i) {
            if (match((*this)[i]))
                return true;
        }
        return false;
    }

  private:
    size_t Slot(size_t i) const noexcept {
        const size_t slot = head_ + i;
        return slot < slots_.size() ? slot : slot - slots_.size();
    }
    void Grow() {
        std::vector<T> grown(slots_.empty() ? 16 : 2 * slots_.size());
        for (size_t i = 0; i < count_; ++i)
            grown[i] = std::move((*this)[i]);
        slots_ = std::move(grown);
        head_ = 0;
    }

    std::vector<T> slots_;
    size_t head_ = 0;
    size_t count_ = 0;
};

}  // namespace aurelix::platform
