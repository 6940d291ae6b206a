#include "HandoffBlock.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>

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

namespace {

// One unit of a name: a byte, or a 16-bit character stored little-endian.
template <typename Char>
void PutUnit(std::vector<unsigned char>& out, Char c) {
  const auto u = static_cast<std::make_unsigned_t<Char>>(c);
  for (std::size_t b = 0; b < sizeof(Char); ++b) out.push_back(static_cast<unsigned char>(u >> (8 * b)));
}

template <typename Char>
Char GetUnit(const unsigned char* p) {
  std::uint32_t u = 0;
  for (std::size_t b = 0; b < sizeof(Char); ++b) u |= static_cast<std::uint32_t>(p[b]) << (8 * b);
  return static_cast<Char>(u);
}

template <typename Char>
std::vector<unsigned char> Encode(const std::vector<std::basic_string<Char>>& names) {
  constexpr std::size_t kUnit = sizeof(Char);
  std::vector<unsigned char> block;
  block.reserve(kHandoffHeaderSize + kUnit);
  PutU32(block, kHandoffHeaderSize);
  PutU32(block, kHandoffDropX);
  PutU32(block, kHandoffDropY);
  PutU32(block, kHandoffNonClient);
  PutU32(block, kUnit == 1 ? 0 : 1);
  for (const std::basic_string<Char>& name : names) {
    const std::size_t length = std::min(name.find(Char(0)), name.size());  // up to an embedded zero
    if (length == 0) break;
    // The name, its zero and the list's final zero must fit.
    if ((length + 2) * kUnit > kHandoffMaxBlockSize - block.size()) break;
    for (std::size_t i = 0; i < length; ++i) PutUnit(block, name[i]);
    PutUnit(block, Char(0));
  }
  PutUnit(block, Char(0));
  return block;
}

template <typename Char>
std::vector<std::basic_string<Char>> Decode(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kUnit = sizeof(Char);
  std::vector<std::basic_string<Char>> names;
  if (data == nullptr || size < kHandoffHeaderSize || size > kHandoffMaxBlockSize) return names;
  const std::uint32_t listOffset = GetU32(data);
  const std::uint32_t wide = GetU32(data + 16);
  if (listOffset < kHandoffHeaderSize || listOffset >= size || wide != (kUnit == 1 ? 0u : 1u)) return names;

  std::basic_string<Char> name;
  for (std::size_t pos = listOffset; pos + kUnit <= size; pos += kUnit) {
    const Char c = GetUnit<Char>(data + pos);
    if (c != 0) {
      name.push_back(c);
    } else if (name.empty()) {
      return names;  // the list's final zero
    } else {
      names.push_back(std::move(name));
      name.clear();
    }
  }
  // Ran off the block before the list ended.
  names.clear();
  return names;
}

}  // namespace

std::vector<unsigned char> EncodeHandoffBlock(const std::vector<std::string>& names) {
  return Encode(names);
}

std::vector<std::string> DecodeHandoffBlock(const unsigned char* data, std::size_t size) {
  return Decode<char>(data, size);
}

std::vector<unsigned char> EncodeWideHandoffBlock(const std::vector<std::u16string>& names) {
  return Encode(names);
}

std::vector<std::u16string> DecodeWideHandoffBlock(const unsigned char* data, std::size_t size) {
  return Decode<char16_t>(data, size);
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
