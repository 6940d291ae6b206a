// libFuzzer harness: arbitrary bytes as a hand-off block, and as name lists through the
// writer and back, and as the bytes of a frame arriving on the channel.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "HandoffWorkout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string bad = sheetpeek::hardening::WorkOutHandoffBlock(bytes);
  if (bad.empty()) bad = sheetpeek::hardening::WorkOutHandoffNames(bytes);
  if (bad.empty()) bad = sheetpeek::hardening::WorkOutHandoffFrame(bytes);
  if (!bad.empty()) {
    std::fprintf(stderr, "broken invariant: %s\n", bad.c_str());
    std::abort();
  }
  return 0;
}
