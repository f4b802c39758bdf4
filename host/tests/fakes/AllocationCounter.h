// Replaces the global allocation functions so that a test can count allocations while
// countAllocations is set. Include it in one file of a test program only: a program has one
// allocator.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace lumivane::host::test {
inline std::atomic<bool> countAllocations{false};
inline std::atomic<std::uint64_t> allocations{0};
}  // namespace lumivane::host::test

// These functions are the allocator: free() is the right match for their malloc(). The
// warning fires where the including file's code is inlined, so it stays off for that file.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (lumivane::host::test::countAllocations.load(std::memory_order_relaxed)) {
        lumivane::host::test::allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
