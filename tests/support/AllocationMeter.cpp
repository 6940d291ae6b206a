#include "AllocationMeter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (!p) return nullptr;
  const auto bytes = static_cast<long long>(::malloc_usable_size(p));
  const long long now = live.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  long long seen = peak.load(std::memory_order_relaxed);
  while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
  }
  return p;
}

void* AllocateOrThrow(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}

void Release(void* p) noexcept {
  if (!p) return;
  live.fetch_sub(static_cast<long long>(::malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}

}  // namespace

// Every form but the aligned ones, which keep the runtime's own pair: a sanitizer's runtime
// would otherwise free what malloc gave.
void* operator new(std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Release(p);
}

namespace sheetpeek::test {

AllocationMeter::AllocationMeter() : start_(live.load()) {
  peak.store(start_);
}

std::size_t AllocationMeter::PeakBytes() const {
  const long long above = peak.load() - start_;
  return above > 0 ? static_cast<std::size_t>(above) : 0;
}

}  // namespace sheetpeek::test
