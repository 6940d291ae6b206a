// The drawing-information window's fixed layout and the texts it shows of a header. Both
// viewers build their window from this one table, so neither keeps its own copy of a place,
// a size or a caption.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace sheetpeek {

class COrvicHeader;

// Every control of the window, in the order of creation; the names are the window's own.
enum class ControlId : int {
  Panel2,
  lbleditDate,
  lbleditUpdate,
  lbleditElms,
  lbleditSize,
  lbleditScal,
  lbleditFiletype,
  Panel1,
  Label1,
  Label2,
  lbleditItem1,
  lbleditItem20 = lbleditItem1 + 19,
  lbleditFolder,
  lbleditFile,
  PnlImage,
  ImageOrvic,
  btnClose,
};
constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::btnClose) + 1;
constexpr std::size_t kItemFieldCount = 20;

constexpr std::size_t IndexOf(ControlId id) {
  return static_cast<std::size_t>(id);
}
// The field of item n, 1 to 20.
constexpr ControlId ItemControl(int n) {
  return static_cast<ControlId>(static_cast<int>(ControlId::lbleditItem1) + n - 1);
}

enum class ControlKind { Panel, LabeledEdit, Label, Image, Button };
enum class PanelBevel { None, Raised, Lowered };

struct FontSpec {
  const char* face;  // UTF-8
  int pixelHeight;
  bool proportional;
};
constexpr FontSpec kWindowFont = {"ＭＳ Ｐゴシック", 12, true};
constexpr FontSpec kFixedFont = {"ＭＳ ゴシック", 15, false};
constexpr FontSpec kHeadingFont = {"ＭＳ Ｐゴシック", 13, true};

enum class LayoutFont { Window, Fixed, Heading };
const FontSpec& FontOf(LayoutFont font);

// The window's client area is the parent of the controls that name no other.
constexpr int kClientArea = -1;

struct ControlLayout {
  ControlId id;
  const char* name;
  ControlKind kind;
  int parent;  // kClientArea or the index of a panel
  int left, top, width, height;
  // UTF-8: a field's label, a panel's, heading's or button's caption; empty when none.
  const char* caption;
  LayoutFont font;
  int tabOrder;  // -1: none
  PanelBevel bevel;
  bool visible;
};

extern const std::array<ControlLayout, kControlCount> kWindowLayout;

inline const ControlLayout& LayoutOf(ControlId id) {
  return kWindowLayout[IndexOf(id)];
}

struct WindowSpec {
  const char* caption;
  const char* className;
  int clientWidth;
  int clientHeight;
};
constexpr WindowSpec kWindow = {"図面情報", "TfrmRaderAver", 648, 470};

// The one menu, File, and its two items.
struct MenuSpec {
  const char* name;
  const char* caption;
};
constexpr MenuSpec kFileMenu = {"F1", "ファイル（&F)"};
constexpr MenuSpec kOpenItem = {"MMOpenfile", "開く(&O)"};
constexpr MenuSpec kEndItem = {"MMEnd", "終了(&X)"};

// The right-click menu, which the menu bar leaves out: the folder steps in the order of
// FolderStep (next, previous, first, last), a separator, then the copy.
constexpr std::array<const char*, 4> kStepCaptions = {"次の図面(&N)", "前の図面(&P)", "最初の図面(&H)",
                                                      "最後の図面(&E)"};
constexpr const char* kCopyCaption = "コピー(&C)";
// The register of the shown drawing's folder: the menu item and the workbook's suggested name.
constexpr const char* kRegisterCaption = "図面台帳を作成…";
constexpr const char* kRegisterFileName = "図面台帳.xlsx";

// The open dialog's one filter.
constexpr const char* kOpenFilterName = "Orvic (*.cad)";
constexpr const char* kOpenFilterPattern = "*.cad";

// The picture panel's caption when the drawing carries no picture.
constexpr const char* kNoImageText = "イメージデータなし";
// The picture control's drawing surface: its size from the window's creation on.
constexpr int kSurfaceWidth = 256;
constexpr int kSurfaceHeight = 181;

struct PicturePlace {
  int left;
  int top;
};
// Where a picture of this size stands in the picture panel: the panel's outer size minus the
// picture's, each taken as an unsigned 32-bit value and halved.
PicturePlace PreviewPlace(int width, int height);

// The layout is drawn for 96 dots per inch; a window on a screen of `dpi` scales it.
constexpr int kLayoutDpi = 96;

// A coordinate or font height of the layout at `dpi`, rounded to the nearest pixel.
int ScaleToDpi(int length, int dpi);

struct LayoutRect {
  int left, top, width, height;
};
// A control's rectangle at `dpi`. Its edges are scaled, not its size, so fields that touch at
// 96 dpi touch at any scale.
LayoutRect ScaledRect(const ControlLayout& control, int dpi);

// The preview's whole-number enlargement at `dpi`, so that its pixels stay sharp: dpi / 96
// rounded down, at least 1.
int PreviewScale(int dpi);

// Where a picture of `width` x `height`, shown at PreviewScale(dpi), stands in the picture
// panel at `dpi`; PreviewPlace at 96 dpi.
PicturePlace ScaledPreviewPlace(int width, int height, int dpi);

// The enlarged preview's factor: the largest of 4, 3 and 2 at which a picture of `width` x
// `height` fits into `roomWidth` x `roomHeight`; 2 when none does.
int ZoomFactor(int width, int height, int roomWidth, int roomHeight);

// What ShowDrawingInfo puts into one field.
enum class TextPart { Text, Label };
enum class TextCoding {
  FileName,  // the file system's bytes
  Cp932,
};
struct ShownText {
  ControlId control;
  TextPart part;
  TextCoding coding;
  std::string text;
};

// The texts of a header for the fields, in the order they are set: folder, file, the six
// header fields, then the label and text of each of the twenty items.
std::vector<ShownText> DrawingTexts(const COrvicHeader& header);

}  // namespace sheetpeek
