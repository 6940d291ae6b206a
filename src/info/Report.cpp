#include "Report.h"

#include <exception>
#include <nlohmann/json.hpp>

#include "Cp932.h"

namespace sheetpeek::info {
namespace {

using Json = nlohmann::ordered_json;

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

namespace {

Json ZeroDate() {
  return Json::array({0, 0, 0, 0, 0});
}

// Every key of an opened file's object in the published order, with placeholder values.
// Batches refill one of these per thread instead of building and freeing a tree per file.
Json OpenedSkeleton() {
  Json item = Json::object();
  item["label"] = "";
  item["text"] = "";
  Json j = Json::object();
  for (const char* key : {"path", "opened", "read_ok", "folder", "file_name", "create_date", "update_date",
                          "element_count", "size", "scale", "file_kind"}) {
    j[key] = "";
  }
  j["opened"] = true;
  j["read_ok"] = false;
  j["items"] = Json::array();
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) j["items"].push_back(item);
  j["preview"] = nullptr;
  Json raw = Json::object();
  raw["create"] = ZeroDate();
  raw["update"] = ZeroDate();
  raw["elements"] = 0;
  raw["file_kind"] = 0;
  raw["sheet"] = nullptr;
  j["raw"] = std::move(raw);
  return j;
}

// Replaces a string value in place, keeping the JSON node.
void Set(Json& slot, std::string&& value) {
  slot.get_ref<std::string&>() = std::move(value);
}

void SetDate(Json& slot, const TDrawingDate& d) {
  slot[0] = d.Year;
  slot[1] = d.Month;
  slot[2] = d.Day;
  slot[3] = d.Hour;
  slot[4] = d.Minute;
}

void Fill(Json& j, const std::string& path, const COrvicHeader& h) {
  Set(j["path"], SanitizeUtf8(path));
  j["read_ok"] = h.ReadOk;
  Set(j["folder"], SanitizeUtf8(h.Folder));
  Set(j["file_name"], SanitizeUtf8(h.FileName));
  Set(j["create_date"], Cp932ToUtf8(h.DateText(h.CreateDate)));
  Set(j["update_date"], Cp932ToUtf8(h.DateText(h.UpdateDate)));
  Set(j["element_count"], Cp932ToUtf8(h.ElementCountText()));
  Set(j["size"], Cp932ToUtf8(h.SizeText));
  Set(j["scale"], Cp932ToUtf8(h.ScaleText));
  Set(j["file_kind"], Cp932ToUtf8(h.FileKindText()));
  Json& items = j["items"];
  for (int i = 0; i < COrvicHeader::kItemCount; ++i) {
    const auto k = static_cast<std::size_t>(i);
    Set(items[k]["label"], Cp932ToUtf8(h.NoteLabel[k]));
    Set(items[k]["text"], Cp932ToUtf8(h.NoteText[k]));
  }
  if (h.HasImage) {
    j["preview"] = Json{{"width", h.ImageWidth}, {"height", h.ImageHeight}};
  } else {
    j["preview"] = nullptr;
  }
  Json& raw = j["raw"];
  SetDate(raw["create"], h.CreateDate);
  SetDate(raw["update"], h.UpdateDate);
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
}

}  // namespace

std::string JsonLine(const std::string& path, const LoadResult& result) {
  if (!result.header) {
    const Json j = {{"path", SanitizeUtf8(path)}, {"opened", false}, {"error", OpenErrorText(result.error)}};
    return Dump(j) + "\n";
  }
  thread_local Json skeleton = OpenedSkeleton();
  Fill(skeleton, path, *result.header);
  return Dump(skeleton) + "\n";
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
    if (json) report.out = JsonLine(path, result);
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
