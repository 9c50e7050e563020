#pragma once
// Ascending in-place heap sorts: no allocation, O(n log n) worst case, so they
// are safe on the audio thread.
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
