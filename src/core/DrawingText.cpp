#include "DrawingText.h"

#include <string_view>

#include "Cp932.h"

namespace sheetpeek {
namespace {

// The bytes that may begin a control character: C0, DEL, and the lead byte of U+0080 to U+00BF.
struct ControlLeads {
  bool lead[256];
  constexpr ControlLeads() : lead() {
    for (int c = 0; c < 0x20; ++c) lead[c] = true;
    lead[0x7F] = true;
    lead[0xC2] = true;
  }
};
constexpr ControlLeads kControlLeads;

void AddLine(std::string& out, std::string_view label, std::string_view value) {
  AppendVisible(out, label);
  out += ": ";
  AppendVisible(out, value);
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

void AppendVisible(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t plain = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto code = static_cast<unsigned char>(utf8[i]);
    if (!kControlLeads.lead[code]) continue;
    std::size_t length = 1;
    if (code == 0xC2) {
      const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0u;
      if (next < 0x80 || next > 0x9F) continue;  // U+00A0 to U+00BF: printable
      code = static_cast<unsigned char>(next);
      length = 2;
    }
    out.append(utf8.data() + plain, i - plain);
    const char escape[] = {'\\', 'x', kHex[code >> 4], kHex[code & 0x0F]};
    out.append(escape, sizeof escape);
    i += length - 1;
    plain = i + 1;
  }
  out.append(utf8.data() + plain, utf8.size() - plain);
}

std::string VisibleText(std::string_view utf8) {
  std::string out;
  AppendVisible(out, utf8);
  return out;
}

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
  if (header.LimitReached != HeaderLimit::None) return HeaderLimitText(header.LimitReached);
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
