// Random inputs read by the core and by a plain, step-by-step model of the format written
// here from the rules (no shortcuts, no buffering tricks): every result must agree.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CoreTestUtil.h"
#include "PreviewEncoder.h"

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

}  // namespace
}  // namespace sheetpeek::test
