#include "Register.h"

#include <xlsxwriter.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "Cp932.h"
#include "DrawingText.h"
#include "FolderWalk.h"
#include "ImageWriters.h"
#include "Orvicheader.h"
#include "OutputFile.h"
#include "PathName.h"

namespace sheetpeek {
namespace {

constexpr unsigned kMaxJobs = 2;
// Excel's limits: characters in a cell, a link's length, links on a sheet, rows on a sheet.
constexpr std::size_t kMaxCellBytes = 32767;
constexpr std::size_t kMaxUrlLength = 2079;
constexpr std::size_t kMaxLinks = 65530;
constexpr std::size_t kMaxRows = 1048576;
// Columns wider than this wrap rather than push the rest off the screen.
constexpr std::size_t kMaxColumnWidth = 60;
// Free pixels around a picture inside its cell.
constexpr int kPictureMargin = 2;

enum Column : lxw_col_t {
  kFileName,
  kFolder,
  kCreated,
  kUpdated,
  kElements,
  kSize,
  kScale,
  kKind,
  kPreview,
  kError,
  kFirstLabel,
};

const char* const kCaptions[kFirstLabel] = {"ファイル名", "フォルダ",   "作成日時", "更新日時",
                                            "要素数",     "図面サイズ", "図面尺度", "ファイルタイプ",
                                            "プレビュー", "エラー"};

struct DateCell {
  bool real = false;
  TDrawingDate date;
  std::string text;  // the display text, for a date that is none
};

// What the register shows of one file, gathered on a worker thread.
struct Row {
  std::string path;
  std::string fileName;
  std::string folder;
  bool opened = false;
  bool ok = false;
  DateCell created;
  DateCell updated;
  long elements = 0;
  std::string size;
  std::string scale;
  std::string kind;
  std::string error;
  std::vector<std::pair<std::string, std::string>> items;  // label and text, in item order
  std::string png;                                         // the preview, when there is one
  int pictureWidth = 0;
  int pictureHeight = 0;
};

// zlib takes and frees about a quarter of a megabyte for every picture it compresses (libpng's
// stream, then the zip's). glibc hands that memory back to the system on every free, at the cost
// of a system call, fresh page faults and, while the loading threads run, a TLB flush on every
// core: a quarter of the register's time. The heap keeps what it frees while a register is
// written and gives it back once at the end.
class KeptHeap {
 public:
  KeptHeap() {
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, kKeptBytes);
#endif
  }
  ~KeptHeap() {
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, kDefaultTrimThreshold);
    malloc_trim(0);
#endif
  }
  KeptHeap(const KeptHeap&) = delete;
  KeptHeap& operator=(const KeptHeap&) = delete;

  // Gives back what is free now (in every thread's arena), before the workbook's peak.
  static void GiveBackFree() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
  }

 private:
  static constexpr int kKeptBytes = 64 << 20;
  static constexpr int kDefaultTrimThreshold = 128 << 10;  // glibc's own
};

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Within what a spreadsheet's date-time cell holds (it starts in 1900).
bool IsRealDate(const TDrawingDate& d) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.Year < 1900 || d.Year > 9999 || d.Month < 1 || d.Month > 12 || d.Day < 1 || d.Hour < 0 ||
      d.Hour > 23 || d.Minute < 0 || d.Minute > 59)
    return false;
  return d.Day <= kDays[d.Month - 1] + (d.Month == 2 && IsLeapYear(d.Year) ? 1 : 0);
}

DateCell DateOf(const COrvicHeader& h, const TDrawingDate& date) {
  DateCell cell;
  cell.real = IsRealDate(date);
  cell.date = date;
  if (!cell.real) cell.text = Cp932ToUtf8(h.DateText(date));
  return cell;
}

Row LoadRow(const std::string& path) {
  Row row;
  row.path = path;
  const PathParts parts = SplitPath(path);
  row.fileName = SanitizeUtf8(parts.fileName);
  row.folder = SanitizeUtf8(parts.folder);
  try {
    const LoadResult result = LoadDrawingHeader(path);
    if (!result.header) {
      row.error = OpenErrorText(result.error);
      return row;
    }
    const COrvicHeader& h = *result.header;
    row.opened = true;
    row.ok = h.ReadOk;
    if (!h.ReadOk) row.error = ReadFailureText(h);
    row.fileName = SanitizeUtf8(h.FileName);
    row.folder = SanitizeUtf8(h.Folder);
    row.created = DateOf(h, h.CreateDate);
    row.updated = DateOf(h, h.UpdateDate);
    row.elements = h.ElementCount;
    row.size = Cp932ToUtf8(h.SizeText);
    row.scale = Cp932ToUtf8(h.ScaleText);
    row.kind = Cp932ToUtf8(h.FileKindText());
    for (std::size_t k = 0; k < COrvicHeader::kItemCount; ++k) {
      if (h.NoteLabel[k].empty() && h.NoteText[k].empty()) continue;
      row.items.emplace_back(Cp932ToUtf8(h.NoteLabel[k]), Cp932ToUtf8(h.NoteText[k]));
    }
    if (h.HasImage && h.ImageBitmap && h.ImageBitmap->Width() > 0 && h.ImageBitmap->Height() > 0) {
      row.pictureWidth = h.ImageBitmap->Width();
      row.pictureHeight = h.ImageBitmap->Height();
      row.png = info::EncodePreviewPng(*h.ImageBitmap);
    }
  } catch (const std::exception& e) {
    // Only resource exhaustion gets here; the file counts as unreadable.
    row.ok = false;
    row.error = std::string("cannot read: ") + e.what();
  }
  return row;
}

// Loads the files on up to `jobs` threads, this one among them, and hands the rows over in report
// order, each as soon as it is loaded: the sheet is written while later files still load.
class RowLoader {
 public:
  RowLoader(const std::vector<std::string>& files, unsigned jobs)
      : files_(files), rows_(files.size()), ready_(new std::atomic<bool>[files.size()]) {
    for (std::size_t i = 0; i < files.size(); ++i) ready_[i] = false;
    if (jobs == 0) jobs = std::min(kMaxJobs, std::max(1u, std::thread::hardware_concurrency()));
    try {
      for (unsigned j = 1; j < jobs && j < files.size(); ++j)
        helpers_.emplace_back([this] {
          while (LoadNext()) {
          }
        });
    } catch (...) {
      Stop();
      throw;
    }
  }
  RowLoader(const RowLoader&) = delete;
  RowLoader& operator=(const RowLoader&) = delete;
  ~RowLoader() { Stop(); }

  // Row `i`, once; rows are taken in order. This thread loads other files while it waits.
  Row Take(std::size_t i) {
    while (!ready_[i].load(std::memory_order_acquire)) {
      if (LoadNext()) continue;
      // Every file is taken: a helper has this one.
      std::unique_lock<std::mutex> lock(mutex_);
      loaded_.wait(lock, [&] { return ready_[i].load(std::memory_order_acquire); });
    }
    return std::move(rows_[i]);
  }

 private:
  bool LoadNext() {
    if (stop_.load()) return false;
    const std::size_t i = next_.fetch_add(1);
    if (i >= files_.size()) return false;
    rows_[i] = LoadRow(files_[i]);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_[i].store(true, std::memory_order_release);
    }
    loaded_.notify_all();
    return true;
  }

  void Stop() {
    stop_ = true;
    for (auto& h : helpers_) h.join();
  }

  const std::vector<std::string>& files_;
  std::vector<Row> rows_;
  std::unique_ptr<std::atomic<bool>[]> ready_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable loaded_;
  std::vector<std::thread> helpers_;
};

// A text as a cell holds it: cut to the cell's limit at a character's start, and a literal
// "_xHHHH_" protected, since the file format reads that form as an escaped character.
std::string CellText(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '_' && i + 6 < utf8.size() && utf8[i + 1] == 'x' && utf8[i + 6] == '_' &&
        std::all_of(utf8.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                    utf8.begin() + static_cast<std::ptrdiff_t>(i) + 6,
                    [](unsigned char c) { return std::isxdigit(c) != 0; }))
      out += "_x005F";
    out += utf8[i];
  }
  if (out.size() > kMaxCellBytes) {
    std::size_t cut = kMaxCellBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

// A file: URL of the absolute form of `path`, every byte outside the unreserved characters and
// the separators percent-encoded; "" when none can be made.
std::string FileUrl(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::u8path(path), ec);
  if (ec) return "";
  std::string p = absolute.generic_u8string();
  std::string url = "file://";
  // "//server/share" keeps its server as the URL's host; "C:/x" and "/x" get an empty host.
  if (p.rfind("//", 0) == 0) {
    p.erase(0, 2);
  } else if (p.empty() || p[0] != '/') {
    url += '/';
  }
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    const bool drive = i == 1 && c == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || drive) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0x0F];
    }
  }
  return url;
}

std::size_t WidestLine(const std::string& text) {
  std::size_t widest = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    widest = std::max(widest, DisplayWidth(text.substr(start, end - start)));
    if (end == std::string::npos) return widest;
    start = end + 1;
  }
}

// The one sheet. The writer keeps its cells in memory: its constant-memory mode forgets the row
// heights before it anchors the pictures, and so would stretch each picture over the default
// height of some ten rows instead of ending it in its own.
class SheetWriter {
 public:
  explicit SheetWriter(const std::string& path) {
    book_ = workbook_new(path.c_str());
    if (book_ == nullptr) throw RegisterError("cannot create the workbook");
    sheet_ = workbook_add_worksheet(book_, "図面台帳");
    if (sheet_ == nullptr) throw RegisterError("cannot create the sheet");
    bold_ = workbook_add_format(book_);
    format_set_bold(bold_);
    format_set_align(bold_, LXW_ALIGN_VERTICAL_TOP);
    top_ = workbook_add_format(book_);
    format_set_align(top_, LXW_ALIGN_VERTICAL_TOP);
    wrap_ = workbook_add_format(book_);
    format_set_align(wrap_, LXW_ALIGN_VERTICAL_TOP);
    format_set_text_wrap(wrap_);
    date_ = workbook_add_format(book_);
    format_set_align(date_, LXW_ALIGN_VERTICAL_TOP);
    format_set_num_format(date_, "yyyy/mm/dd hh:mm");
    number_ = workbook_add_format(book_);
    format_set_align(number_, LXW_ALIGN_VERTICAL_TOP);
    format_set_num_format(number_, "0");
    link_ = workbook_add_format(book_);
    format_set_align(link_, LXW_ALIGN_VERTICAL_TOP);
    format_set_underline(link_, LXW_UNDERLINE_SINGLE);
    format_set_font_color(link_, LXW_COLOR_BLUE);
  }
  SheetWriter(const SheetWriter&) = delete;
  SheetWriter& operator=(const SheetWriter&) = delete;
  ~SheetWriter() {
    // Left unclosed only on the way out of an error or a cancel: nothing is written.
    if (book_ != nullptr) lxw_workbook_free(book_);
  }

  void Close() {
    lxw_workbook* book = std::exchange(book_, nullptr);
    Check(workbook_close(book));
  }

  void RowHeight(lxw_row_t row, int pixels) { Check(worksheet_set_row_pixels(sheet_, row, pixels, nullptr)); }

  void Caption(lxw_col_t col, const std::string& text) {
    Check(worksheet_write_string(sheet_, 0, col, CellText(text).c_str(), bold_));
  }

  void Text(lxw_row_t row, lxw_col_t col, const std::string& text) {
    if (text.empty()) return;
    const bool lines = text.find('\n') != std::string::npos;
    Check(worksheet_write_string(sheet_, row, col, CellText(text).c_str(), lines ? wrap_ : top_));
  }

  void Number(lxw_row_t row, lxw_col_t col, double value) {
    Check(worksheet_write_number(sheet_, row, col, value, number_));
  }

  void Date(lxw_row_t row, lxw_col_t col, const DateCell& cell) {
    if (!cell.real) return Text(row, col, cell.text);
    lxw_datetime dt{cell.date.Year, cell.date.Month, cell.date.Day, cell.date.Hour, cell.date.Minute, 0.0};
    Check(worksheet_write_datetime(sheet_, row, col, &dt, date_));
  }

  // A link shown as `text`; plain text where no link can be made or the sheet holds no more.
  void Link(lxw_row_t row, lxw_col_t col, const std::string& url, const std::string& text) {
    if (url.empty() || url.size() > kMaxUrlLength || links_ >= kMaxLinks) return Text(row, col, text);
    ++links_;
    Check(worksheet_write_url_opt(sheet_, row, col, url.c_str(), link_, CellText(text).c_str(), nullptr));
  }

  void Picture(lxw_row_t row, lxw_col_t col, const std::string& png, const std::string& description) {
    lxw_image_options options{};
    options.x_offset = kPictureMargin;
    options.y_offset = kPictureMargin;
    // Sorting and filtering take the picture along with its row.
    options.object_position = LXW_OBJECT_MOVE_AND_SIZE;
    std::string alt = CellText(description);
    options.description = alt.data();
    Check(worksheet_insert_image_buffer_opt(
        sheet_, row, col, reinterpret_cast<const unsigned char*>(png.data()), png.size(), &options));
  }

  void Finish(lxw_row_t lastRow, lxw_col_t lastCol, const std::vector<std::size_t>& widths,
              int previewPixels) {
    worksheet_freeze_panes(sheet_, 1, 0);
    Check(worksheet_autofilter(sheet_, 0, 0, lastRow, lastCol));
    for (lxw_col_t c = 0; c <= lastCol; ++c) {
      if (c == kPreview) {
        Check(worksheet_set_column_pixels(sheet_, c, c, static_cast<std::uint32_t>(previewPixels), nullptr));
        continue;
      }
      // Room for the filter's button beside the caption.
      const double width = static_cast<double>(std::min(widths[c], kMaxColumnWidth)) + 3;
      Check(worksheet_set_column(sheet_, c, c, width, nullptr));
    }
  }

 private:
  static void Check(lxw_error error) {
    if (error != LXW_NO_ERROR) throw RegisterError(lxw_strerror(error));
  }

  lxw_workbook* book_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* bold_ = nullptr;
  lxw_format* top_ = nullptr;
  lxw_format* wrap_ = nullptr;
  lxw_format* date_ = nullptr;
  lxw_format* number_ = nullptr;
  lxw_format* link_ = nullptr;
  std::size_t links_ = 0;
};

// Writes the register of `count` files from `loader` to `path`, each row as soon as it is loaded.
// False when progress asked to stop; nothing is written then.
bool WriteSheet(const std::string& path, RowLoader& loader, std::size_t count,
                const RegisterCallbacks& callbacks, RegisterOutcome& outcome) {
  SheetWriter sheet(path);
  // One column per item label, in order of first appearance.
  std::vector<std::string> labels;
  std::unordered_map<std::string, lxw_col_t> labelColumn;
  std::vector<std::size_t> widths(kFirstLabel, 0);
  for (lxw_col_t c = 0; c < kFirstLabel; ++c) widths[c] = DisplayWidth(kCaptions[c]);
  int previewPixels = static_cast<int>(DisplayWidth(kCaptions[kPreview]) + 3) * 7 + 5;
  constexpr std::size_t kDateWidth = 16;  // yyyy/mm/dd hh:mm

  std::vector<std::string> texts;
  for (std::size_t i = 0; i < count; ++i) {
    const Row row = loader.Take(i);
    if (!row.ok) {
      outcome.allOk = false;
      if (callbacks.fileFailed) callbacks.fileFailed(row.path, row.error);
    }
    for (const auto& item : row.items) {
      if (labelColumn.count(item.first)) continue;
      if (kFirstLabel + labels.size() >= LXW_COL_MAX)
        throw RegisterError("too many item labels for one sheet");
      labelColumn.emplace(item.first, static_cast<lxw_col_t>(kFirstLabel + labels.size()));
      labels.push_back(item.first);
      widths.push_back(DisplayWidth(item.first));
      texts.emplace_back();
    }
    const auto r = static_cast<lxw_row_t>(i + 1);
    if (!row.png.empty()) {
      sheet.RowHeight(r, row.pictureHeight + 2 * kPictureMargin);
      previewPixels = std::max(previewPixels, row.pictureWidth + 2 * kPictureMargin);
    }
    auto text = [&](lxw_col_t c, const std::string& t) {
      sheet.Text(r, c, t);
      widths[c] = std::max(widths[c], WidestLine(t));
    };
    if (row.opened) {
      sheet.Link(r, kFileName, FileUrl(row.path), row.fileName);
      widths[kFileName] = std::max(widths[kFileName], DisplayWidth(row.fileName));
    } else {
      text(kFileName, row.fileName);
    }
    text(kFolder, row.folder);
    if (row.opened) {
      for (const auto& [col, date] :
           {std::make_pair(kCreated, &row.created), std::make_pair(kUpdated, &row.updated)}) {
        if (date->real) {
          sheet.Date(r, col, *date);
          widths[col] = std::max(widths[col], kDateWidth);
        } else {
          text(col, date->text);
        }
      }
      sheet.Number(r, kElements, static_cast<double>(row.elements));
      widths[kElements] = std::max(widths[kElements], std::to_string(row.elements).size());
      text(kSize, row.size);
      text(kScale, row.scale);
      text(kKind, row.kind);
    }
    if (!row.png.empty()) sheet.Picture(r, kPreview, row.png, row.fileName);
    text(kError, row.error);
    // Two items of one label share its cell, a line each.
    for (auto& t : texts) t.clear();
    for (const auto& item : row.items) {
      std::string& cell = texts[labelColumn[item.first] - kFirstLabel];
      if (item.second.empty()) continue;
      if (!cell.empty()) cell += '\n';
      cell += item.second;
    }
    for (std::size_t k = 0; k < texts.size(); ++k) text(static_cast<lxw_col_t>(kFirstLabel + k), texts[k]);
    if (callbacks.progress && !callbacks.progress(i + 1, count)) return false;
  }
  for (lxw_col_t c = 0; c < kFirstLabel; ++c) sheet.Caption(c, kCaptions[c]);
  for (std::size_t i = 0; i < labels.size(); ++i)
    sheet.Caption(static_cast<lxw_col_t>(kFirstLabel + i), labels[i]);
  const auto lastCol = static_cast<lxw_col_t>(kFirstLabel + labels.size() - 1);
  // Closing needs memory of its own (its relationships alone take 2 KB a link): what the loading
  // left free goes back first.
  KeptHeap::GiveBackFree();
  sheet.Finish(static_cast<lxw_row_t>(count), lastCol, widths, previewPixels);
  sheet.Close();
  return true;
}

// East Asian wide and fullwidth ranges (the common blocks; enough for column widths).
bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

bool HasRegisterExtension(const std::string& path) {
  if (path.size() < 5) return false;
  std::string ext = path.substr(path.size() - 5);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".xlsx";
}

std::size_t DisplayWidth(const std::string& utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    width += IsWide(cp) ? 2 : 1;
    i += n;
  }
  return width;
}

RegisterOutcome WriteRegister(const std::vector<std::string>& files, const std::string& out,
                              const RegisterCallbacks& callbacks, unsigned jobs) {
  if (!HasRegisterExtension(out)) throw RegisterError("the register must be a .xlsx file");
  if (files.size() >= kMaxRows) throw RegisterError("too many drawings for one sheet");
  // A drawing, or a link to one, named like a workbook is never written over.
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::u8path(out);
  if (std::filesystem::exists(target, ec)) {
    for (const auto& f : files) {
      if (std::filesystem::equivalent(std::filesystem::u8path(f), target, ec))
        throw RegisterError("refusing to overwrite one of the drawings with the register");
    }
  }
  RegisterOutcome outcome;
  const KeptHeap keptHeap;
  try {
    OutputFile output(out);
    RowLoader loader(files, jobs);
    if (!WriteSheet(output.TemporaryPath(), loader, files.size(), callbacks, outcome)) {
      outcome.cancelled = true;
      outcome.allOk = false;
      return outcome;
    }
    output.Commit();
  } catch (const OutputFileError& e) {
    throw RegisterError(e.what());
  } catch (const std::bad_alloc&) {
    throw RegisterError("out of memory");
  }
  return outcome;
}

RegisterOutcome WriteFolderRegister(const std::string& folder, const std::string& out,
                                    const RegisterCallbacks& callbacks) {
  DrawingWalk walk = FindDrawings(folder);
  bool walkOk = true;
  for (const auto& p : walk.problems) {
    walkOk = false;
    if (callbacks.fileFailed) callbacks.fileFailed(p.folder, "cannot read the folder: " + p.reason);
  }
  RegisterOutcome outcome = WriteRegister(walk.files, out, callbacks);
  outcome.allOk = outcome.allOk && walkOk;
  return outcome;
}

}  // namespace sheetpeek
