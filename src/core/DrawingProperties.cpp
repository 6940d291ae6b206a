#include "DrawingProperties.h"

#include <string_view>

#include "Cp932.h"

namespace sheetpeek {
namespace {

// Labels as code page 932 bytes: 図面名, 図面番号, 工事名.
constexpr std::string_view kTitleLabel = "\x90\x7d\x96\xca\x96\xbc";
constexpr std::string_view kNumberLabel = "\x90\x7d\x96\xca\x94\xd4\x8d\x86";
constexpr std::string_view kProjectLabel = "\x8d\x48\x8e\x96\x96\xbc";

bool IsLeapYear(std::int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::optional<TDrawingDate> RealDate(const TDrawingDate& date) {
  if (!IsRealDate(date)) return std::nullopt;
  return date;
}

}  // namespace

bool IsRealDate(const TDrawingDate& d) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.Year < 1601 || d.Year > 9999 || d.Month < 1 || d.Month > 12 || d.Day < 1) return false;
  const int days = kDays[d.Month - 1] + (d.Month == 2 && IsLeapYear(d.Year) ? 1 : 0);
  return d.Day <= days && d.Hour >= 0 && d.Hour <= 23 && d.Minute >= 0 && d.Minute <= 59;
}

DrawingProperties PropertiesOf(const COrvicHeader& h) {
  DrawingProperties p;
  std::string firstText;
  for (std::size_t k = 0; k < COrvicHeader::kItemCount; ++k) {
    const std::string& label = h.NoteLabel[k];
    const std::string& text = h.NoteText[k];
    if (label.empty() && text.empty()) continue;
    const std::string utf8Text = Cp932ToUtf8(text);
    if (!text.empty()) {
      p.keywords.push_back(utf8Text);
      if (firstText.empty()) firstText = utf8Text;
    }
    if (!p.comment.empty()) p.comment += "\r\n";
    p.comment += Cp932ToUtf8(label);
    p.comment += ": ";
    p.comment += utf8Text;
    // The first item of a label counts, as the eye reads the window from the top.
    if (label == kTitleLabel && p.title.empty()) p.title = utf8Text;
    if (label == kNumberLabel && p.drawingNumber.empty()) p.drawingNumber = utf8Text;
    if (label == kProjectLabel && p.projectName.empty()) p.projectName = utf8Text;
  }
  if (p.title.empty()) p.title = firstText;
  p.created = RealDate(h.CreateDate);
  p.saved = RealDate(h.UpdateDate);
  p.sheetSize = Cp932ToUtf8(h.SizeText);
  p.scale = Cp932ToUtf8(h.ScaleText);
  p.fileKind = Cp932ToUtf8(h.FileKindText());
  if (h.ElementCount >= 0) p.elementCount = static_cast<std::uint32_t>(h.ElementCount);
  return p;
}

}  // namespace sheetpeek
