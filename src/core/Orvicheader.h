// Everything the viewer knows about one drawing file's header, read in one step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "FileInput.h"
#include "FolderWalk.h"
#include "PathName.h"
#include "PreviewBitmap.h"

namespace sheetpeek {

struct TDrawingDate {
  std::int32_t Year = 0;
  std::int32_t Month = 0;
  std::int32_t Day = 0;
  std::int32_t Hour = 0;
  std::int32_t Minute = 0;
};

enum TFileKind : std::uint8_t {
  fkUnknown = 0,
  fkAsciiDrawing = 1,
  fkBinaryDrawing = 2,
};

// What a load does with the preview picture: decode it into ImageBitmap, or only check that it
// decodes (HasImage, ImageWidth and ImageHeight as with decoding, ImageBitmap left null) for
// callers that show nothing but its size.
enum class PreviewMode { Decode, CheckOnly };

// Display text of a file kind, code page 932 bytes.
std::string FileKindDisplayText(TFileKind kind);

// The bound of a load that ended its header read. A read that reaches one is broken off like
// any failed read: ReadOk is false and what was stored before it stays.
enum class HeaderLimit : std::uint8_t {
  None,
  HeaderTooLarge,  // the header goes on past COrvicHeader::kMaxHeaderBytes
  RecordTooLarge,  // one record holds more than the reader's field or byte bound
};

// "header too large", "record too large"; empty for None.
const char* HeaderLimitText(HeaderLimit limit);

class COrvicHeader {
 public:
  static constexpr int kItemCount = 20;
  // The header read takes at most the file's first 16 MiB: a real header is a few kilobytes
  // and the largest preview well under 100 KiB, while reading on to the end of a huge or
  // sparse file would cost seconds to hours.
  static constexpr std::uint64_t kMaxHeaderBytes = 16 * 1024 * 1024;
  // The most memory one load holds at any moment, whatever the file. Not enforced: the bounds
  // keep a load below it (at worst about 9 MiB, a record's fields with their buffers), and the
  // hardening tests and the fuzzer check it.
  static constexpr std::size_t kMaxLoadMemory = 16 * 1024 * 1024;

  // Reads the header through CurrentExtractdata, which must be open on `path` and unread.
  explicit COrvicHeader(const std::string& path, PathStyle style = HostPathStyle(),
                        PreviewMode preview = PreviewMode::Decode);
  COrvicHeader(const COrvicHeader&) = delete;
  COrvicHeader& operator=(const COrvicHeader&) = delete;

  std::string DateText(const TDrawingDate& date) const;
  std::string ElementCountText() const;
  std::string FileKindText() const;

  // Palette index of one colour character of the preview's encoded text.
  static int ColorIndex(char c);

  std::int32_t ImageWidth = 0;
  std::int32_t ImageHeight = 0;
  TDrawingDate CreateDate;
  TDrawingDate UpdateDate;
  std::int32_t ElementCount = 0;
  std::string SheetName;
  std::string SizeText;
  std::string ScaleText;
  double SheetWidth = 0;
  double SheetHeight = 0;
  std::int32_t ScaleNumerator = 0;
  std::int32_t ScaleDenominator = 0;
  bool FrameRead = false;  // a "Frame" record has set the four sheet values above
  TFileKind FileKind = fkUnknown;
  std::array<std::string, kItemCount> NoteLabel;
  std::array<std::string, kItemCount> NoteText;
  std::string Path;
  std::string FileName;
  std::string Folder;
  std::unique_ptr<PreviewBitmap> ImageBitmap;
  bool ReadOk = false;
  bool HasImage = false;
  // A record with one of the header's keywords was met: false for a file that is no drawing at all.
  bool HeaderRecordSeen = false;
  // Which bound, if any, broke the read off.
  HeaderLimit LimitReached = HeaderLimit::None;

 private:
  bool ReadHeader();
  void ReadDate(TDrawingDate& date);
  void ReadNote();
  void ReadFrame();
  bool ReadImage();
  // Paints `text` into a new ImageBitmap of width x height; false if it does not decode.
  bool PaintPreview(std::string_view text, int width, int height);

  static constexpr std::size_t kNothingDeferred = static_cast<std::size_t>(-1);
  PreviewMode preview_;
  bool picturePainted_ = false;                    // a picture of this read was painted in ReadImage
  std::size_t deferredLength_ = kNothingDeferred;  // the last decoded picture's text, to be painted
  int deferredWidth_ = 0;                          // and its sides
  int deferredHeight_ = 0;
};

// What one load of a drawing gives: the header, or why the file did not open.
struct LoadResult {
  std::unique_ptr<COrvicHeader> header;  // null when the file did not open
  OpenError error;
};

// Creates a reader for `path`, makes it CurrentExtractdata, opens it and, when it
// opened, builds the header; the reader is gone again when this returns.
LoadResult LoadDrawingHeader(const std::string& path, PathStyle style = HostPathStyle(),
                             PreviewMode preview = PreviewMode::Decode);
// The same from an input that is already open, such as a stream a host hands over; `name`
// stands in for the path in the header's texts. Limits are those of a file.
LoadResult LoadDrawingHeader(std::unique_ptr<RawFile> source, const std::string& name,
                             PathStyle style = HostPathStyle(), PreviewMode preview = PreviewMode::Decode);

// The header of the drawing a step through the folder of `current` leads to: the first in the
// step's direction that opens (one that vanished is passed by); null at either end.
std::unique_ptr<COrvicHeader> LoadSteppedDrawing(const std::string& current, FolderStep step);

}  // namespace sheetpeek
