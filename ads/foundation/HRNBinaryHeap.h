#pragma once
// A binary min-heap of values, ordered by a comparison function (negative, zero or positive,
// like a three-way compare) or, without one, by the values' own order: operator< of the value,
// or of the pointee when the values are pointers. The heap holds its values (a shared_ptr
// keeps its object alive) until they are taken out.
//
// Not locked: its owner confines it to one queue.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

template <class T>
class HRNBinaryHeap {
  public:
    using Comparator = std::function<int(const T&, const T&)>;

    HRNBinaryHeap() : HRNBinaryHeap(nullptr) {}
    explicit HRNBinaryHeap(Comparator comparator)
        : compare_(comparator ? std::move(comparator) : Comparator(defaultCompare)) {}

    // A null pointer is not added.
    void addObject(T object) {
        if constexpr (requires { object == nullptr; }) {
            if (object == nullptr) return;
        }
        heap_.push_back(std::move(object));
        std::push_heap(heap_.begin(), heap_.end(), greater());
    }

    // Some held value compares equal to `object`; false for a null pointer.
    bool containsObject(const T& object) const {
        if constexpr (requires { object == nullptr; }) {
            if (object == nullptr) return false;
        }
        return std::any_of(heap_.begin(), heap_.end(),
                           [&](const T& held) { return compare_(held, object) == 0; });
    }

    size_t count() const { return heap_.size(); }

    std::optional<T> minimum() const {
        if (heap_.empty()) return std::nullopt;
        return heap_.front();
    }

    // The minimum, taken out of the heap.
    std::optional<T> removedMinimum() {
        if (heap_.empty()) return std::nullopt;
        std::pop_heap(heap_.begin(), heap_.end(), greater());
        T minimum = std::move(heap_.back());
        heap_.pop_back();
        return minimum;
    }

    // Every value in ascending order; std::nullopt when empty. The heap is unchanged.
    std::optional<std::vector<T>> sortedObjects() const {
        if (heap_.empty()) return std::nullopt;
        std::vector<T> sorted = heap_;
        std::sort(sorted.begin(), sorted.end(),
                  [this](const T& a, const T& b) { return compare_(a, b) < 0; });
        return sorted;
    }

  private:
    static int defaultCompare(const T& a, const T& b) {
        if constexpr (requires { *a < *b; }) {
            return *a < *b ? -1 : (*b < *a ? 1 : 0);
        } else {
            return a < b ? -1 : (b < a ? 1 : 0);
        }
    }

    // std heap algorithms keep the greatest first; this order puts the least there.
    auto greater() const {
        return [this](const T& a, const T& b) { return compare_(a, b) > 0; };
    }

    Comparator compare_;
    std::vector<T> heap_;
};
