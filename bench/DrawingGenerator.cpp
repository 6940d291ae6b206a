#include "DrawingGenerator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "PreviewEncoder.h"

namespace sheetpeek::bench {

using test::EncodeRun;

namespace {

constexpr char kColours[] = "0123456789:;<=>";  // the fifteen colour characters
constexpr std::size_t kColourCount = sizeof kColours - 1;

char RandomColour(Rng& rng) {
  return kColours[rng.Below(kColourCount)];
}

void Paint(std::string& colours, int width, int x0, int y0, int w, int h, char colour) {
  const int height = static_cast<int>(colours.size()) / width;
  for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
      colours[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
          colour;
}

void AppendNumber(std::string& out, long value) {
  out += std::to_string(value);
}

// Code page 932 texts for the title block.
const char* const kLabels[] = {
    "\x90\x7d\x96\xca\x96\xbc",  // 図面名
    "\x8d\x48\x8e\x96\x96\xbc",  // 工事名
    "\x8f\x6b\x8e\xda",          // 縮尺
    "Drawn by",
    "Checked",
    "Date",
};
const char* const kTexts[] = {
    "1\x8a\x4b\x95\xbd\x96\xca\x90\x7d",                          // 1階平面図
    "\x81\x5a\x81\x5a\x93\x40 \x90\x56\x92\x7a\x8d\x48\x8e\x96",  // 〇〇邸 新築工事
    "1/100",
    "Plan, \\\"rev B\\\"",
    "A-101",
};
// Item labels and texts of the "full" corpus: code page 932 characters only, quotes escaped.
const char* const kJapaneseLabels[] = {
    "\x90\x7d\x96\xca\x96\xbc",  // 図面名
    "\x8d\x48\x8e\x96\x96\xbc",  // 工事名
    "\x90\xdd\x8c\x76\x8e\xd2",  // 設計者
    "\x8a\x6d\x94\x46",          // 確認
    "\x93\xfa\x95\x74",          // 日付
};
const char* const kJapaneseTexts[] = {
    "\x82\x50\x8a\x4b\x95\xbd\x96\xca\x90\x7d",                          // １階平面図
    "\x81\x5a\x81\x5a\x93\x40\x81\x40\x90\x56\x92\x7a\x8d\x48\x8e\x96",  // 〇〇邸　新築工事
    "\x93\x8c\x8b\x9e\x93\x73\x90\xe7\x91\xe3\x93\x63\x8b\xe6",          // 東京都千代田区
    "\x90\xdd\x94\xf5\x90\x7d\x81\x45\x93\x64\x8b\x43",                  // 設備図・電気
    "\x8d\x5c\x91\xa2\x90\x7d\x81\x69\x89\xfc\x92\xf9\x82\x61\x81\x6a",  // 構造図（改訂Ｂ）
    "\x83\x5c\x83\x74\x83\x67\\\"\x95\x5c\\\"",  // ソフト\"表\" (trail-byte backslashes)
};

}  // namespace

std::uint64_t Rng::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint32_t Rng::Below(std::uint32_t bound) {
  if (bound == 0) throw std::invalid_argument("Rng::Below(0)");
  return static_cast<std::uint32_t>(Next() % bound);
}

const char* PreviewKindName(PreviewKind kind) {
  switch (kind) {
    case PreviewKind::Typical:
      return "typical";
    case PreviewKind::AllPlain:
      return "all_plain";
    case PreviewKind::ShortRuns:
      return "short_runs";
    case PreviewKind::MixedRandom:
      return "mixed_random";
    case PreviewKind::LongRuns:
      return "long_runs";
    case PreviewKind::Noisy:
      return "noisy";
  }
  return "?";
}

std::string TypicalColours(Rng& rng, int width, int height) {
  std::string c(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), '0');
  if (c.empty()) return c;
  // Sheet border and title block.
  Paint(c, width, 2, 2, width - 4, 1, '7');
  Paint(c, width, 2, height - 3, width - 4, 1, '7');
  Paint(c, width, 2, 2, 1, height - 4, '7');
  Paint(c, width, width - 3, 2, 1, height - 4, '7');
  Paint(c, width, width * 2 / 3, height * 4 / 5, width / 3 - 3, 1, '7');
  Paint(c, width, width * 2 / 3, height * 4 / 5, 1, height / 5 - 3, '7');
  // Walls, grid lines and coloured boxes.
  for (int i = 0; i < 24; ++i) {
    int x = static_cast<int>(rng.Below(static_cast<std::uint32_t>(width)));
    int y = static_cast<int>(rng.Below(static_cast<std::uint32_t>(height)));
    int len = 8 + static_cast<int>(rng.Below(static_cast<std::uint32_t>(width / 2)));
    if (i % 2 == 0)
      Paint(c, width, x, y, len, 1, '7');
    else
      Paint(c, width, x, y, 1, len / 2, '7');
  }
  for (int i = 0; i < 10; ++i) {
    int x = static_cast<int>(rng.Below(static_cast<std::uint32_t>(width)));
    int y = static_cast<int>(rng.Below(static_cast<std::uint32_t>(height)));
    int w = 4 + static_cast<int>(rng.Below(40));
    int h = 4 + static_cast<int>(rng.Below(30));
    char colour = "12456:;"[rng.Below(7)];
    Paint(c, width, x, y, w, 1, colour);
    Paint(c, width, x, y + h, w, 1, colour);
    Paint(c, width, x, y, 1, h, colour);
    Paint(c, width, x + w, y, 1, h + 1, colour);
  }
  // Dimension texts: short stretches of scattered pixels.
  for (int i = 0; i < 40; ++i) {
    int x = static_cast<int>(rng.Below(static_cast<std::uint32_t>(width)));
    int y = static_cast<int>(rng.Below(static_cast<std::uint32_t>(height)));
    for (int k = 0; k < 12; ++k)
      if (rng.Below(2)) Paint(c, width, x + k, y, 1, 1, '6');
  }
  return c;
}

std::string PreviewText(PreviewKind kind, Rng& rng, int width, int height) {
  const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::string out;
  switch (kind) {
    case PreviewKind::Typical:
      return test::EncodeColorChars(TypicalColours(rng, width, height));
    case PreviewKind::AllPlain:
      for (std::size_t i = 0; i < total; ++i) out += kColours[i % kColourCount];
      return out;
    case PreviewKind::ShortRuns: {
      std::size_t painted = 0;
      for (std::size_t i = 0; total - painted >= 4; ++i, painted += 4)
        out += EncodeRun(kColours[i % kColourCount], 4);
      if (painted < total) out += EncodeRun('7', total - painted);
      return out;
    }
    case PreviewKind::MixedRandom: {
      std::size_t painted = 0;
      while (painted < total) {
        std::size_t left = total - painted;
        std::size_t want;
        // Mostly single pixels and short runs, so that items are many and their form unpredictable.
        const std::uint32_t pick = rng.Below(20);
        if (pick < 12)
          want = 1;
        else if (pick < 19)
          want = 4 + rng.Below(5);
        else
          want = 99 + rng.Below(22);
        want = std::min(want, left);
        out += EncodeRun(RandomColour(rng), want);
        painted += want;
      }
      return out;
    }
    case PreviewKind::Noisy: {
      std::string colours(total, '0');
      for (char& c : colours)
        if (rng.Below(10) < 3) c = RandomColour(rng);
      return test::EncodeColorChars(colours);
    }
    case PreviewKind::LongRuns: {
      std::size_t painted = 0;
      for (std::size_t i = 0; painted < total; ++i) {
        std::size_t want = std::min<std::size_t>(9000 + 1000 * i, total - painted);
        out += EncodeRun(kColours[i % kColourCount], want);
        painted += want;
      }
      return out;
    }
  }
  return out;
}

std::string ImageRecords(int width, int height, std::string_view encoded) {
  test::ImageLayout layout;
  layout.lineLength = 200;
  return test::ImageRecord(width, height, encoded, layout);
}

std::string TypicalHeaderRecords(Rng& rng, bool japaneseItems) {
  std::string out = "Version\t2.1\n";
  auto date = [&](const char* keyword) {
    out += keyword;
    out += '\t';
    AppendNumber(out, 1995 + rng.Below(35));
    out += ',';
    AppendNumber(out, 1 + rng.Below(12));
    out += ',';
    AppendNumber(out, 1 + rng.Below(28));
    out += ',';
    AppendNumber(out, rng.Below(24));
    out += ',';
    AppendNumber(out, rng.Below(60));
    out += '\n';
  };
  date("Date");
  date("Update");
  out += "Elms\t";
  AppendNumber(out, rng.Below(200000));
  out += "\nFrame\t";
  static const char* const kSheets[] = {"A0,1189,841", "A1,841,594", "A2,594,420", "A3,420,297",
                                        "A4T,297,210"};
  out += kSheets[rng.Below(5)];
  out += ",1,";
  static const int kScales[] = {1, 20, 50, 100, 200, 500};
  AppendNumber(out, kScales[rng.Below(6)]);
  out += ",0,0\nFtype\t";
  AppendNumber(out, rng.Below(3));
  out += '\n';
  for (int item = 0; item < 20; ++item) {
    out += "Note\t";
    AppendNumber(out, item);
    out += ",1,\"";
    if (japaneseItems) {
      out += kJapaneseLabels[rng.Below(sizeof kJapaneseLabels / sizeof *kJapaneseLabels)];
      out += "\",\"";
      out += kJapaneseTexts[rng.Below(sizeof kJapaneseTexts / sizeof *kJapaneseTexts)];
    } else {
      out += kLabels[rng.Below(sizeof kLabels / sizeof *kLabels)];
      out += "\",\"";
      out += kTexts[rng.Below(sizeof kTexts / sizeof *kTexts)];
    }
    out += "\"\n";
  }
  return out;
}

Drawing MakeDrawing(std::uint64_t seed, const DrawingOptions& options) {
  Rng rng(seed);
  Drawing d;
  d.bytes = TypicalHeaderRecords(rng, options.japaneseItems);
  if (options.withPreview)
    d.bytes += ImageRecords(kFullWidth, kFullHeight, PreviewText(options.preview, rng));
  d.bytes += "Fbreak\n";
  d.headerBytes = d.bytes.size();
  // The body: elements the viewer never reads.
  while (d.bytes.size() < d.headerBytes + options.bodyBytes) {
    static const char* const kElements[] = {"Line", "Arc", "Text", "Dim"};
    d.bytes += kElements[rng.Below(4)];
    d.bytes += '\t';
    for (int k = 0; k < 6; ++k) {
      if (k) d.bytes += ',';
      AppendNumber(d.bytes, rng.Below(100000));
      d.bytes += '.';
      AppendNumber(d.bytes, rng.Below(10));
    }
    d.bytes += '\n';
  }
  return d;
}

DrawingOptions CorpusOptions(const std::string& name) {
  DrawingOptions options;
  if (name == "full") {
    options.preview = PreviewKind::Noisy;
    options.japaneseItems = true;
  } else if (name != "typical") {
    throw std::invalid_argument("unknown corpus: " + name);
  }
  return options;
}

const char* CraftedKindName(CraftedKind kind) {
  switch (kind) {
    case CraftedKind::ManyFields:
      return "continued record, many fields";
    case CraftedKind::LongFields:
      return "continued record, long fields";
    case CraftedKind::EndlessHeader:
      return "endless header (sparse)";
    case CraftedKind::ManyPictures:
      return "many full-size pictures";
  }
  return "?";
}

void WriteCraftedDrawing(const std::string& path, CraftedKind kind, std::uint64_t bytes) {
  const std::string head = "Version\t1\nElms\t7\n";
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f) throw std::runtime_error("cannot create " + path);
    std::string text = head;
    if (kind != CraftedKind::EndlessHeader) {
      // Lines of at most 255 bytes, each ending in the continuation ",\".
      // A picture of 256 x 181 pixels from one run; or lines of a record continued by ",\".
      const std::string line = kind == CraftedKind::ManyPictures ? "Image\t0,256,181,1,5\nP\t#%6t1\n"
                               : kind == CraftedKind::ManyFields ? std::string(252, ',') + "\\\n"
                                                                 : std::string(250, 'a') + ",\\\n";
      if (kind != CraftedKind::ManyPictures) text += "Note\t0,x,\\\n";
      std::string block;
      while (block.size() < 64 * 1024) block += line;
      for (std::uint64_t written = 0; written < bytes; written += block.size()) {
        if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size())
          throw std::runtime_error("cannot write " + path);
        text = block;
      }
      text += "\nFbreak\n";
    }
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() || std::fclose(f.release()) != 0)
      throw std::runtime_error("cannot write " + path);
  }
  if (kind == CraftedKind::EndlessHeader) std::filesystem::resize_file(path, bytes);
}

}  // namespace sheetpeek::bench
