#include "HandoffWorkout.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "HandoffBlock.h"

namespace sheetpeek::hardening {

namespace {

std::uint32_t U32At(const std::vector<unsigned char>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

using FrameState = HandoffFrameReader::State;

// Feeds `bytes` in pieces of `piece` bytes (all at once for 0), each piece its own copy so
// that a sanitizer sees any read past it.
HandoffFrameReader FeedInPieces(const std::string& bytes, std::size_t piece) {
  HandoffFrameReader reader;
  if (piece == 0) piece = bytes.size() + 1;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const std::vector<unsigned char> chunk(
        bytes.begin() + static_cast<std::ptrdiff_t>(at),
        bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + piece)));
    reader.Feed(chunk.data(), chunk.size());
  }
  return reader;
}

}  // namespace

std::string WorkOutHandoffFrame(const std::string& bytes) {
  const HandoffFrameReader whole = FeedInPieces(bytes, 0);
  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, 1 + bytes.size() % 13}) {
    const HandoffFrameReader split = FeedInPieces(bytes, piece);
    if (split.state() != whole.state()) return "the verdict depends on how the bytes arrive";
    if (split.state() == FrameState::Complete && split.Block() != whole.Block())
      return "the block depends on how the bytes arrive";
  }
  const std::size_t magicBytes = std::min(bytes.size(), sizeof kHandoffMagic);
  const bool magicOk =
      std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(magicBytes), kHandoffMagic);
  if (!magicOk) return whole.state() == FrameState::Refused ? "" : "a wrong magic was not refused";
  if (bytes.size() < kHandoffFrameHeaderSize)
    return whole.state() == FrameState::NeedMore ? "" : "a cut frame header was judged";
  const std::vector<unsigned char> head(bytes.begin(), bytes.begin() + kHandoffFrameHeaderSize);
  const std::size_t length = U32At(head, 4);
  if (length > kHandoffMaxBlockSize)
    return whole.state() == FrameState::Refused ? "" : "an oversized frame was taken";
  if (bytes.size() - kHandoffFrameHeaderSize < length)
    return whole.state() == FrameState::NeedMore ? "" : "a cut frame was judged";
  if (whole.state() != FrameState::Complete) return "a whole frame was not completed";
  const std::vector<unsigned char> block(
      bytes.begin() + kHandoffFrameHeaderSize,
      bytes.begin() + static_cast<std::ptrdiff_t>(kHandoffFrameHeaderSize + length));
  if (whole.Block() != block) return "the block is not the frame's bytes";
  // The writer's frame for that block reads back as it.
  const std::vector<unsigned char> frame = FrameHandoffBlock(whole.Block());
  HandoffFrameReader again;
  if (again.Feed(frame.data(), frame.size()) != FrameState::Complete || again.Block() != whole.Block())
    return "a written frame does not read back";
  return {};
}

std::string WorkOutHandoffBlock(const std::string& bytes) {
  // A copy of exactly the block's bytes, so that a sanitizer sees any read past it.
  const std::vector<unsigned char> block(bytes.begin(), bytes.end());
  const std::vector<std::string> names = DecodeHandoffBlock(block.data(), block.size());
  if (names.empty()) return {};
  std::size_t listBytes = 1;
  for (const std::string& n : names) {
    if (n.empty()) return "an empty name in the list";
    if (n.find('\0') != std::string::npos) return "a name holds a zero byte";
    listBytes += n.size() + 1;
  }
  if (block.size() > kHandoffMaxBlockSize) return "names from an oversized block";
  if (kHandoffHeaderSize + listBytes > block.size()) return "names need more bytes than the block has";
  const std::vector<unsigned char> again = EncodeHandoffBlock(names);
  if (again.size() != kHandoffHeaderSize + listBytes) return "rewritten block has the wrong size";
  if (DecodeHandoffBlock(again.data(), again.size()) != names) return "names lost in the round trip";
  return {};
}

std::string WorkOutHandoffNames(const std::string& bytes) {
  std::vector<std::string> names(1);
  for (char c : bytes) {
    if (c == '\n')
      names.emplace_back();
    else
      names.back().push_back(c);
  }
  std::vector<std::string> expected;
  for (const std::string& n : names) {
    std::string cut(n.c_str());
    if (cut.empty()) break;
    expected.push_back(cut);
  }
  const std::vector<unsigned char> block = EncodeHandoffBlock(names);
  if (block.size() > kHandoffMaxBlockSize) return "writer made an oversized block";
  if (block.size() < kHandoffHeaderSize + 1) return "writer made a block without its list end";
  if (U32At(block, 0) != kHandoffHeaderSize || U32At(block, 4) != kHandoffDropX ||
      U32At(block, 8) != kHandoffDropY || U32At(block, 12) != kHandoffNonClient || U32At(block, 16) != 0)
    return "writer's header fields";
  if (block.back() != 0) return "block does not end with a zero byte";
  // Short enough lists always fit whole; longer ones keep their first names.
  const std::vector<std::string> back = DecodeHandoffBlock(block.data(), block.size());
  if (back.size() > expected.size() || !std::equal(back.begin(), back.end(), expected.begin()))
    return "written names do not read back";
  if (bytes.size() + kHandoffHeaderSize + 2 <= kHandoffMaxBlockSize && back != expected)
    return "names left off a block that had room";
  return {};
}

}  // namespace sheetpeek::hardening
