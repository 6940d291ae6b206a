#include "PreviewWalk.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// AVX2 where the processor has it, chosen when the program runs. Not on Windows, where the
// compiler does not align the stack for 32-byte values.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define SHEETPEEK_WALK_AVX2 1
#include <immintrin.h>
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

// The item at `pos` onwards, one at a time, continuing a walk that has painted `painted`; one
// pixel at a time too, unless only checking with `countRuns`.
PreviewWalkResult ItemByItem(std::string_view text, std::size_t pos, std::size_t painted, std::size_t total,
                             std::uint8_t* pixels, bool countRuns = false) {
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
    if (pixels || !countRuns) {
      for (long k = 0; k < count; ++k) {
        if (painted >= total) {
          r.ok = false;
          return r;
        }
        if (pixels) pixels[painted] = ColourOf(colour);
        ++painted;
      }
    } else if (count > 0) {
      // Checking only: a long run costs what a short one does.
      if (static_cast<std::size_t>(count) > total - painted) {
        r.ok = false;
        return r;
      }
      painted += static_cast<std::size_t>(count);
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

// Set bits of `mask`, by halves in parallel: without a population-count instruction in the
// baseline instruction set, the compiler's built-in would be a library call.
std::int64_t BitCount(std::uint64_t mask) {
  mask -= (mask >> 1) & 0x5555555555555555u;
  mask = (mask & 0x3333333333333333u) + ((mask >> 2) & 0x3333333333333333u);
  mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<std::int64_t>((mask * 0x0101010101010101u) >> 56);
}

// Over the one-digit runs starting at the bits of `starts` in a block at `s`: their pixels less
// their bytes (2 each), that is the sum of their digits less 32 each; false when a digit is below
// 31, where the count is no longer the digit less 30.
bool OneDigitRunsExtraPortable(const char* s, std::uint64_t starts, std::int64_t& extra) {
  std::int64_t sum = 0;
  bool fine = true;
  for (; starts != 0; starts &= starts - 1) {
    const int digit = SignedByte(s[LowestBit(starts) + 1]);
    fine = fine && digit >= 31;
    sum += digit - 32;
  }
  extra = sum;
  return fine;
}

#if defined(__SSE2__)
// Bits 16 part to 16 part + 15 of `mask` spread to one byte each, all ones where set.
__m128i SpreadBits(std::uint64_t mask, unsigned part) {
  const __m128i bit = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
  // The low 8 bits over bytes 0-7, the high 8 over bytes 8-15.
  __m128i spread = _mm_cvtsi32_si128(static_cast<int>((mask >> (16 * part)) & 0xFFFF));
  spread = _mm_unpacklo_epi8(spread, spread);
  spread = _mm_unpacklo_epi16(spread, spread);
  spread = _mm_unpacklo_epi32(spread, spread);
  return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
}

bool OneDigitRunsExtraSse2(const char* s, std::uint64_t starts, std::int64_t& extra) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i below = _mm_set1_epi8(31);
  __m128i sum = zero;
  __m128i bad = zero;
  for (unsigned i = 0; i < 4; ++i) {
    const __m128i digits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 1 + 16 * i));
    const __m128i select = SpreadBits(starts, i);
    bad = _mm_or_si128(bad, _mm_and_si128(_mm_cmplt_epi8(digits, below), select));
    // Digits below 31 spoil the sums, but then the sums are not used.
    sum = _mm_add_epi64(sum, _mm_sad_epu8(_mm_and_si128(digits, select), zero));
  }
  sum = _mm_add_epi64(sum, _mm_unpackhi_epi64(sum, sum));
  extra = static_cast<std::int64_t>(_mm_cvtsi128_si64(sum)) - 32 * BitCount(starts);
  return _mm_movemask_epi8(bad) == 0;
}
#endif

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

// The markers among `any` that would start runs were every run one digit long, the first
// of them at an item's start: each would cover just the byte after it, so in a stretch of
// consecutive markers every second one from the stretch's first starts an item, found for all
// stretches at once with one addition.
std::uint64_t OneDigitRunStarts(std::uint64_t any) {
  constexpr std::uint64_t kEven = 0x5555555555555555u;
  const std::uint64_t firsts = any & ~(any << 1);
  const std::uint64_t fromEven = any & ~(any + (firsts & kEven));
  return (fromEven & kEven) | (any & ~fromEven & ~kEven);
}

// The markers of a block that start runs, the block starting at an item, and in `cover` how
// many bytes after the block the last run still covers; `guess` is the one-digit guess over
// the whole block. That guess holds up to its first longer run, which does start there; after
// that run the guess is made again, so a block costs one step per longer run.
std::uint64_t RunStarts(const Markers& m, std::uint64_t guess, unsigned& cover) {
  std::uint64_t starts = 0;
  std::uint64_t any = m.any;  // the markers from the current item on
  for (;;) {
    const std::uint64_t longer = guess & m.twoDigits;
    if (longer == 0) {
      cover = static_cast<unsigned>(guess >> 63);
      return starts | guess;
    }
    const std::uint64_t first = longer & (~longer + 1);
    starts |= guess & ((first << 1) - 1);
    const unsigned digits = (first & m.threeDigits) != 0 ? 3 : 2;
    const unsigned after = LowestBit(first) + 1 + digits;
    if (after >= kBlock) {
      cover = after - static_cast<unsigned>(kBlock);
      return starts;
    }
    any &= ~std::uint64_t{0} << after;
    guess = OneDigitRunStarts(any);
  }
}

// Over the runs starting at the bits of `starts` in a block at `s`: their pixels less their bytes.
std::int64_t RunsExtraOneByOne(const char* s, std::uint64_t starts) {
  std::int64_t extra = 0;
  for (; starts != 0; starts &= starts - 1) {
    const char* r = s + LowestBit(starts);
    const unsigned form = RunForm(*r);
    extra += RunPixels(r, form) - static_cast<std::int64_t>(form + 2);
  }
  return extra;
}

bool RunsExtraPortable(const char* s, std::uint64_t starts, const Markers&, std::int64_t& extra) {
  extra = RunsExtraOneByOne(s, starts);
  return true;
}

#if defined(__SSE2__)
// The sums of the digits of all runs at once, digit place by digit place and form by form, the
// three-digit form only when there is one: false when a digit is below 33 (or above 127),
// where a count may be 0 or less and is clamped.
template <bool kLongest>
bool RunDigitSumsSse2(const char* s, std::uint64_t starts, std::int64_t& weighted) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i below = _mm_set1_epi8(33);
  // Sums of the first digits of all runs, of the two- and three-digit ones and of the
  // three-digit ones; of the second digits of the latter two; of the third digits.
  __m128i first = zero, firstLong = zero, firstLongest = zero, second = zero, secondLongest = zero,
          third = zero, bad = zero;
  auto sum = [zero](__m128i& to, __m128i bytes, __m128i select) {
    to = _mm_add_epi64(to, _mm_sad_epu8(_mm_and_si128(bytes, select), zero));
  };
  for (unsigned i = 0; i < 4; ++i) {
    const char* part = s + 16 * i;
    const __m128i markers = _mm_loadu_si128(reinterpret_cast<const __m128i*>(part));
    const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(part + 1));
    const __m128i d2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(part + 2));
    const __m128i isAny = SpreadBits(starts, i);
    const __m128i isLongest =
        kLongest ? _mm_and_si128(isAny, _mm_cmpeq_epi8(markers, _mm_set1_epi8('#'))) : zero;
    const __m128i isLong =
        _mm_or_si128(_mm_and_si128(isAny, _mm_cmpeq_epi8(markers, _mm_set1_epi8('"'))), isLongest);
    bad = _mm_or_si128(bad, _mm_and_si128(_mm_cmplt_epi8(d1, below), isAny));
    bad = _mm_or_si128(bad, _mm_and_si128(_mm_cmplt_epi8(d2, below), isLong));
    sum(first, d1, isAny);
    sum(firstLong, d1, isLong);
    sum(second, d2, isLong);
    if (kLongest) {
      const __m128i d3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(part + 3));
      bad = _mm_or_si128(bad, _mm_and_si128(_mm_cmplt_epi8(d3, below), isLongest));
      sum(firstLongest, d1, isLongest);
      sum(secondLongest, d2, isLongest);
      sum(third, d3, isLongest);
    }
  }
  auto total = [](__m128i v) {
    return static_cast<std::int64_t>(_mm_cvtsi128_si64(_mm_add_epi64(v, _mm_unpackhi_epi64(v, v))));
  };
  weighted = total(first) + 93 * total(firstLong) + total(second);
  if (kLongest) weighted += 8742 * total(firstLongest) + 93 * total(secondLongest) + total(third);
  return _mm_movemask_epi8(bad) == 0;
}

bool RunsExtraSse2(const char* s, std::uint64_t starts, const Markers& m, std::int64_t& extra) {
  const std::uint64_t longest = starts & m.threeDigits;
  std::int64_t weighted = 0;
  const bool fine = longest != 0 ? RunDigitSumsSse2<true>(s, starts, weighted)
                                 : RunDigitSumsSse2<false>(s, starts, weighted);
  // Per run, pixels less bytes: one digit b1 - 32, two 94 b1 + b2 - 3040, three
  // 8836 b1 + 94 b2 + b3 - 285793.
  extra =
      weighted - 32 * BitCount(starts) - 3008 * BitCount(starts & m.twoDigits) - 282753 * BitCount(longest);
  return fine;
}
#endif

// Checking in blocks of 64 bytes. A marker's item covers it and its digits. Each run adds its
// pixels less its length in bytes, every byte counts one pixel: the sum only grows item by
// item, so it passes the picture exactly when some item would paint beyond it. Which markers
// start runs depends only on the markers; the runs' pixels are summed for the whole block at
// once, or run by run where a digit is out of the ordinary range.
template <typename Kit>
PreviewWalkResult CheckInBlocks(std::string_view text, std::size_t total) {
  const char* const s = text.data();
  const std::size_t n = text.size();
  std::size_t pos = 0;
  std::int64_t runExtra = 0;  // over the runs so far: pixels less bytes; 64 bits cannot overflow
  while (n - pos >= kBlock + kRunReach) {
    const char* const block = s + pos;
    const Markers m = Kit::MarkersOf(block);
    if (m.any == 0) {
      pos += kBlock;
      continue;
    }
    // Most blocks hold only one-digit runs: the guess's first step is then the answer.
    std::uint64_t starts = OneDigitRunStarts(m.any);
    unsigned cover = static_cast<unsigned>(starts >> 63);  // bytes after the block its last run covers
    std::int64_t extra = 0;
    bool summed;
    if ((starts & m.twoDigits) == 0) {
      summed = Kit::OneDigitRunsExtra(block, starts, extra);
    } else {
      starts = RunStarts(m, starts, cover);
      summed = Kit::RunsExtra(block, starts, m, extra);
    }
    runExtra += summed ? extra : RunsExtraOneByOne(block, starts);
    pos += kBlock + cover;
  }
  const std::int64_t painted = static_cast<std::int64_t>(pos) + runExtra;
  if (painted > static_cast<std::int64_t>(total)) return PreviewWalkResult{false, 0};
  return ItemByItem(text, pos, static_cast<std::size_t>(painted), total, nullptr, true);
}

// Painting, item by item but with the commonest items cheap: a stretch of plain characters in
// one loop, bounded once; one branch per run form, each moving on by a constant, so that finding
// the next item does not wait for the marker's byte; short runs as one fixed-size store.
// (Blocks of markers do not pay here: a run's pixels cost more than finding it.)
PreviewWalkResult PaintByStretches(std::string_view text, std::size_t total, std::uint8_t* pixels) {
  constexpr std::size_t kShortRun = 16;
  const PreviewWalkResult failed{false, 0};
  const char* const s = text.data();
  const std::size_t end = text.size();
  std::size_t pos = 0;
  std::size_t pixel = 0;
  auto digit = [s](std::size_t at) { return static_cast<long>(SignedByte(s[at])) - 33; };
  while (pos < end) {
    const char first = s[pos];
    if (RunForm(first) >= 3) {
      const std::size_t room = std::min(end - pos, total - pixel);
      std::uint8_t* out = pixels + pixel;
      std::size_t k = 0;
      for (; k < room && RunForm(s[pos + k]) >= 3; ++k) out[k] = ColourOf(s[pos + k]);
      pos += k;
      pixel += k;
      // A plain character with every pixel painted: beyond the picture.
      if (pos < end && RunForm(s[pos]) >= 3) return failed;
      continue;
    }
    // Digits or colour character beyond the text: decoding ends here.
    long count;
    char colour;
    if (first == '!') {
      if (end - pos <= 2) break;
      count = digit(pos + 1) + 3;
      colour = s[pos + 2];
      pos += 2;
    } else if (first == '"') {
      if (end - pos <= 3) break;
      count = 94L * digit(pos + 1) + digit(pos + 2) + 98;
      colour = s[pos + 3];
      pos += 3;
    } else {
      if (end - pos <= 4) break;
      count = 8836L * digit(pos + 1) + 94L * digit(pos + 2) + digit(pos + 3) + 8934;
      colour = s[pos + 4];
      pos += 4;
    }
    if (count <= 0) continue;
    std::size_t n = static_cast<std::size_t>(count);
    // The colour character then paints one more pixel as a plain item; taking it here fails
    // exactly where the plain item would.
    if (RunForm(colour) >= 3) {
      ++n;
      ++pos;
    }
    if (n > total - pixel) return failed;
    const std::uint8_t index = ColourOf(colour);
    // What the fixed-size store paints beyond the run is painted again by the items that
    // follow, or left to the caller as undefined.
    if (n <= kShortRun && total - pixel >= kShortRun)
      std::memset(pixels + pixel, index, kShortRun);
    else
      std::memset(pixels + pixel, index, n);
    pixel += n;
  }
  return PreviewWalkResult{true, pixel};
}

#if defined(SHEETPEEK_WALK_AVX2)
__attribute__((target("avx2"))) Markers MarkersAvx2(const char* s) {
  const __m256i one = _mm256_set1_epi8('!');
  const __m256i two = _mm256_set1_epi8('"');
  const __m256i three = _mm256_set1_epi8('#');
  Markers m;
  for (unsigned i = 0; i < 2; ++i) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * i));
    const __m256i isThree = _mm256_cmpeq_epi8(bytes, three);
    const __m256i isLong = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, two), isThree);
    const __m256i isAny = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, one), isLong);
    m.any |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(isAny))} << (32 * i);
    m.twoDigits |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(isLong))} << (32 * i);
    m.threeDigits |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(isThree))} << (32 * i);
  }
  return m;
}

// Bits 32 part to 32 part + 31 of `mask` spread to one byte each, all ones where set.
__attribute__((target("avx2"))) __m256i SpreadBitsAvx2(std::uint64_t mask, unsigned part) {
  // Every 32-bit element holds the bits; byte j of the result takes byte j / 8 of them.
  const __m256i bits = _mm256_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(mask >> (32 * part))));
  const __m256i pick = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2,
                                        2, 3, 3, 3, 3, 3, 3, 3, 3);
  const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201u));
  return _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(bits, pick), bit), bit);
}

__attribute__((target("avx2,popcnt"))) bool OneDigitRunsExtraAvx2(const char* s, std::uint64_t starts,
                                                                  std::int64_t& extra) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i below = _mm256_set1_epi8(31);
  __m256i sum = zero;
  __m256i bad = zero;
  for (unsigned i = 0; i < 2; ++i) {
    const __m256i digits = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 1 + 32 * i));
    const __m256i select = SpreadBitsAvx2(starts, i);
    bad = _mm256_or_si256(bad, _mm256_and_si256(_mm256_cmpgt_epi8(below, digits), select));
    sum = _mm256_add_epi64(sum, _mm256_sad_epu8(_mm256_and_si256(digits, select), zero));
  }
  __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
  half = _mm_add_epi64(half, _mm_unpackhi_epi64(half, half));
  extra = static_cast<std::int64_t>(_mm_cvtsi128_si64(half)) - 32 * _mm_popcnt_u64(starts);
  return _mm256_movemask_epi8(bad) == 0;
}

// The sums of RunDigitSumsSse2 for blocks without a three-digit run, which are nearly all.
__attribute__((target("avx2,popcnt"))) bool RunsExtraAvx2(const char* s, std::uint64_t starts,
                                                          const Markers& m, std::int64_t& extra) {
  if ((starts & m.threeDigits) != 0) return RunsExtraSse2(s, starts, m, extra);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i below = _mm256_set1_epi8(33);
  __m256i first = zero, firstLong = zero, second = zero, bad = zero;
  for (unsigned i = 0; i < 2; ++i) {
    const char* part = s + 32 * i;
    const __m256i markers = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(part));
    const __m256i d1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(part + 1));
    const __m256i d2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(part + 2));
    const __m256i isAny = SpreadBitsAvx2(starts, i);
    const __m256i isLong = _mm256_and_si256(isAny, _mm256_cmpeq_epi8(markers, _mm256_set1_epi8('"')));
    bad = _mm256_or_si256(bad, _mm256_and_si256(_mm256_cmpgt_epi8(below, d1), isAny));
    bad = _mm256_or_si256(bad, _mm256_and_si256(_mm256_cmpgt_epi8(below, d2), isLong));
    first = _mm256_add_epi64(first, _mm256_sad_epu8(_mm256_and_si256(d1, isAny), zero));
    firstLong = _mm256_add_epi64(firstLong, _mm256_sad_epu8(_mm256_and_si256(d1, isLong), zero));
    second = _mm256_add_epi64(second, _mm256_sad_epu8(_mm256_and_si256(d2, isLong), zero));
  }
  // first + 93 firstLong + second, summed over the four 64-bit parts.
  const __m256i weighted =
      _mm256_add_epi64(_mm256_add_epi64(first, second), _mm256_mul_epu32(firstLong, _mm256_set1_epi64x(93)));
  __m128i half = _mm_add_epi64(_mm256_castsi256_si128(weighted), _mm256_extracti128_si256(weighted, 1));
  half = _mm_add_epi64(half, _mm_unpackhi_epi64(half, half));
  extra = static_cast<std::int64_t>(_mm_cvtsi128_si64(half)) - 32 * _mm_popcnt_u64(starts) -
          3008 * _mm_popcnt_u64(starts & m.twoDigits);
  return _mm256_movemask_epi8(bad) == 0;
}
#endif

struct PortableKit {
  static Markers MarkersOf(const char* s) { return MarkersPortable(s); }
  static bool OneDigitRunsExtra(const char* s, std::uint64_t starts, std::int64_t& extra) {
    return OneDigitRunsExtraPortable(s, starts, extra);
  }
  static bool RunsExtra(const char* s, std::uint64_t starts, const Markers& m, std::int64_t& extra) {
    return RunsExtraPortable(s, starts, m, extra);
  }
};

#if defined(__SSE2__)
struct Sse2Kit {
  static Markers MarkersOf(const char* s) { return MarkersSse2(s); }
  static bool OneDigitRunsExtra(const char* s, std::uint64_t starts, std::int64_t& extra) {
    return OneDigitRunsExtraSse2(s, starts, extra);
  }
  static bool RunsExtra(const char* s, std::uint64_t starts, const Markers& m, std::int64_t& extra) {
    return RunsExtraSse2(s, starts, m, extra);
  }
};
using HostKit = Sse2Kit;
#else
using HostKit = PortableKit;
#endif

#if defined(SHEETPEEK_WALK_AVX2)
struct Avx2Kit {
  static Markers MarkersOf(const char* s) { return MarkersAvx2(s); }
  static bool OneDigitRunsExtra(const char* s, std::uint64_t starts, std::int64_t& extra) {
    return OneDigitRunsExtraAvx2(s, starts, extra);
  }
  static bool RunsExtra(const char* s, std::uint64_t starts, const Markers& m, std::int64_t& extra) {
    return RunsExtraAvx2(s, starts, m, extra);
  }
};

bool HostHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  return has;
}
#endif

template <typename Kit>
PreviewWalkResult Walk(std::string_view text, std::size_t total, std::uint8_t* pixels) {
  return pixels ? PaintByStretches(text, total, pixels) : CheckInBlocks<Kit>(text, total);
}

}  // namespace

PreviewWalkResult WalkPreview(std::string_view text, std::size_t total, std::uint8_t* pixels) {
#if defined(SHEETPEEK_WALK_AVX2)
  if (HostHasAvx2()) return Walk<Avx2Kit>(text, total, pixels);
#endif
  return Walk<HostKit>(text, total, pixels);
}

std::vector<PreviewWalkFunction> PreviewBlockWalks() {
  std::vector<PreviewWalkFunction> walks{&Walk<PortableKit>};
#if defined(__SSE2__)
  walks.push_back(&Walk<Sse2Kit>);
#endif
#if defined(SHEETPEEK_WALK_AVX2)
  if (HostHasAvx2()) walks.push_back(&Walk<Avx2Kit>);
#endif
  return walks;
}

PreviewWalkResult WalkPreviewReference(std::string_view text, std::size_t total, std::uint8_t* pixels) {
  return ItemByItem(text, 0, 0, total, pixels);
}

int PreviewColourIndex(char c) {
  return ColourOf(c);
}

}  // namespace sheetpeek
