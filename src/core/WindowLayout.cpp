#include "WindowLayout.h"

#include <algorithm>
#include <cstdint>

#include "Orvicheader.h"

namespace sheetpeek {

namespace {

using K = ControlKind;
using F = LayoutFont;
using B = PanelBevel;
using C = ControlId;
constexpr int kWin = kClientArea;
constexpr int kP2 = static_cast<int>(C::Panel2);
constexpr int kP1 = static_cast<int>(C::Panel1);
constexpr int kPI = static_cast<int>(C::PnlImage);

constexpr ControlLayout Item(int n, const char* name, int top) {
  return {ItemControl(n), name, K::LabeledEdit, kP1, 85, top, 212, 20, "", F::Window, n - 1, B::None, true};
}

}  // namespace

// Item 18 stands one pixel lower than the even 20-pixel step would put it. The spaces in the
// two headings are ideographic ones.
// clang-format off
const std::array<ControlLayout, kControlCount> kWindowLayout = {{
  {C::Panel2,          "Panel2",          K::Panel,       kWin, 12,  33,  301, 169, "",            F::Window,  0, B::Raised,  true},
  {C::lbleditDate,     "lbleditDate",     K::LabeledEdit, kP2,  84,  12,  209, 23,  "作成日時",     F::Fixed,   0, B::None,    true},
  {C::lbleditUpdate,   "lbleditUpdate",   K::LabeledEdit, kP2,  84,  37,  209, 23,  "更新日時",     F::Fixed,   1, B::None,    true},
  {C::lbleditElms,     "lbleditElms",     K::LabeledEdit, kP2,  84,  62,  209, 23,  " 要素数 ",     F::Fixed,   2, B::None,    true},
  {C::lbleditSize,     "lbleditSize",     K::LabeledEdit, kP2,  84,  88,  210, 23,  "図面サイズ",   F::Fixed,   3, B::None,    true},
  {C::lbleditScal,     "lbleditScal",     K::LabeledEdit, kP2,  84,  113, 209, 23,  "図面尺度",     F::Fixed,   4, B::None,    true},
  {C::lbleditFiletype, "lbleditFiletype", K::LabeledEdit, kP2,  84,  139, 209, 23,  "ファイルタイプ", F::Fixed, 5, B::None,    true},
  {C::Panel1,          "Panel1",          K::Panel,       kWin, 319, 5,   321, 429, "",            F::Window,  1, B::Raised,  true},
  {C::Label1,          "Label1",          K::Label,       kP1,  37,  8,   35,  13,  "項\u3000目",     F::Heading, -1, B::None,   true},
  {C::Label2,          "Label2",          K::Label,       kP1,  165, 8,   44,  13,  "内\u3000\u3000容", F::Heading, -1, B::None, true},
  Item(1, "lbleditItem1", 23),
  Item(2, "lbleditItem2", 43),
  Item(3, "lbleditItem3", 63),
  Item(4, "lbleditItem4", 83),
  Item(5, "lbleditItem5", 103),
  Item(6, "lbleditItem6", 123),
  Item(7, "lbleditItem7", 143),
  Item(8, "lbleditItem8", 163),
  Item(9, "lbleditItem9", 183),
  Item(10, "lbleditItem10", 203),
  Item(11, "lbleditItem11", 223),
  Item(12, "lbleditItem12", 243),
  Item(13, "lbleditItem13", 263),
  Item(14, "lbleditItem14", 283),
  Item(15, "lbleditItem15", 303),
  Item(16, "lbleditItem16", 323),
  Item(17, "lbleditItem17", 343),
  Item(18, "lbleditItem18", 364),
  Item(19, "lbleditItem19", 383),
  Item(20, "lbleditItem20", 403),
  {C::lbleditFolder,   "lbleditFolder",   K::LabeledEdit, kWin, 55,  441, 285, 23,  "フォルダ",     F::Fixed,   2, B::None,    false},
  {C::lbleditFile,     "lbleditFile",     K::LabeledEdit, kWin, 95,  5,   218, 23,  "ファイル名",   F::Fixed,   3, B::None,    true},
  {C::PnlImage,        "PnlImage",        K::Panel,       kWin, 7,   204, 305, 229, "PnlImage",    F::Window,  4, B::Lowered, true},
  {C::ImageOrvic,      "ImageOrvic",      K::Image,       kPI,  77,  44,  160, 149, "",            F::Window, -1, B::None,    true},
  {C::btnClose,        "btnClose",        K::Button,      kWin, 563, 437, 75,  25,  "閉じる",       F::Window,  5, B::None,    true},
}};
// clang-format on

const FontSpec& FontOf(LayoutFont font) {
  switch (font) {
    case LayoutFont::Fixed:
      return kFixedFont;
    case LayoutFont::Heading:
      return kHeadingFont;
    default:
      return kWindowFont;
  }
}

PicturePlace PreviewPlace(int width, int height) {
  return ScaledPreviewPlace(width, height, kLayoutDpi);
}

int ScaleToDpi(int length, int dpi) {
  if (dpi <= 0 || dpi == kLayoutDpi) return length;
  const long long scaled = static_cast<long long>(length) * dpi;
  // Halves away from zero, as the system's MulDiv rounds.
  return static_cast<int>((scaled + (scaled < 0 ? -kLayoutDpi / 2 : kLayoutDpi / 2)) / kLayoutDpi);
}

LayoutRect ScaledRect(const ControlLayout& c, int dpi) {
  const int left = ScaleToDpi(c.left, dpi);
  const int top = ScaleToDpi(c.top, dpi);
  return {left, top, ScaleToDpi(c.left + c.width, dpi) - left, ScaleToDpi(c.top + c.height, dpi) - top};
}

int PreviewScale(int dpi) {
  return std::max(1, dpi / kLayoutDpi);
}

PicturePlace ScaledPreviewPlace(int width, int height, int dpi) {
  const LayoutRect panel = ScaledRect(LayoutOf(ControlId::PnlImage), dpi);
  const int scale = PreviewScale(dpi);
  // Each difference taken as an unsigned 32-bit value and halved, as the panel has always done.
  const std::uint32_t left = (static_cast<std::uint32_t>(panel.width) -
                              static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(scale)) >>
                             1;
  const std::uint32_t top = (static_cast<std::uint32_t>(panel.height) -
                             static_cast<std::uint32_t>(height) * static_cast<std::uint32_t>(scale)) >>
                            1;
  return {static_cast<int>(left), static_cast<int>(top)};
}

int ZoomFactor(int width, int height, int roomWidth, int roomHeight) {
  for (int factor = 4; factor > 2; --factor) {
    if (static_cast<long long>(width) * factor <= roomWidth &&
        static_cast<long long>(height) * factor <= roomHeight)
      return factor;
  }
  return 2;
}

std::vector<ShownText> DrawingTexts(const COrvicHeader& h) {
  using P = TextPart;
  using T = TextCoding;
  std::vector<ShownText> texts = {
      {C::lbleditFolder, P::Text, T::FileName, h.Folder},
      {C::lbleditFile, P::Text, T::FileName, h.FileName},
      {C::lbleditDate, P::Text, T::Cp932, h.DateText(h.CreateDate)},
      {C::lbleditUpdate, P::Text, T::Cp932, h.DateText(h.UpdateDate)},
      {C::lbleditElms, P::Text, T::Cp932, h.ElementCountText()},
      {C::lbleditSize, P::Text, T::Cp932, h.SizeText},
      {C::lbleditScal, P::Text, T::Cp932, h.ScaleText},
      {C::lbleditFiletype, P::Text, T::Cp932, h.FileKindText()},
  };
  texts.reserve(texts.size() + 2 * kItemFieldCount);
  for (std::size_t i = 0; i < kItemFieldCount; ++i) {
    const ControlId field = ItemControl(static_cast<int>(i) + 1);
    texts.push_back({field, P::Label, T::Cp932, h.NoteLabel[i]});
    texts.push_back({field, P::Text, T::Cp932, h.NoteText[i]});
  }
  return texts;
}

}  // namespace sheetpeek
