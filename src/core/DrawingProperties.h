// A drawing's header as the values Explorer lists in its Details columns and Windows Search
// indexes: the mapping every property handler wraps, in UTF-8, free of any platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Orvicheader.h"

namespace sheetpeek {

struct DrawingProperties {
  std::string title;                  // the item labelled 図面名, else the first item text
  std::vector<std::string> keywords;  // every non-empty item text, item 1 first
  std::string comment;                // "label: text" per item with either, lines ending "\r\n" but the last
  // The office's local time, as recorded; only real calendar dates (IsRealDate).
  std::optional<TDrawingDate> created;
  std::optional<TDrawingDate> saved;
  std::string drawingNumber;  // the item labelled 図面番号
  std::string projectName;    // the item labelled 工事名
  std::string sheetSize;      // the window's texts
  std::string scale;
  std::string fileKind;
  std::optional<std::uint32_t> elementCount;  // none when the count read is negative
};

// Whether `date` names a real minute between the years 1601 and 9999 (what a FILETIME and
// SYSTEMTIME hold): month 1 to 12, the month's days, leap years, hour 0 to 23, minute 0 to 59.
bool IsRealDate(const TDrawingDate& date);

DrawingProperties PropertiesOf(const COrvicHeader& header);

}  // namespace sheetpeek
