#include "HandoffBlock.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace sheetpeek {

namespace {

void PutU32(std::vector<unsigned char>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

std::uint32_t GetU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::vector<unsigned char> EncodeHandoffBlock(const std::vector<std::string>& names) {
  std::vector<unsigned char> block;
  block.reserve(kHandoffHeaderSize + 1);
  PutU32(block, kHandoffHeaderSize);
  PutU32(block, kHandoffDropX);
  PutU32(block, kHandoffDropY);
  PutU32(block, kHandoffNonClient);
  PutU32(block, 0);  // 8-bit names
  for (const std::string& name : names) {
    const std::size_t length = std::strlen(name.c_str());  // up to an embedded zero byte
    if (length == 0) break;
    // The name, its zero byte and the list's final zero byte must fit.
    if (length + 2 > kHandoffMaxBlockSize - block.size()) break;
    block.insert(block.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
    block.push_back(0);
  }
  block.push_back(0);
  return block;
}

std::vector<std::string> DecodeHandoffBlock(const unsigned char* data, std::size_t size) {
  std::vector<std::string> names;
  if (data == nullptr || size < kHandoffHeaderSize || size > kHandoffMaxBlockSize) return names;
  const std::uint32_t listOffset = GetU32(data);
  const std::uint32_t wide = GetU32(data + 16);
  if (listOffset < kHandoffHeaderSize || listOffset >= size || wide != 0) return names;

  std::size_t pos = listOffset;
  while (pos < size) {
    const void* end = std::memchr(data + pos, 0, size - pos);
    if (end == nullptr) break;  // a name without its zero byte
    const std::size_t length = static_cast<const unsigned char*>(end) - (data + pos);
    if (length == 0) return names;  // the list's final zero byte
    names.emplace_back(reinterpret_cast<const char*>(data + pos), length);
    pos += length + 1;
  }
  // Ran off the block before the list ended.
  names.clear();
  return names;
}

std::vector<unsigned char> FrameHandoffBlock(const std::vector<unsigned char>& block) {
  std::vector<unsigned char> frame(std::begin(kHandoffMagic), std::end(kHandoffMagic));
  PutU32(frame, static_cast<std::uint32_t>(block.size()));
  frame.insert(frame.end(), block.begin(), block.end());
  return frame;
}

HandoffFrameReader::State HandoffFrameReader::Feed(const unsigned char* data, std::size_t size) {
  if (state_ != State::NeedMore || data == nullptr) return state_;
  if (headerFill_ < kHandoffFrameHeaderSize) {
    const std::size_t take = std::min(size, kHandoffFrameHeaderSize - headerFill_);
    std::memcpy(header_ + headerFill_, data, take);
    headerFill_ += take;
    data += take;
    size -= take;
    // Check the magic as soon as its bytes are in, so garbage is refused early.
    if (std::memcmp(header_, kHandoffMagic, std::min(headerFill_, sizeof kHandoffMagic)) != 0) {
      return state_ = State::Refused;
    }
    if (headerFill_ < kHandoffFrameHeaderSize) return state_;
    expected_ = GetU32(header_ + 4);
    if (expected_ > kHandoffMaxBlockSize) return state_ = State::Refused;
    block_.reserve(expected_);
  }
  const std::size_t take = std::min(size, expected_ - block_.size());
  block_.insert(block_.end(), data, data + take);
  if (block_.size() == expected_) state_ = State::Complete;
  return state_;
}

}  // namespace sheetpeek
