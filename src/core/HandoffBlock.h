// The block a later start hands to the running window: a DROPFILES header followed by the
// names, each ended by a zero byte, and one more zero byte that ends the list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sheetpeek {

// Header fields as written; all 32-bit little-endian.
constexpr std::uint32_t kHandoffHeaderSize = 20;
constexpr std::uint32_t kHandoffDropX = 10;
constexpr std::uint32_t kHandoffDropY = 10;
constexpr std::uint32_t kHandoffNonClient = 1;

// A block larger than this is refused by the reader, and the writer never makes one.
constexpr std::size_t kHandoffMaxBlockSize = 1024 * 1024;

// Writes the block for `names` in order. The list ends at the first empty name (an empty
// name would read back as the list's end); a name is cut at an embedded zero byte. Names
// that would take the block beyond kHandoffMaxBlockSize are left off, so the first names
// still arrive.
std::vector<unsigned char> EncodeHandoffBlock(const std::vector<std::string>& names);

// Reads the names out of a block. The reader accepts any drop point and non-client flag,
// needs the list offset to lie at or after the header and inside the block, and 8-bit
// names (wide flag 0). Every name and the list itself must end with a zero byte inside the
// block; bytes after the list's end are ignored. Anything else, or a block larger than
// kHandoffMaxBlockSize, yields an empty list. Never reads outside [data, data + size).
std::vector<std::string> DecodeHandoffBlock(const unsigned char* data, std::size_t size);

// The same block with 16-bit names (wide flag 1, each name and the list ended by a zero
// 16-bit unit), as the Windows viewer hands it over; the same limits and checks apply.
std::vector<unsigned char> EncodeWideHandoffBlock(const std::vector<std::u16string>& names);
std::vector<std::u16string> DecodeWideHandoffBlock(const unsigned char* data, std::size_t size);

// On the channel a block travels as a frame: four magic bytes, the block's length as a
// 32-bit little-endian number, then the block. The window answers a whole frame with
// kHandoffAnswer once it has acted on the names.
constexpr unsigned char kHandoffMagic[4] = {'S', 'p', 'k', '1'};
constexpr std::size_t kHandoffFrameHeaderSize = 8;
constexpr unsigned char kHandoffAnswer = 0x06;

std::vector<unsigned char> FrameHandoffBlock(const std::vector<unsigned char>& block);

// Collects one frame from bytes that arrive in pieces of any size. Refuses a frame with a
// wrong magic or a length above kHandoffMaxBlockSize at once, before its block arrives, so a
// stranger cannot make the window hold much memory. Bytes after a complete frame are ignored.
class HandoffFrameReader {
 public:
  enum class State { NeedMore, Complete, Refused };

  State Feed(const unsigned char* data, std::size_t size);
  State state() const { return state_; }
  // The block of a complete frame.
  const std::vector<unsigned char>& Block() const { return block_; }

 private:
  State state_ = State::NeedMore;
  unsigned char header_[kHandoffFrameHeaderSize] = {};
  std::size_t headerFill_ = 0;
  std::size_t expected_ = 0;
  std::vector<unsigned char> block_;
};

}  // namespace sheetpeek
