#include "Report.h"

#include <exception>

#include "Cp932.h"

namespace sheetpeek::info {
namespace {

using Json = nlohmann::ordered_json;

Json DateArray(const TDrawingDate& d) {
  return Json::array({d.Year, d.Month, d.Day, d.Hour, d.Minute});
}

std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void AddLine(std::string& out, const char* label, const std::string& value) {
  out += label;
  out += ": ";
  out += value;
  out += '\n';
}

}  // namespace

std::string ErrorLine(const std::string& path, const std::string& reason) {
  return "sheetpeek-info: " + SanitizeUtf8(path) + ": " + reason + "\n";
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

Json HeaderJson(const std::string& path, const LoadResult& result) {
  Json j;
  j["path"] = SanitizeUtf8(path);
  j["opened"] = result.header != nullptr;
  if (!result.header) {
    j["error"] = OpenErrorText(result.error);
    return j;
  }
  const COrvicHeader& h = *result.header;
  j["read_ok"] = h.ReadOk;
  j["folder"] = SanitizeUtf8(h.Folder);
  j["file_name"] = SanitizeUtf8(h.FileName);
  j["create_date"] = Cp932ToUtf8(h.DateText(h.CreateDate));
  j["update_date"] = Cp932ToUtf8(h.DateText(h.UpdateDate));
  j["element_count"] = Cp932ToUtf8(h.ElementCountText());
  j["size"] = Cp932ToUtf8(h.SizeText);
  j["scale"] = Cp932ToUtf8(h.ScaleText);
  j["file_kind"] = Cp932ToUtf8(h.FileKindText());
  Json items = Json::array();
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    items.push_back(Json{{"label", Cp932ToUtf8(h.NoteLabel[k])}, {"text", Cp932ToUtf8(h.NoteText[k])}});
  }
  j["items"] = std::move(items);
  if (h.HasImage) {
    j["preview"] = Json{{"width", h.ImageWidth}, {"height", h.ImageHeight}};
  } else {
    j["preview"] = nullptr;
  }
  Json raw;
  raw["create"] = DateArray(h.CreateDate);
  raw["update"] = DateArray(h.UpdateDate);
  raw["elements"] = h.ElementCount;
  raw["file_kind"] = static_cast<int>(h.FileKind);
  if (h.FrameRead) {
    raw["sheet"] = Json{{"name", Cp932ToUtf8(h.SheetName)},
                        {"width", h.SheetWidth},
                        {"height", h.SheetHeight},
                        {"scale", Json::array({h.ScaleNumerator, h.ScaleDenominator})}};
  } else {
    raw["sheet"] = nullptr;
  }
  j["raw"] = std::move(raw);
  return j;
}

std::string TextBlock(const COrvicHeader& h) {
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
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (h.NoteLabel[k].empty() && h.NoteText[k].empty()) continue;
    out += Cp932ToUtf8(h.NoteLabel[k]);
    out += ": ";
    out += Cp932ToUtf8(h.NoteText[k]);
    out += '\n';
  }
  if (h.HasImage) {
    AddLine(out, "イメージ", std::to_string(h.ImageWidth) + "×" + std::to_string(h.ImageHeight));
  } else {
    AddLine(out, "イメージ", "イメージデータなし");
  }
  return out;
}

FileReport ReportFile(const std::string& path, bool json) {
  FileReport report;
  try {
    const LoadResult result = LoadDrawingHeader(path);
    if (json) report.out = Dump(HeaderJson(path, result)) + "\n";
    if (!result.header) {
      report.err = ErrorLine(path, OpenErrorText(result.error));
      return report;
    }
    if (!json) report.out = TextBlock(*result.header);
    report.ok = result.header->ReadOk;
    if (!report.ok) report.err = ErrorLine(path, "incomplete header");
  } catch (const std::exception& e) {
    // Only resource exhaustion gets here; report it like any other unreadable file.
    report.ok = false;
    report.err = ErrorLine(path, std::string("cannot read: ") + e.what());
    if (json) {
      report.out = Dump(Json{{"path", SanitizeUtf8(path)}, {"opened", false}, {"error", e.what()}}) + "\n";
    } else {
      report.out.clear();
    }
  }
  return report;
}

}  // namespace sheetpeek::info
