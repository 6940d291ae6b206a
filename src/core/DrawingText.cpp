#include "DrawingText.h"

#include "Cp932.h"

namespace sheetpeek {
namespace {

void AddLine(std::string& out, const std::string& label, const std::string& value) {
  out += label;
  out += ": ";
  out += value;
  out += '\n';
}

}  // namespace

std::string DrawingInfoText(const COrvicHeader& h) {
  std::string out;
  out.reserve(512);
  AddLine(out, "ファイル名", SanitizeUtf8(h.FileName));
  AddLine(out, "フォルダ", SanitizeUtf8(h.Folder));
  AddLine(out, "作成日時", Cp932ToUtf8(h.DateText(h.CreateDate)));
  AddLine(out, "更新日時", Cp932ToUtf8(h.DateText(h.UpdateDate)));
  AddLine(out, "要素数", Cp932ToUtf8(h.ElementCountText()));
  AddLine(out, "図面サイズ", Cp932ToUtf8(h.SizeText));
  AddLine(out, "図面尺度", Cp932ToUtf8(h.ScaleText));
  AddLine(out, "ファイルタイプ", Cp932ToUtf8(h.FileKindText()));
  for (std::size_t k = 0; k < COrvicHeader::kItemCount; ++k) {
    if (h.NoteLabel[k].empty() && h.NoteText[k].empty()) continue;
    AddLine(out, Cp932ToUtf8(h.NoteLabel[k]), Cp932ToUtf8(h.NoteText[k]));
  }
  AddLine(
      out, "イメージ",
      h.HasImage ? std::to_string(h.ImageWidth) + "×" + std::to_string(h.ImageHeight) : "イメージデータなし");
  return out;
}

}  // namespace sheetpeek
