#pragma once
// Counts heap allocations, of the calling thread and of the whole process (the library's own
// threads included). It replaces the C allocation functions, which `operator new` and the
// libraries' own allocations (a JSON value's member names, say) all come to, and hands each
// call on to the C library's allocator. Include it in exactly one file of a benchmark program.

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace bench {
/// Allocations made by this thread so far.
inline thread_local std::uint64_t threadAllocations = 0;
/// Allocations made by every thread so far.
inline std::atomic<std::uint64_t> processAllocations{0};

inline void countAllocation() noexcept {
  ++threadAllocations;
  processAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace bench

extern "C" {
// The C library's own entry points, which its public ones forward to.
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* block, std::size_t size) noexcept;
void* __libc_memalign(std::size_t alignment, std::size_t size) noexcept;
void __libc_free(void* block) noexcept;

void* malloc(std::size_t size) noexcept {
  bench::countAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  bench::countAllocation();
  return __libc_calloc(count, size);
}
// Growing or making a block is an allocation; shrinking or freeing one is not counted.
void* realloc(void* block, std::size_t size) noexcept {
  if (size != 0) bench::countAllocation();
  return __libc_realloc(block, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
  bench::countAllocation();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept { return memalign(alignment, size); }
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* block = memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}
void free(void* block) noexcept { __libc_free(block); }
}
