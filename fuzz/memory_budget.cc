#include "memory_budget.h"

#include <malloc.h>

#include <cstdint>
#include <cstdlib>

namespace {

// Bytes allocated less bytes freed since the budget was set; frees of
// older blocks may take it below zero.
std::int64_t g_growth = 0;
std::int64_t g_limit = INT64_MAX;

std::int64_t usable(void* p) { return static_cast<std::int64_t>(malloc_usable_size(p)); }

void* allocate(std::size_t n, std::size_t alignment = 0) {
  if (n > static_cast<std::size_t>(INT64_MAX) || g_growth > g_limit - static_cast<std::int64_t>(n)) {
    throw std::bad_alloc();
  }
  if (n == 0) n = 1;
  void* p = alignment == 0 ? std::malloc(n) : std::aligned_alloc(alignment, (n + alignment - 1) / alignment * alignment);
  if (p == nullptr) throw std::bad_alloc();
  g_growth += usable(p);
  return p;
}

void* allocate_or_null(std::size_t n, std::size_t alignment = 0) noexcept {
  try {
    return allocate(n, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  g_growth -= usable(p);
  std::free(p);
}

}  // namespace

namespace zaptor_fuzz {

MemoryBudget::MemoryBudget(std::size_t bytes) {
  g_growth = 0;
  g_limit = static_cast<std::int64_t>(bytes);
}

MemoryBudget::~MemoryBudget() { g_limit = INT64_MAX; }

}  // namespace zaptor_fuzz

// The replaceable allocation functions, all through malloc so that
// AddressSanitizer still checks every block.
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate_or_null(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate_or_null(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate_or_null(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate_or_null(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
