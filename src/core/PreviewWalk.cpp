#include "PreviewWalk.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sheetpeek {

namespace {

// Palette index of every byte, so that painting is one load per pixel.
struct ColourTable {
  std::uint8_t index[256];
  constexpr ColourTable() : index() {
    constexpr std::uint8_t kMap[15] = {0, 12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7};
    for (int i = 0; i < 15; ++i) index['0' + i] = kMap[i];
  }
};
constexpr ColourTable kColourTable;

std::uint8_t ColourOf(char c) {
  return kColourTable.index[static_cast<unsigned char>(c)];
}

// "!", double quote and "#" are consecutive bytes: the one-, two- and three-digit run markers.
unsigned RunForm(char c) {
  return static_cast<unsigned char>(c - '!');
}

int SignedByte(char c) {
  return static_cast<signed char>(c);
}

// The item at `pos` onwards, one at a time, continuing a walk that has painted `painted`.
PreviewWalkResult ItemByItem(std::string_view text, std::size_t pos, std::size_t painted, std::size_t total,
                             std::uint8_t* pixels) {
  PreviewWalkResult r;
  while (pos < text.size()) {
    const unsigned form = RunForm(text[pos]);
    const std::size_t digits = form < 3 ? form + 1 : 0;
    long count = 1;
    char colour = text[pos];
    if (digits > 0) {
      // Count digits or colour character beyond the text: decoding ends here.
      if (pos + digits + 1 >= text.size()) break;
      const long b1 = SignedByte(text[pos + 1]) - 33;
      if (digits == 1) count = b1 + 3;
      if (digits == 2) count = 94 * b1 + (SignedByte(text[pos + 2]) - 33) + 98;
      if (digits == 3)
        count = 8836 * b1 + 94 * (SignedByte(text[pos + 2]) - 33) + (SignedByte(text[pos + 3]) - 33) + 8934;
      colour = text[pos + digits + 1];
    }
    for (long k = 0; k < count; ++k) {
      if (painted >= total) {
        r.ok = false;
        return r;
      }
      if (pixels) pixels[painted] = ColourOf(colour);
      ++painted;
    }
    // A run's colour character is not part of it: the next item starts there.
    pos += digits + 1;
  }
  r.painted = painted;
  return r;
}

// The run markers among 64 bytes, bit i for byte i: all of them, those with at least two
// count digits (double quote, "#") and those with three ("#").
struct Markers {
  std::uint64_t any = 0;
  std::uint64_t twoDigits = 0;
  std::uint64_t threeDigits = 0;
};

Markers MarkersPortable(const char* s) {
  Markers m;
  for (unsigned i = 0; i < 64; ++i) {
    const unsigned form = RunForm(s[i]);
    m.any |= std::uint64_t{form < 3} << i;
    m.twoDigits |= std::uint64_t{form - 1 < 2} << i;
    m.threeDigits |= std::uint64_t{form == 2} << i;
  }
  return m;
}

#if defined(__SSE2__)
Markers MarkersSse2(const char* s) {
  const __m128i one = _mm_set1_epi8('!');
  const __m128i two = _mm_set1_epi8('"');
  const __m128i three = _mm_set1_epi8('#');
  Markers m;
  for (unsigned i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * i));
    const __m128i isThree = _mm_cmpeq_epi8(bytes, three);
    const __m128i isLong = _mm_or_si128(_mm_cmpeq_epi8(bytes, two), isThree);
    const __m128i isAny = _mm_or_si128(_mm_cmpeq_epi8(bytes, one), isLong);
    auto bits = [i](__m128i v) {
      return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(v))} << (16 * i);
    };
    m.any |= bits(isAny);
    m.twoDigits |= bits(isLong);
    m.threeDigits |= bits(isThree);
  }
  return m;
}
#endif

unsigned LowestBit(std::uint64_t mask) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(mask));
#else
  unsigned i = 0;
  while ((mask & 1) == 0) mask >>= 1, ++i;
  return i;
#endif
}

// Count of a run from its marker's form and the bytes after it, without a branch per form:
// 1 digit b1 - 30, 2 digits 94 b1 + b2 - 3037, 3 digits 8836 b1 + 94 b2 + b3 - 285789.
struct RunWeights {
  std::int32_t first, second, third, bias;
};
constexpr RunWeights kRunWeights[3] = {{1, 0, 0, -30}, {94, 1, 0, -3037}, {8836, 94, 1, -285789}};

constexpr std::size_t kBlock = 64;
constexpr std::size_t kRunReach = 4;  // bytes a run reads after its marker

// Count of the run whose marker is at `r`, 0 when it paints nothing.
std::int64_t RunPixels(const char* r, unsigned form) {
  const RunWeights& w = kRunWeights[form];
  const std::int32_t count =
      w.first * SignedByte(r[1]) + w.second * SignedByte(r[2]) + w.third * SignedByte(r[3]) + w.bias;
  return count > 0 ? count : 0;
}

// Checking in blocks of 64 bytes. A marker's item covers it and its digits; the next marker
// that starts an item is the lowest one left after clearing those bits, found with a few
// register operations so that consecutive runs overlap in the processor. Each run adds its
// pixels less its length in bytes, every byte counts one pixel: the sum only grows item by
// item, so it passes the picture exactly when some item would paint beyond it.
template <typename MarkersOf>
PreviewWalkResult CheckInBlocks(std::string_view text, std::size_t total, MarkersOf markersOf) {
  const char* const s = text.data();
  const std::size_t n = text.size();
  std::size_t pos = 0;
  std::int64_t runExtra = 0;  // over the runs so far: pixels less bytes; 64 bits cannot overflow
  while (n - pos >= kBlock + kRunReach) {
    const Markers m = markersOf(s + pos);
    std::uint64_t starts = m.any;
    std::size_t end = kBlock;  // where the next block starts, from this one's start
    while (starts != 0) {
      const std::uint64_t low = starts & (~starts + 1);
      starts &= ~(low | low << 1 | (low & m.twoDigits) << 2 | (low & m.threeDigits) << 3);
      const std::size_t at = LowestBit(low);
      const unsigned form = RunForm(s[pos + at]);
      runExtra += RunPixels(s + pos + at, form) - static_cast<std::int64_t>(form + 2);
      end = at + form + 2;
    }
    pos += end > kBlock ? end : kBlock;
  }
  const std::int64_t painted = static_cast<std::int64_t>(pos) + runExtra;
  if (painted > static_cast<std::int64_t>(total)) return PreviewWalkResult{false, 0};
  return ItemByItem(text, pos, static_cast<std::size_t>(painted), total, nullptr);
}

// Painting in blocks of 64 bytes: the plain characters between markers as stretches, each run
// as one store. The last bytes, where a run's digits could lie beyond the text, go item by item.
template <typename MarkersOf>
PreviewWalkResult PaintInBlocks(std::string_view text, std::size_t total, std::uint8_t* pixels,
                                MarkersOf markersOf) {
  constexpr std::size_t kShortRun = 16;
  const char* const s = text.data();
  const std::size_t n = text.size();
  std::size_t pos = 0;
  std::size_t painted = 0;
  const PreviewWalkResult failed{false, 0};
  auto paintPlain = [&](std::size_t from, std::size_t to) {
    std::uint8_t* out = pixels + painted;
    for (std::size_t k = from; k < to; ++k) *out++ = ColourOf(s[k]);
  };
  while (n - pos >= kBlock + kRunReach) {
    const std::size_t base = pos;
    std::uint64_t mask = markersOf(s + base).any;
    while (mask != 0) {
      const std::size_t marker = base + LowestBit(mask);
      if (marker - pos > total - painted) return failed;
      paintPlain(pos, marker);
      painted += marker - pos;
      const unsigned form = RunForm(s[marker]);
      const std::size_t run = static_cast<std::size_t>(RunPixels(s + marker, form));
      if (run > total - painted) return failed;
      const std::uint8_t index = ColourOf(s[marker + form + 2]);
      // Short runs are the commonest: one fixed-size store; what it paints beyond the run is
      // painted again by the items that follow, or left to the caller as undefined.
      std::memset(pixels + painted, index,
                  run <= kShortRun && total - painted >= kShortRun ? kShortRun : run);
      painted += run;
      pos = marker + form + 2;
      const std::size_t next = pos - base;
      mask = next < kBlock ? mask & (~std::uint64_t{0} << next) : 0;
    }
    if (pos < base + kBlock) {
      if (base + kBlock - pos > total - painted) return failed;
      paintPlain(pos, base + kBlock);
      painted += base + kBlock - pos;
      pos = base + kBlock;
    }
  }
  return ItemByItem(text, pos, painted, total, pixels);
}

template <typename MarkersOf>
PreviewWalkResult Walk(std::string_view text, std::size_t total, std::uint8_t* pixels, MarkersOf markersOf) {
  return pixels ? PaintInBlocks(text, total, pixels, markersOf) : CheckInBlocks(text, total, markersOf);
}

}  // namespace

PreviewWalkResult WalkPreview(std::string_view text, std::size_t total, std::uint8_t* pixels) {
#if defined(__SSE2__)
  return Walk(text, total, pixels, MarkersSse2);
#else
  return Walk(text, total, pixels, MarkersPortable);
#endif
}

PreviewWalkResult WalkPreviewPortable(std::string_view text, std::size_t total, std::uint8_t* pixels) {
  return Walk(text, total, pixels, MarkersPortable);
}

PreviewWalkResult WalkPreviewReference(std::string_view text, std::size_t total, std::uint8_t* pixels) {
  return ItemByItem(text, 0, 0, total, pixels);
}

int PreviewColourIndex(char c) {
  return ColourOf(c);
}

}  // namespace sheetpeek
