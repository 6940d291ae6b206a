#include "LayoutPaint.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "Cp932.h"
#include "Orvicheader.h"

namespace sheetpeek {
namespace {

// Inner padding of a field's text and the label's distance from its field, at scale 1.
constexpr int kFieldPadding = 3;
constexpr int kLabelSpacing = 3;

class Painter {
 public:
  explicit Painter(double scale) : scale_(scale), line_(std::max(1, static_cast<int>(scale))) {}

  int At(int v) const { return static_cast<int>(std::floor(v * scale_ + 0.5)); }

  // The control's rectangle in the client area, scaled.
  PaintRect Place(const ControlLayout& c) const {
    int left = c.left, top = c.top;
    for (int p = c.parent; p != kClientArea; p = kWindowLayout[static_cast<std::size_t>(p)].parent) {
      left += kWindowLayout[static_cast<std::size_t>(p)].left;
      top += kWindowLayout[static_cast<std::size_t>(p)].top;
    }
    return {At(left), At(top), At(left + c.width), At(top + c.height)};
  }

  void Fill(const PaintRect& r, PaintColor color) {
    if (r.right > r.left && r.bottom > r.top) ops.push_back({PaintKind::Fill, r, color});
  }

  // A 1-pixel bevel at scale 1, as thick as the scale's whole part.
  void Bevel(const PaintRect& r, bool raised) {
    const PaintColor topLeft = raised ? PaintColor::Light : PaintColor::Dark;
    const PaintColor bottomRight = raised ? PaintColor::Dark : PaintColor::Light;
    Fill({r.left, r.top, r.right, r.top + line_}, topLeft);
    Fill({r.left, r.top, r.left + line_, r.bottom}, topLeft);
    Fill({r.left, r.bottom - line_, r.right, r.bottom}, bottomRight);
    Fill({r.right - line_, r.top, r.right, r.bottom}, bottomRight);
  }

  void Text(const PaintRect& box, const PaintRect& clip, std::string text, const FontSpec& font,
            TextAlign align) {
    if (text.empty()) return;
    PaintOp op{PaintKind::Text, box, PaintColor::Text};
    op.text = std::move(text);
    op.face = font.face;
    op.pixelHeight = std::max(1, At(font.pixelHeight));
    op.align = align;
    op.clip = clip;
    ops.push_back(std::move(op));
  }

  PaintRect Inner(const PaintRect& r) const {
    return {r.left + line_, r.top + line_, r.right - line_, r.bottom - line_};
  }

  std::vector<PaintOp> ops;

 private:
  double scale_;
  int line_;
};

std::string Shown(const ShownText& t) {
  return t.coding == TextCoding::Cp932 ? Cp932ToUtf8(t.text) : SanitizeUtf8(t.text);
}

}  // namespace

double LayoutScale(int width, int height) {
  const double scale = std::min(static_cast<double>(width) / kWindow.clientWidth,
                                static_cast<double>(height) / kWindow.clientHeight);
  return std::max(scale, 1.0 / 8);
}

int PictureFactor(double scale) {
  return std::max(1, static_cast<int>(std::floor(scale)));
}

LayoutPainting PaintLayout(const COrvicHeader* header, int width, int height) {
  LayoutPainting out;
  out.scale = LayoutScale(width, height);
  Painter p(out.scale);
  p.Fill({0, 0, std::max(width, 0), std::max(height, 0)}, PaintColor::Face);

  std::array<std::string, kControlCount> texts, labels;
  for (const ControlLayout& c : kWindowLayout) labels[IndexOf(c.id)] = c.caption;
  // The item labels stay empty until a drawing is shown, as in the window.
  for (int n = 1; n <= static_cast<int>(kItemFieldCount); ++n) labels[IndexOf(ItemControl(n))].clear();
  if (header != nullptr) {
    for (const ShownText& t : DrawingTexts(*header))
      (t.part == TextPart::Label ? labels : texts)[IndexOf(t.control)] = Shown(t);
  }

  const PaintRect whole{0, 0, std::max(width, 0), std::max(height, 0)};
  for (const ControlLayout& c : kWindowLayout) {
    if (!c.visible || c.kind == ControlKind::Button || c.kind == ControlKind::Image) continue;
    const PaintRect r = p.Place(c);
    const FontSpec& font = FontOf(c.font);
    switch (c.kind) {
      case ControlKind::Panel:
        p.Bevel(r, c.bevel != PanelBevel::Lowered);
        break;
      case ControlKind::Label:
        p.Text(r, whole, c.caption, font, TextAlign::Left);
        break;
      case ControlKind::LabeledEdit: {
        p.Bevel(r, false);
        const PaintRect inner = p.Inner(r);
        p.Text({inner.left + p.At(kFieldPadding), inner.top, inner.right, inner.bottom}, inner,
               texts[IndexOf(c.id)], font, TextAlign::Left);
        // The label ends left of the field, whatever its width; the window's font draws it.
        const PaintRect label{0, r.top, r.left - p.At(kLabelSpacing), r.bottom};
        p.Text(label, whole, labels[IndexOf(c.id)], kWindowFont, TextAlign::Right);
        break;
      }
      default:
        break;
    }
  }

  const PaintRect panel = p.Place(LayoutOf(ControlId::PnlImage));
  const PaintRect inside = p.Inner(panel);
  const PreviewBitmap* bitmap = header != nullptr && header->HasImage ? header->ImageBitmap.get() : nullptr;
  if (bitmap != nullptr && bitmap->Width() > 0 && bitmap->Height() > 0) {
    out.picture = ToIndexedImage(*bitmap);
    const int k = PictureFactor(out.scale);
    const int w = out.picture.width * k, h = out.picture.height * k;
    // Centred in the panel, bevel included, the halved difference taken in whole preview
    // pixels as the window takes it at scale 1, so that each scale shows the window enlarged.
    const auto half = [k](int room, int size) {
      return static_cast<int>(std::floor(static_cast<double>(room - size) / (2.0 * k))) * k;
    };
    const int left = panel.left + half(panel.Width(), w), top = panel.top + half(panel.Height(), h);
    PaintOp op{PaintKind::Picture, {left, top, left + w, top + h}};
    op.factor = k;
    op.clip = inside;
    p.ops.push_back(std::move(op));
  } else if (header != nullptr && (bitmap == nullptr || !header->HasImage)) {
    p.Text(inside, inside, kNoImageText, kWindowFont, TextAlign::Center);
  }
  out.ops = std::move(p.ops);
  return out;
}

}  // namespace sheetpeek
