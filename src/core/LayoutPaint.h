// The window's layout painted into any rectangle at any scale, as a list of fills, texts and
// one picture that each platform draws with its own calls: the Explorer preview pane draws it
// with GDI, the Linux tests with QPainter.
#pragma once

#include <string>
#include <vector>

#include "Thumbnail.h"
#include "WindowLayout.h"

namespace sheetpeek {

class COrvicHeader;

struct PaintRect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// Colours by role; the host gives each role its colour (the pane's background and text colour
// for Face and Text, lighter and darker shades of Face for the bevels).
enum class PaintColor { Face, Text, Light, Dark };
enum class TextAlign { Left, Right, Center };  // always centred vertically

enum class PaintKind { Fill, Text, Picture };
struct PaintOp {
  PaintKind kind = PaintKind::Fill;
  // Fill: the area; Text: the box it is aligned in (it may run over the box: only `clip` bounds
  // it, as a label runs on beyond its size); Picture: the enlarged picture's place.
  PaintRect rect{};
  PaintColor color = PaintColor::Face;
  std::string text{};          // UTF-8, one line, never markup
  const char* face = nullptr;  // UTF-8, the layout's face
  int pixelHeight = 0;         // character height, scaled
  TextAlign align = TextAlign::Left;
  int factor = 1;    // Picture: each preview pixel becomes factor x factor pixels
  PaintRect clip{};  // Text and Picture: nothing is drawn outside it
};

struct LayoutPainting {
  double scale = 1;
  std::vector<PaintOp> ops;  // in drawing order, later ones over earlier ones
  IndexedImage picture;      // what the Picture op shows; empty when there is none
};

// The scale at which the window's client area fits into width x height; never below 1/8.
double LayoutScale(int width, int height);
// The preview's enlargement at `scale`: the largest whole number not above it, at least 1.
int PictureFactor(double scale);

// The layout with `header`'s texts and picture (an empty window when null) scaled to fit into
// width x height from its top-left corner. The close button, the hidden folder field and the
// menu are left out: the pane is no window of its own.
LayoutPainting PaintLayout(const COrvicHeader* header, int width, int height);

}  // namespace sheetpeek
