#pragma once
// Ascending in-place heap sorts and a selection: no allocation, O(n log n)
// worst case, so they are safe on the audio thread.
#include <algorithm>
#include <cstdint>

namespace orve {

template <typename T>
void HeapSort(T* values, int32_t count) {
    auto siftDown = [values](int32_t root, int32_t end) {
        while (2 * root + 1 < end) {
            int32_t child = 2 * root + 1;
            if (child + 1 < end && values[child] < values[child + 1]) ++child;
            if (!(values[root] < values[child])) return;
            T t = values[root];
            values[root] = values[child];
            values[child] = t;
            root = child;
        }
    };
    for (int32_t start = count / 2 - 1; start >= 0; --start) siftDown(start, count);
    for (int32_t end = count - 1; end > 0; --end) {
        T t = values[0];
        values[0] = values[end];
        values[end] = t;
        siftDown(0, end);
    }
}

}  // namespace orve

namespace orve {

// Rearranges values[0..count) so that values[k] holds the value of rank k,
// with none larger before it and none smaller after it (what std::nth_element
// does). Quickselect with a branch-free partition: comparisons of measured
// signal values are unpredictable, and a branching partition mispredicts half
// of them. No allocation; a range that fails to shrink fast enough is left to
// std::nth_element, so the worst case stays O(count log count).
template <typename T>
void SelectRank(T* values, int32_t count, int32_t k) {
    int32_t lo = 0, hi = count;   // values of rank k lie in [lo, hi)
    for (int32_t budget = 64; hi - lo > 16; --budget) {
        if (budget == 0) {
            std::nth_element(values + lo, values + k, values + hi);
            return;
        }
        const T a = values[lo], b = values[lo + (hi - lo) / 2], c = values[hi - 1];
        const T pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));   // median of three
        // [lo, store) < pivot <= [store, i)
        int32_t store = lo;
        for (int32_t i = lo; i < hi; ++i) {
            const T x = values[i];
            values[i] = values[store];
            values[store] = x;
            store += x < pivot;
        }
        if (k < store) {
            hi = store;
            continue;
        }
        // Then the values equal to the pivot to the front of the rest, so a
        // range of many equal values still shrinks.
        int32_t equal = store;
        for (int32_t i = store; i < hi; ++i) {
            const T x = values[i];
            values[i] = values[equal];
            values[equal] = x;
            equal += !(pivot < x);
        }
        if (k < equal) return;   // values[k] == pivot, in place
        lo = equal;
    }
    // Insertion sort of what is left.
    for (int32_t i = lo + 1; i < hi; ++i) {
        const T x = values[i];
        int32_t j = i;
        for (; j > lo && x < values[j - 1]; --j) values[j] = values[j - 1];
        values[j] = x;
    }
}

}  // namespace orve
