#pragma once
// Counts heap allocations, of the calling thread and of the whole process (the library's own
// threads included), by replacing the global allocation functions. Include it in exactly one
// file of a benchmark program.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace bench {
/// Allocations made by this thread so far.
inline thread_local std::uint64_t threadAllocations = 0;
/// Allocations made by every thread so far.
inline std::atomic<std::uint64_t> processAllocations{0};

inline void* countedAlloc(std::size_t size) {
  ++threadAllocations;
  processAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

inline void* countedAlignedAlloc(std::size_t size, std::align_val_t align) {
  ++threadAllocations;
  processAllocations.fetch_add(1, std::memory_order_relaxed);
  const auto a = static_cast<std::size_t>(align);
  return std::aligned_alloc(a, (size + a - 1) / a * a);
}
}  // namespace bench

// The replacements pair malloc with free throughout, which the compiler cannot see through
// the inlined operators.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (void* p = bench::countedAlloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return bench::countedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return bench::countedAlloc(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  if (void* p = bench::countedAlignedAlloc(size, align)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
