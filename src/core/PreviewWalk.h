// The walk over a preview's run-length encoded text: how many pixels it paints and, when asked,
// their palette indices. One plain walk, item by item, states the rules; the fast walks that
// loads use (checking in blocks of 64 characters, painting stretch by stretch) give the same
// results and are checked against it by the tests and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sheetpeek {

struct PreviewWalkResult {
  bool ok = true;           // false: an item would paint a pixel beyond the picture
  std::size_t painted = 0;  // pixels painted, in picture order from the first; meaningful when ok
};

// Walks `text` over a picture of `total` pixels. With `pixels` (room for `total` bytes) the
// painted pixels get their palette indices; bytes from `painted` on are left undefined (the
// walk may write there). Without `pixels` the text is only checked, in blocks.
PreviewWalkResult WalkPreview(std::string_view text, std::size_t total, std::uint8_t* pixels);

// Every form of the same walks that this build holds and this processor runs: plain C++ (what
// WalkPreview is without vector instructions) and each level of vector instructions that
// WalkPreview may choose, for the tests to hold against the walk item by item.
using PreviewWalkFunction = PreviewWalkResult (*)(std::string_view, std::size_t, std::uint8_t*);
std::vector<PreviewWalkFunction> PreviewBlockWalks();

// One item at a time, one pixel at a time: the rules as they stand.
PreviewWalkResult WalkPreviewReference(std::string_view text, std::size_t total, std::uint8_t* pixels);

// Palette index of one colour character.
int PreviewColourIndex(char c);

}  // namespace sheetpeek
