#include "support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace orve::test {
bool countingArmed = false;
long allocationsSeen = 0;
}  // namespace orve::test

// libstdc++'s nothrow and array forms call these, so every allocation is seen.
void* operator new(std::size_t size) {
    if (orve::test::countingArmed) ++orve::test::allocationsSeen;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
