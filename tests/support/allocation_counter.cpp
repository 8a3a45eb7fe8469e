#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Each block carries its size in a header in front of it so that delete can
// keep the live total; the header keeps the alignment malloc gives.
//
// The counters are atomics updated by plain loads and stores, not by locked
// read-modify-write instructions: cheap enough to leave benchmark timings
// alone, free of data races, and exact for what one thread allocates (the
// measured code here always runs on one thread; others may lose a count).

namespace {

constexpr std::size_t kHeader = alignof(std::max_align_t);

std::atomic<std::size_t> g_count{0};
std::atomic<std::size_t> g_bytes{0};
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::size_t> g_largest{0};

void add(std::atomic<std::size_t>& slot, std::size_t n) {
  slot.store(slot.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

void raise_to(std::atomic<std::size_t>& slot, std::size_t value) {
  if (value > slot.load(std::memory_order_relaxed)) slot.store(value, std::memory_order_relaxed);
}

[[gnu::noinline]] void* allocate(std::size_t n) {
  auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = n;
  add(g_count, 1);
  add(g_bytes, n);
  add(g_live, n);
  raise_to(g_largest, n);
  raise_to(g_peak, g_live.load(std::memory_order_relaxed));
  return block + kHeader;
}

[[gnu::noinline]] void release(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  const std::size_t n = *reinterpret_cast<std::size_t*>(block);
  g_live.store(g_live.load(std::memory_order_relaxed) - n, std::memory_order_relaxed);
  std::free(block);
}

}  // namespace

// Out of line (a file of their own), so the compiler never pairs an inlined
// free with new.
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace vxtest {

AllocationScope::AllocationScope()
    : count_(g_count.load()), bytes_(g_bytes.load()), live_(g_live.load()) {
  g_largest.store(0);
  g_peak.store(live_);
}

AllocationStats AllocationScope::stats() const {
  AllocationStats s;
  s.count = g_count.load() - count_;
  s.bytes = g_bytes.load() - bytes_;
  s.largest = g_largest.load();
  const std::size_t peak = g_peak.load();
  s.peak = peak > live_ ? peak - live_ : 0;
  return s;
}

}  // namespace vxtest
