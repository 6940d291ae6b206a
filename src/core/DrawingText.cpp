#include "DrawingText.h"

#include <string_view>

#include "Cp932.h"

namespace sheetpeek {
namespace {

void AddLine(std::string& out, std::string_view label, std::string_view value) {
  out += label;
  out += ": ";
  out += value;
  out += '\n';
}

}  // namespace

const std::array<HeaderTextField, 6> kHeaderTextFields = {{
    {"作成日時", "create_date",
     [](const COrvicHeader& h, std::string& scratch) -> std::string_view {
       return scratch = h.DateText(h.CreateDate);
     }},
    {"更新日時", "update_date",
     [](const COrvicHeader& h, std::string& scratch) -> std::string_view {
       return scratch = h.DateText(h.UpdateDate);
     }},
    {"要素数", "element_count",
     [](const COrvicHeader& h, std::string& scratch) -> std::string_view {
       return scratch = h.ElementCountText();
     }},
    {"図面サイズ", "size",
     [](const COrvicHeader& h, std::string&) -> std::string_view { return h.SizeText; }},
    {"図面尺度", "scale",
     [](const COrvicHeader& h, std::string&) -> std::string_view { return h.ScaleText; }},
    {"ファイルタイプ", "file_kind",
     [](const COrvicHeader& h, std::string& scratch) -> std::string_view {
       return scratch = h.FileKindText();
     }},
}};

std::string DrawingInfoText(const COrvicHeader& h) {
  std::string out;
  out.reserve(512);
  AddLine(out, "ファイル名", SanitizeUtf8(h.FileName));
  AddLine(out, "フォルダ", SanitizeUtf8(h.Folder));
  std::string scratch;
  for (const HeaderTextField& f : kHeaderTextFields) AddLine(out, f.label, Cp932ToUtf8(f.text(h, scratch)));
  for (std::size_t k = 0; k < COrvicHeader::kItemCount; ++k) {
    if (h.NoteLabel[k].empty() && h.NoteText[k].empty()) continue;
    AddLine(out, Cp932ToUtf8(h.NoteLabel[k]), Cp932ToUtf8(h.NoteText[k]));
  }
  AddLine(
      out, "イメージ",
      h.HasImage ? std::to_string(h.ImageWidth) + "×" + std::to_string(h.ImageHeight) : "イメージデータなし");
  return out;
}

std::string ReadFailureText(const COrvicHeader& header) {
  // A text file or a picture named .cad has none of the header's records.
  return header.HeaderRecordSeen ? "incomplete header" : "no drawing header found";
}

std::string OpenErrorText(const OpenError& error) {
  if (!error.message.empty()) return SanitizeUtf8(error.message);
  switch (error.kind) {
    case OpenError::NotFound:
      return "no such file";
    case OpenError::NotRegular:
      return "not a regular file";
    case OpenError::Denied:
      return "permission denied";
    default:
      return "cannot open";
  }
}

}  // namespace sheetpeek
