// The most memory a piece of code holds at once, counted by operator new. Only programs that
// compile AllocationMeter.cpp in (never through a library, which would slip the counting
// allocator into every program that links it) have their operator new and delete replaced.
#pragma once

#include <cstddef>

namespace sheetpeek::test {

// Counts from its construction: the highest number of bytes, above those live at the start,
// that operator new had handed out and not yet got back. One meter at a time.
class AllocationMeter {
 public:
  AllocationMeter();
  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

  std::size_t PeakBytes() const;

 private:
  long long start_;
};

}  // namespace sheetpeek::test
