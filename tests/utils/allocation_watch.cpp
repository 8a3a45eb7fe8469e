#include "allocation_watch.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Kept in a file of its own so the compiler does not inline the replaced
// operators into their callers (and then mistake malloc/free for a mismatch).

namespace {
std::atomic<bool> g_watching{false};
std::atomic<std::size_t> g_largest{0};

void note_allocation(std::size_t size) {
  if (!g_watching.load(std::memory_order_relaxed)) return;
  std::size_t seen = g_largest.load(std::memory_order_relaxed);
  while (size > seen && !g_largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}

void* allocate(std::size_t size) {
  note_allocation(size);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

std::size_t largest_allocation_during(const std::function<void()>& run) {
  g_largest = 0;
  g_watching = true;
  run();
  g_watching = false;
  return g_largest.load();
}
