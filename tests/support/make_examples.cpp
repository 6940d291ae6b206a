// Writes the sample drawings of examples/ into the folder given as its argument. Texts are
// code page 932; each is spelled as hex bytes with the characters in a comment.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "PreviewEncoder.h"

namespace {

using sheetpeek::test::EncodePixels;
using sheetpeek::test::ImageLayout;
using sheetpeek::test::ImageRecord;

std::string Hex(const char* hex) {
  std::string out;
  for (const char* p = hex; p[0] != '\0' && p[1] != '\0'; p += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
  }
  return out;
}

std::string Note(int item, const std::string& label, const std::string& text) {
  return "Note\t" + std::to_string(item) + ",1,\"" + label + "\",\"" + text + "\"\n";
}

// Palette indices used by the floor plan.
enum : std::uint8_t {
  kBlack = 0,
  kDarkYellow = 3,
  kGrey = 7,
  kRed = 9,
  kGreen = 10,
  kBlue = 12,
  kWhite = 15
};

class Canvas {
 public:
  Canvas(int width, int height)
      : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), kWhite) {}
  void Fill(int x0, int y0, int x1, int y1, std::uint8_t colour) {  // inclusive corners
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Set(x, y, colour);
  }
  void Frame(int x0, int y0, int x1, int y1, std::uint8_t colour) {
    Fill(x0, y0, x1, y0, colour);
    Fill(x0, y1, x1, y1, colour);
    Fill(x0, y0, x0, y1, colour);
    Fill(x1, y0, x1, y1, colour);
  }
  void Set(int x, int y, std::uint8_t colour) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_)
      pixels_[static_cast<std::size_t>(y * width_ + x)] = colour;
  }
  const std::vector<std::uint8_t>& pixels() const { return pixels_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> pixels_;
};

// A small house plan: outer walls, three rooms with doors, windows, a table and a bath.
std::vector<std::uint8_t> FloorPlan(int w, int h) {
  Canvas c(w, h);
  const int l = 8, t = 8, r = w - 9, b = h - 9;
  // Outer walls, three pixels thick.
  c.Fill(l, t, r, t + 2, kBlack);
  c.Fill(l, b - 2, r, b, kBlack);
  c.Fill(l, t, l + 2, b, kBlack);
  c.Fill(r - 2, t, r, b, kBlack);
  // Inner walls: living room on the left, two rooms on the right.
  const int mid = 70, cross = 55, upper = 110;
  c.Fill(mid, t, mid + 1, b, kBlack);
  c.Fill(mid, cross, r, cross + 1, kBlack);
  c.Fill(upper, t, upper + 1, cross, kBlack);
  // Door openings with their leaves in red.
  c.Fill(mid, 38, mid + 1, 50, kWhite);
  for (int i = 0; i <= 12; ++i) c.Set(mid + 2 + i, 38 + i / 2, kRed);
  c.Fill(95, cross, 107, cross + 1, kWhite);
  for (int i = 0; i <= 12; ++i) c.Set(95 + i, cross - 2 - i / 2, kRed);
  c.Fill(upper, 18, upper + 1, 30, kWhite);
  for (int i = 0; i <= 12; ++i) c.Set(upper + 2 + i / 2, 18 + i, kRed);
  // Entrance in the bottom wall.
  c.Fill(28, b - 2, 44, b, kWhite);
  for (int i = 0; i <= 16; ++i) c.Set(28 + i, b - 3 - i / 2, kRed);
  // Windows: blue glass across the outer walls.
  for (int x0 : {20, 84, 122}) c.Fill(x0, t, x0 + 20, t + 2, kGrey), c.Fill(x0, t + 1, x0 + 20, t + 1, kBlue);
  c.Fill(l, 30, l + 2, 60, kGrey);
  c.Fill(l + 1, 30, l + 1, 60, kBlue);
  c.Fill(90, b - 2, 130, b, kGrey);
  c.Fill(90, b - 1, 130, b - 1, kBlue);
  // Dining table with chairs in the living room.
  c.Fill(30, 35, 50, 50, kDarkYellow);
  for (int x : {33, 45}) c.Fill(x, 31, x + 2, 33, kGreen), c.Fill(x, 52, x + 2, 54, kGreen);
  // Bath in the lower right room.
  c.Frame(r - 30, cross + 8, r - 6, b - 8, kBlue);
  c.Fill(r - 28, cross + 10, r - 8, b - 10, kGrey);
  return c.pixels();
}

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

std::string PlanWithPreview() {
  std::string d;
  d += "Version\t2.1\n";
  d += "Date\t2024,5,14,9,30\n";
  d += "Update\t2025,2,3,16,5\n";
  d += "Elms\t1532\n";
  d += "Frame\tA3,420,297,1,50,0,0\n";
  d += "Ftype\t0\n";
  d += Note(0, Hex("907d96ca96bc"), Hex("318a4b95bd96ca907d"));                  // 図面名, 1階平面図
  d += Note(1, Hex("8d488e9696bc"), Hex("815a815a976c9340209056927a8d488e96"));  // 工事名, 〇〇様邸 新築工事
  d += Note(2, Hex("8f6b8eda"), "1/50");                                         // 縮尺
  d += Note(3, Hex("907d96ca94d48d86"), "A-101");                                // 図面番号
  d += Note(18, Hex("93fa9574"), Hex("32303234944e358c8e313493fa"));             // 日付, 2024年5月14日
  d += Note(19, Hex("90dd8c768ed2"), Hex("97e996d82088ea9859"));                 // 設計者, 鈴木 一郎
  const int w = 160, h = 100;
  d += ImageRecord(w, h, EncodePixels(FloorPlan(w, h)), ImageLayout{"1", "P", 200});
  d += "Fbreak\n";
  // The body: never read by the viewer.
  d += "Line\t0,0,420,297\nLine\t10,10,410,10\nText\t20,20,\"" + Hex("318a4b95bd96ca907d") + "\"\n";
  return d;
}

std::string TitleBlock() {
  std::string d;
  d += "Version\t2.0\n";
  d += "Date\t2021,10,1,13,0\n";
  d += "Update\t2022,3,28,18,42\n";
  d += "Elms\t87311\n";
  d += "Frame\tA1,841,594,1,200,0,0\n";
  d += "Ftype\t2\n";
  struct Item {
    const char* label;
    const char* text;
  };
  const Item items[20] = {
      {"907d96ca96bc", "947a9275907d"},                              // 図面名: 配置図
      {"8d488e9696bc", "8f5a91ee89fc8f438d488e96"},                  // 工事名: 住宅改修工事
      {"8f8a8ddd926e", "938c8b9e937390a29363924a8be6"},              // 所在地: 東京都世田谷区
      {"8d5c91a2", "96d891a2328a4b8c9a82c4"},                        // 構造: 木造2階建て
      {"957e926e96ca90cf", "3136352e33308775"},                      // 敷地面積: 165.30㎡
      {"89848fb096ca90cf", "3133322e34388775"},                      // 延床面積: 132.48㎡
      {"8f6b8eda", "312f323030"},                                    // 縮尺: 1/200
      {"97708e86", "4131"},                                          // 用紙: A1
      {"907d96ca94d48d86", "532d303031"},                            // 図面番号: S-001
      {"96879094", "31202f203132"},                                  // 枚数: 1 / 12
      {"94c5", "91e63194c5"},                                        // 版: 第1版
      {"89ef8ed096bc", "8349838b83728362834e90dd8c768e9696b18f8a"},  // 会社名: オルビック設計事務所
      {"8fb39446", "8db293a1208e9f9859"},                            // 承認: 佐藤 次郎
      {"8fc68db8", "8d828bb4208e4f9859"},                            // 照査: 高橋 三郎
      {"90dd8c768ed2", "936392862089d48e71"},                        // 設計者: 田中 花子
      {"8dec907d", "97e996d82088ea9859"},                            // 作図: 鈴木 一郎
      {"92539396", "93639286"},                                      // 担当: 田中
      {"8e64976c", "90dd94f5907d8e518fc6"},                          // 仕様: 設備図参照
      {"93fa9574", "32303232944e338c8e323893fa"},                    // 日付: 2022年3月28日
      {"94f58d6c", ""},                                              // 備考: (empty)
  };
  for (int i = 0; i < 20; ++i) d += Note(i, Hex(items[i].label), Hex(items[i].text));
  d += "Fbreak\n";
  d += "Line\t0,0,841,594\n";
  return d;
}

// The read stops at the "Frame" record, which lacks its last two fields: what came before stays.
std::string BrokenFrame() {
  std::string d;
  d += "Version\t2.1\n";
  d += "Date\t2023,8,20,11,15\n";
  d += "Elms\t240\n";
  d += Note(0, Hex("907d96ca96bc"), Hex("318a4b95bd96ca907d"));  // 図面名, 1階平面図
  d += "Frame\tA2,594,420,1,100\n";
  d += "Update\t2023,9,1,10,0\n";
  d += Note(1, Hex("8d488e9696bc"), Hex("9056927a8d488e96"));  // 工事名, 新築工事
  d += "Ftype\t0\n";
  d += "Fbreak\n";
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok = Write(folder + "/plan_with_preview.cad", PlanWithPreview()) &&
                  Write(folder + "/title_block.cad", TitleBlock()) &&
                  Write(folder + "/broken_frame.cad", BrokenFrame());
  if (!ok) std::fprintf(stderr, "%s: cannot write into %s\n", argv[0], folder.c_str());
  return ok ? 0 : 1;
}
