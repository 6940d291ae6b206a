// Random inputs read by the core and by a plain, step-by-step model of the format written
// here from the rules (no shortcuts, no buffering tricks): every result must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "Drawings.h"
#include "PreviewEncoder.h"
#include "PreviewWalk.h"

namespace sheetpeek::test {
namespace {

// ---- Model of the reader -------------------------------------------------------------

bool IsLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

class ModelReader {
 public:
  explicit ModelReader(const std::string& file) {
    for (char c : file) {
      if (c == '\x1a') break;  // ends the input
      if (c != '\r') data_ += c;
    }
  }

  int ReadRecord(std::string& keyword, std::vector<std::string>& fields) {
    keyword = "0";
    fields.clear();
    if (eof_) return 2;
    if (!ReadLine()) return 0;
    if (raw_[0] == '\0') return 1;
    std::size_t i = 0;
    std::string kw;
    while (i < line_.size() && line_[i] != '\t' && line_[i] != '\n') kw += line_[i++];
    if (i < line_.size() && line_[i] == '\t') {
      while (i < line_.size() && line_[i] == '\t') ++i;
    }
    std::string field;
    bool begun = false;
    for (;;) {
      if (i >= line_.size() || line_[i] == ',' || line_[i] == '\n') {
        const bool lineEnd = i >= line_.size() || line_[i] == '\n';
        fields.push_back(field);
        field.clear();
        if (lineEnd) break;
        ++i;
        begun = false;
        if (i + 1 < line_.size() && line_[i] == '\\' && line_[i + 1] == '\n') {
          if (eof_) return 2;
          if (!ReadLine()) return 0;
          i = 0;
          while (i < line_.size() && line_[i] == '\t') ++i;
        }
        continue;
      }
      const char c = line_[i++];
      field += c;
      if (begun) continue;
      if (c != '"') {
        begun = true;
        continue;
      }
      field.clear();
      while (i < line_.size() && line_[i] != '"' && line_[i] != '\n') {
        if (line_[i] == '\\' && !TrailAt(i)) {
          field += line_[i++];
          if (i < line_.size() && line_[i] != '\n') field += line_[i++];
        } else {
          field += line_[i++];
        }
      }
      if (i < line_.size() && line_[i] == '"') ++i;
    }
    keyword = kw;
    return 1;
  }

  int ReadRawLine(std::string& keyword, std::string& rest) {
    if (eof_) return 2;
    if (!ReadLine()) return 0;
    keyword = rest = "0";
    if (raw_[0] == '\0') return 1;
    std::size_t i = 0;
    std::string kw;
    while (i < line_.size() && line_[i] != '\t' && line_[i] != '\n') kw += line_[i++];
    if (i >= line_.size()) return 0;
    while (i < line_.size() && line_[i] == '\t') ++i;
    std::string r;
    while (i < line_.size() && line_[i] != '\n') r += line_[i++];
    if (i >= line_.size()) return 0;
    keyword = kw;
    rest = r;
    return 1;
  }

 private:
  // One line read: up to and including a LF, at most 255 bytes; its bytes end at a NUL.
  bool ReadLine() {
    raw_.clear();
    while (raw_.size() < 255) {
      if (pos_ >= data_.size()) {
        eof_ = true;
        break;
      }
      raw_ += data_[pos_++];
      if (raw_.back() == '\n') break;
    }
    line_ = raw_.substr(0, raw_.find('\0'));
    return !raw_.empty();
  }

  bool TrailAt(std::size_t pos) const {
    int leads = 0;
    while (pos > 0 && IsLead(static_cast<unsigned char>(line_[pos - 1]))) {
      --pos;
      ++leads;
    }
    return leads % 2 == 1;
  }

  std::string data_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  std::string raw_;
  std::string line_;
};

std::string RandomDrawingText(std::mt19937& rng) {
  static const std::string kBytes[] = {"a",    "b",     ",",    ",",      "\"",   "\"",   "\\",   "\\",
                                       "\t",   " ",     "\x83", "\x95",   "\x81", "\xe0", "\xa0", "\n",
                                       "\r\n", ",\\\n", "0",    "Elms\t", "X\t",  "\xfc", "\x80", "5"};
  std::string text;
  const int pieces = std::uniform_int_distribution<int>(0, 120)(rng);
  for (int i = 0; i < pieces; ++i) {
    const int pick = std::uniform_int_distribution<int>(0, 199)(rng);
    if (pick == 0) {
      text += '\x1a';
    } else if (pick == 1) {
      text += '\0';
    } else if (pick == 2) {
      text += std::string(std::uniform_int_distribution<int>(200, 300)(rng), 'z');
    } else {
      text += kBytes[static_cast<std::size_t>(pick) % (sizeof kBytes / sizeof kBytes[0])];
    }
  }
  return text;
}

TEST(Differential, ReaderAgreesWithModelOnRandomText) {
  std::mt19937 rng(932);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = RandomDrawingText(rng);
    ReaderOn core(text);
    ASSERT_TRUE(core.opened());
    ModelReader model(text);
    std::mt19937 calls(static_cast<unsigned>(round));
    for (int read = 0; read < 400; ++read) {
      const bool raw = std::uniform_int_distribution<int>(0, 3)(calls) == 0;
      const std::string where = "round " + std::to_string(round) + " read " + std::to_string(read) +
                                (raw ? " raw" : " record") + " of " + ::testing::PrintToString(text);
      if (raw) {
        std::string keyword, rest;
        const int want = model.ReadRawLine(keyword, rest);
        ASSERT_EQ(core->ReadRawLine(), want) << where;
        if (want == 1) {
          ASSERT_EQ(core->Keyword, keyword) << where;
          ASSERT_EQ(core->LineRest, rest) << where;
          ASSERT_TRUE(core->Fields.empty()) << where;
        }
        if (want == 2) break;
      } else {
        std::string keyword;
        std::vector<std::string> fields;
        const int want = model.ReadRecord(keyword, fields);
        ASSERT_EQ(core->ReadRecord(), want) << where;
        ASSERT_EQ(core->Keyword, keyword) << where;
        ASSERT_EQ(core->Fields, fields) << where;
        if (want == 2) break;
      }
    }
  }
}

// ---- Model of the preview decoder ----------------------------------------------------

int ModelColour(char c) {
  static const std::string kChars = "0123456789:;<=>";
  static const int kIndex[] = {0, 12, 9, 13, 10, 14, 11, 15, 4, 1, 5, 2, 6, 3, 7};
  const std::size_t at = kChars.find(c);
  return c != '\0' && at != std::string::npos ? kIndex[at] : 0;
}

// Decodes `text` (already cut to the encoded length) into width x height pixels; false when
// a pixel would land beyond the picture.
bool ModelDecode(const std::string& text, long width, long height, std::vector<int>& pixels) {
  const long total = width * height;
  pixels.assign(static_cast<std::size_t>(total), 0);
  long pixel = 0;
  std::size_t pos = 0;
  auto paint = [&](long count, char colour) {
    for (long k = 0; k < count; ++k) {
      if (pixel == total) return false;
      pixels[static_cast<std::size_t>(pixel++)] = ModelColour(colour);
    }
    return true;
  };
  while (pos < text.size()) {
    const char first = text[pos];
    int digits = first == '!' ? 1 : first == '"' ? 2 : first == '#' ? 3 : 0;
    if (digits == 0) {
      if (!paint(1, first)) return false;
      ++pos;
      continue;
    }
    if (pos + digits + 1 >= text.size()) break;  // digits or colour beyond the text
    auto d = [&](int k) { return static_cast<long>(static_cast<signed char>(text[pos + k])) - 33; };
    const long count = digits == 1   ? d(1) + 3
                       : digits == 2 ? 94 * d(1) + d(2) + 98
                                     : 8836 * d(1) + 94 * d(2) + d(3) + 8934;
    if (!paint(count, text[pos + digits + 1])) return false;
    pos += digits + 1;
  }
  return true;
}

TEST(Differential, DecoderAgreesWithModelOnRandomText) {
  static const std::string kBytes = "!!!\"\"#0123456789:;<=>?~ \x1e\x1f\x80\xff AZ";
  std::mt19937 rng(1208);
  for (int round = 0; round < 4000; ++round) {
    const int width = std::uniform_int_distribution<int>(0, 40)(rng);
    const int height = std::uniform_int_distribution<int>(0, 12)(rng);
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < length; ++i) {
      text += kBytes[std::uniform_int_distribution<std::size_t>(0, kBytes.size() - 1)(rng)];
    }
    // The record's encoded length: sometimes short of the text, sometimes beyond it.
    const int stated = std::uniform_int_distribution<int>(0, length + 5)(rng);
    ImageLayout layout;
    layout.lineLength = std::uniform_int_distribution<std::size_t>(1, 9)(rng);
    const std::vector<std::string> lines = SplitEncoded(text, layout.lineLength);
    std::string drawing = "Version\n" + ImageRecordRaw("1", std::to_string(width), std::to_string(height),
                                                       std::to_string(lines.size()), std::to_string(stated));
    for (const std::string& line : lines) drawing += "P\t" + line + "\n";
    drawing += "Ftype\t2\n";

    // Leading TABs of a picture line belong to the TAB run after its keyword; a space stays.
    std::string joined;
    for (const std::string& line : lines) joined += line;
    std::vector<int> want;
    bool ok = false;
    const bool withinLimits = stated <= width * height;
    if (withinLimits)
      ok = ModelDecode(joined.substr(0, static_cast<std::size_t>(stated)), width, height, want);

    auto h = HeaderOf(drawing);
    const std::string where = std::to_string(width) + "x" + std::to_string(height) + " stated " +
                              std::to_string(stated) + " text " + ::testing::PrintToString(text);
    ASSERT_EQ(h->HasImage, ok) << where;
    ASSERT_EQ(h->ImageWidth, width) << where;
    if (ok) {
      ASSERT_TRUE(PixelsOf(*h->ImageBitmap) == want) << where;
    }
    // Rejected by the limits: the picture lines are read as records, which ignore keyword "P".
    ASSERT_EQ(h->FileKind, fkBinaryDrawing) << where;
    ASSERT_TRUE(h->ReadOk) << where;
  }
}

// The block walk (host vector instructions and the portable form) against the item-by-item
// walk, painting and checking, on pictures up to full size: generated texts of plain
// characters, runs of every form with digits of any byte (zero and negative counts, chains of
// markers as digits), cut off anywhere, sized from well short of the picture to beyond it.
TEST(Differential, BlockWalkAgreesWithItemWalkOnGeneratedPictures) {
  static const std::string kPlain = "0123456789:;<=>?~ A\x80\xff";
  static const std::string kDigits = "!\"#$%&0~\x1e\x1f\x7f\x80\xff";
  std::mt19937 rng(1502);
  auto pick = [&rng](const std::string& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
  };
  std::vector<std::uint8_t> want, got;
  for (int round = 0; round < 1500; ++round) {
    const std::size_t width = std::uniform_int_distribution<std::size_t>(1, 256)(rng);
    const std::size_t height = std::uniform_int_distribution<std::size_t>(1, 181)(rng);
    const std::size_t total = width * height;
    // How often a run starts: from none to nearly every item. Every third picture has only
    // one-digit runs, the form that blocks check in one step.
    const int runShare = std::uniform_int_distribution<int>(0, 100)(rng);
    const int maxDigits = round % 3 == 0 ? 1 : 3;
    const std::size_t length = std::uniform_int_distribution<std::size_t>(0, total + 200)(rng) % 20000;
    std::string text;
    while (text.size() < length) {
      if (std::uniform_int_distribution<int>(0, 99)(rng) >= runShare) {
        text += pick(kPlain);
        continue;
      }
      const int digits = std::uniform_int_distribution<int>(1, maxDigits)(rng);
      text += static_cast<char>('!' + digits - 1);
      // Mostly small counts in range, so that pictures fill rather than run over at once.
      for (int d = 0; d < digits; ++d) text += d + 1 < digits ? '!' : pick(kDigits);
      text += pick(kPlain);
    }
    text.resize(length);
    const std::string where = std::to_string(width) + "x" + std::to_string(height) + ", " +
                              std::to_string(length) + " chars, round " + std::to_string(round);

    want.assign(total, 0xEE);
    const PreviewWalkResult ref = WalkPreviewReference(text, total, want.data());
    ASSERT_EQ(WalkPreviewReference(text, total, nullptr).ok, ref.ok) << where;
    static const std::vector<PreviewWalkFunction> walks = [] {
      std::vector<PreviewWalkFunction> all = PreviewBlockWalks();
      all.push_back(&WalkPreview);
      return all;
    }();
    for (PreviewWalkFunction walk : walks) {
      const PreviewWalkResult check = walk(text, total, nullptr);
      ASSERT_EQ(check.ok, ref.ok) << where;
      got.assign(total, 0xEE);
      const PreviewWalkResult paint = walk(text, total, got.data());
      ASSERT_EQ(paint.ok, ref.ok) << where;
      if (!ref.ok) continue;
      ASSERT_EQ(check.painted, ref.painted) << where;
      ASSERT_EQ(paint.painted, ref.painted) << where;
      ASSERT_TRUE(std::equal(want.begin(), want.begin() + static_cast<long>(ref.painted), got.begin()))
          << where;
    }
  }
}

// ---- Model of the header read ---------------------------------------------------------

struct ModelFailure {};

std::int32_t ModelInt(const std::string& text) {
  static const std::regex kDecimal("^ *([+-]?)([0-9]+)$");
  static const std::regex kHex("^ *([+-]?)(?:\\$|0[xX]|[xX])([0-9A-Fa-f]+)$");
  std::smatch m;
  int base = 10;
  if (!std::regex_match(text, m, kDecimal)) {
    if (!std::regex_match(text, m, kHex)) throw ModelFailure{};
    base = 16;
  }
  std::string digits = m[2].str();
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  if (digits.size() > 10) throw ModelFailure{};
  long long v = std::stoll(digits, nullptr, base);
  if (m[1].str() == "-") v = -v;
  if (v < INT32_MIN || v > INT32_MAX) throw ModelFailure{};
  return static_cast<std::int32_t>(v);
}

double ModelFloat(const std::string& text) {
  static const std::regex kFloat("^ *([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?) *$");
  std::smatch m;
  if (!std::regex_match(text, m, kFloat)) throw ModelFailure{};
  return std::strtod(m[1].str().c_str(), nullptr);
}

struct ModelHeader {
  std::int32_t create[5] = {}, update[5] = {};
  std::int32_t elements = 0;
  std::string sizeText, scaleText;
  int kind = 0;
  std::string label[20], text[20];
  bool readOk = false;
};

ModelHeader ModelRead(const std::string& file) {
  ModelHeader h;
  ModelReader r(file);
  std::string k;
  std::vector<std::string> f;
  auto field = [&](std::size_t i) -> const std::string& {
    if (i >= f.size()) throw ModelFailure{};
    return f[i];
  };
  bool version = false;
  int records = 0;
  try {
    while (r.ReadRecord(k, f) != 2) {
      if (++records > 20 && !version) break;
      if (k == "Fbreak") break;
      if (k == "Version") version = true;
      if (k == "Date" || k == "Update") {
        std::int32_t* d = k == "Date" ? h.create : h.update;
        for (std::size_t i = 0; i < 5; ++i) d[i] = ModelInt(field(i));
      }
      if (k == "Elms") h.elements = ModelInt(field(0));
      if (k == "Ftype") {
        const std::int32_t v = ModelInt(field(0));
        h.kind = v == 0 ? 1 : v == 2 ? 2 : 0;
      }
      if (k == "Note") {
        const std::int32_t i = ModelInt(field(0));
        if (i >= 0 && i < 20) {
          h.label[i] = field(2);
          h.text[i] = field(3);
        }
      }
      if (k == "Frame") {
        const std::string name = field(0);
        const double w = ModelFloat(field(1)), ht = ModelFloat(field(2));
        const std::int32_t num = ModelInt(field(3)), den = ModelInt(field(4));
        ModelFloat(field(5));
        ModelFloat(field(6));
        char buf[1024];
        std::snprintf(buf, sizeof buf, "%s %.1f(mm)\x81\x7e%.1f(mm)", name.c_str(), w, ht);
        h.sizeText = buf;
        std::snprintf(buf, sizeof buf, "%i/%i", num, den);
        h.scaleText = buf;
        if (den == 0) throw ModelFailure{};
      }
    }
    h.readOk = version;
  } catch (const ModelFailure&) {
    h.readOk = false;
  }
  return h;
}

std::string RandomHeaderText(std::mt19937& rng) {
  static const char* kValues[] = {"1",  "-3", "0", "x",   "",   " 7",  "$1F",   "2147483648", "2.5", "20",
                                  "-1", "19", "2", "1e2", "A3", "0x2", " 1.5 ", "\"a,b\"",    "5"};
  static const char* kInts[] = {"1", "-3", "0", " 7", "$1F", "19", "2", "5", "0x2", "20", "-1", "12"};
  static const char* kFloats[] = {"420", "297.5", " 1e2 ", "-0.04", "0.05", "841"};
  static const char* kTexts[] = {"A3", "\"a,b\"", "lbl", "", "\x95\x5c", "\"q\\\"\""};
  static const char* kKeywords[] = {"Version", "version", "Fbreak", "Elms",  "Date", "Update", "Note",
                                    "Frame",   "Ftype",   "Layer",  "Elms ", "",     "Note",   "Layer"};
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  std::string text;
  const int records = pick(40);
  for (int i = 0; i < records; ++i) {
    const std::string keyword = kKeywords[pick(14)];
    text += keyword;
    if (keyword.empty() && i % 2 == 0) text += '\0';
    if (pick(12) != 0) text += '\t';
    std::vector<std::string> fields;
    if (pick(6) != 0) {
      // Fields that mostly convert, so that reads often get far.
      const int count = keyword == "Frame" ? 7 : keyword == "Note" ? 4 : 5;
      for (int j = 0; j < count; ++j) {
        if (keyword == "Frame") {
          fields.push_back(j == 0 ? kTexts[pick(6)] : (j == 3 || j == 4) ? kInts[pick(9)] : kFloats[pick(6)]);
        } else if (keyword == "Note" && j >= 2) {
          fields.push_back(kTexts[pick(6)]);
        } else {
          fields.push_back(kInts[pick(12)]);
        }
      }
      if (pick(10) == 0) fields.resize(static_cast<std::size_t>(pick(count)));
    } else {
      const int count = pick(9);
      for (int j = 0; j < count; ++j) fields.push_back(kValues[pick(19)]);
    }
    for (std::size_t j = 0; j < fields.size(); ++j) {
      if (j > 0) text += pick(12) == 0 ? ",\\\n\t" : ",";
      text += fields[j];
    }
    text += pick(20) == 0 ? "\r\n" : "\n";
  }
  return text;
}

TEST(Differential, HeaderAgreesWithModelOnRandomRecords) {
  std::mt19937 rng(2005);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = RandomHeaderText(rng);
    const ModelHeader want = ModelRead(text);
    auto h = HeaderOf(text);
    const std::string where = "round " + std::to_string(round) + ": " + ::testing::PrintToString(text);
    ASSERT_EQ(h->ReadOk, want.readOk) << where;
    ASSERT_EQ(h->ElementCount, want.elements) << where;
    const TDrawingDate* dates[] = {&h->CreateDate, &h->UpdateDate};
    const std::int32_t* wantDates[] = {want.create, want.update};
    for (int d = 0; d < 2; ++d) {
      const std::int32_t got[5] = {dates[d]->Year, dates[d]->Month, dates[d]->Day, dates[d]->Hour,
                                   dates[d]->Minute};
      for (int i = 0; i < 5; ++i) ASSERT_EQ(got[i], wantDates[d][i]) << where;
    }
    ASSERT_EQ(h->SizeText, want.sizeText) << where;
    ASSERT_EQ(h->ScaleText, want.scaleText) << where;
    ASSERT_EQ(static_cast<int>(h->FileKind), want.kind) << where;
    for (int i = 0; i < 20; ++i) {
      ASSERT_EQ(h->NoteLabel[i], want.label[i]) << where;
      ASSERT_EQ(h->NoteText[i], want.text[i]) << where;
    }
  }
}

}  // namespace
}  // namespace sheetpeek::test
