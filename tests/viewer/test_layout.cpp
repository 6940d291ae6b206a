// The window's fixed layout: sizes, places, texts, fonts and focus of every control.
#include <gtest/gtest.h>

#include <QAction>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTextLayout>
#include <algorithm>

#include "PreviewImage.h"
#include "WindowTestSupport.h"

using sheetpeek::ControlId;
using sheetpeek::TImage;
using sheetpeek::TLabeledEdit;
using sheetpeek::TPanel;
using viewertest::Child;
using viewertest::Field;
using viewertest::GoldenPath;

namespace {

struct Place {
  ControlId control;
  int parent;  // kClientArea or the parent panel
  int left, top, width, height;
};
constexpr int kClient = sheetpeek::kClientArea;
constexpr int kPanel2 = static_cast<int>(ControlId::Panel2);

// Every control that has a fixed place, in creation order.
const Place kPlaces[] = {
    // clang-format off
    {ControlId::Panel2,          kClient, 12,  33,  301, 169},
    {ControlId::lbleditDate,     kPanel2, 84,  12,  209, 23},
    {ControlId::lbleditUpdate,   kPanel2, 84,  37,  209, 23},
    {ControlId::lbleditElms,     kPanel2, 84,  62,  209, 23},
    {ControlId::lbleditSize,     kPanel2, 84,  88,  210, 23},
    {ControlId::lbleditScal,     kPanel2, 84,  113, 209, 23},
    {ControlId::lbleditFiletype, kPanel2, 84,  139, 209, 23},
    {ControlId::Panel1,          kClient, 319, 5,   321, 429},
    {ControlId::lbleditFolder,   kClient, 55,  441, 285, 23},
    {ControlId::lbleditFile,     kClient, 95,  5,   218, 23},
    {ControlId::PnlImage,        kClient, 7,   204, 305, 229},
    {ControlId::btnClose,        kClient, 563, 437, 75,  25},
    // clang-format on
};

QWidget* ParentOf(const TfrmRaderAver& w, int parent) {
  return parent == kClient ? w.centralWidget() : w.Control(static_cast<ControlId>(parent));
}

TEST(Layout, ControlsStandAtTheirPlaces) {
  TfrmRaderAver w({});
  for (const Place& p : kPlaces) {
    SCOPED_TRACE(sheetpeek::LayoutOf(p.control).name);
    auto* control = Child<QWidget>(w, p.control);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), ParentOf(w, p.parent));
    EXPECT_EQ(control->geometry(), QRect(p.left, p.top, p.width, p.height));
  }
}

TEST(Layout, ItemFieldsStepTwentyPixelsWithItemEighteenOneLower) {
  TfrmRaderAver w({});
  const int kTops[] = {23,  43,  63,  83,  103, 123, 143, 163, 183, 203,
                       223, 243, 263, 283, 303, 323, 343, 364, 383, 403};
  for (int n = 1; n <= 20; ++n) {
    SCOPED_TRACE(n);
    TLabeledEdit* field = Field(w, sheetpeek::ItemControl(n));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->parentWidget(), w.Control(ControlId::Panel1));
    EXPECT_EQ(field->geometry(), QRect(85, kTops[n - 1], 212, 20));
    EXPECT_TRUE(field->LabelText().isEmpty());
  }
}

TEST(Layout, ClientAreaIsFixedBelowTheMenuBar) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  QWidget* client = w.centralWidget();
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->size(), QSize(648, 470));
  const int menuHeight = w.menuBar()->height();
  EXPECT_GT(menuHeight, 0);
  EXPECT_EQ(client->y(), menuHeight);
  EXPECT_EQ(w.size(), QSize(648, 470 + menuHeight));
  // The user can't resize it.
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  w.resize(800, 600);
  EXPECT_EQ(w.size(), QSize(648, 470 + menuHeight));
}

TEST(Layout, WindowHasCaptionCloseOnlyAndButtonFace) {
  TfrmRaderAver w({});
  EXPECT_EQ(w.windowTitle(), QStringLiteral("図面情報"));
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(w.palette().color(QPalette::Window), w.palette().color(QPalette::Button));
  EXPECT_TRUE(w.acceptDrops());
  const QIcon icon = w.windowIcon();
  ASSERT_FALSE(icon.isNull());
  ASSERT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
  // Every pixel, transparency included, as in the installed 32-pixel icon.
  const QImage expected =
      QImage(QStringLiteral(SHEETPEEK_TEST_DATA "/../../packaging/icons/sheetpeek-32.png"))
          .convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32), expected);
}

TEST(Layout, CentredOnTheScreenWhenFirstShown) {
  TfrmRaderAver w({});
  w.move(0, 0);
  ASSERT_TRUE(viewertest::ShowActive(w));
  const QRect screen = w.screen()->geometry();
  const QPoint offset = w.frameGeometry().center() - screen.center();
  EXPECT_LE(std::abs(offset.x()), 1);
  EXPECT_LE(std::abs(offset.y()), 1);
}

struct LabelCase {
  ControlId field;
  const char* label;  // UTF-8
  int fontPixels;     // 15: the fixed face, 12: the window's
};

// clang-format off
const LabelCase kLabels[] = {
    {ControlId::lbleditDate,     "作成日時",       15},
    {ControlId::lbleditUpdate,   "更新日時",       15},
    {ControlId::lbleditElms,     " 要素数 ",       15},
    {ControlId::lbleditSize,     "図面サイズ",     15},
    {ControlId::lbleditScal,     "図面尺度",       15},
    {ControlId::lbleditFiletype, "ファイルタイプ", 15},
    {ControlId::lbleditFolder,   "フォルダ",       15},
    {ControlId::lbleditFile,     "ファイル名",     15},
    {ControlId::lbleditItem1,    "",               12},
    {ControlId::lbleditItem20,   "",               12},
};
// clang-format on

TEST(Layout, FieldLabelsAndFontsAsLaidOut) {
  TfrmRaderAver w({});
  const QStringList fixedFaces = TfrmRaderAver::FixedFont().families();
  const QStringList windowFaces = TfrmRaderAver::WindowFont().families();
  for (const LabelCase& c : kLabels) {
    SCOPED_TRACE(sheetpeek::LayoutOf(c.field).name);
    TLabeledEdit* field = Field(w, c.field);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->LabelText(), QString::fromUtf8(c.label));
    EXPECT_EQ(field->font().pixelSize(), c.fontPixels);
    EXPECT_EQ(field->font().families(), c.fontPixels == 15 ? fixedFaces : windowFaces);
    // Labels are drawn in the window's font.
    EXPECT_EQ(field->EditLabel()->font().families(), windowFaces);
    EXPECT_EQ(field->EditLabel()->font().pixelSize(), 12);
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_TRUE(field->text().isEmpty());
  }
  EXPECT_EQ(w.font().families(), windowFaces);
  EXPECT_EQ(w.font().pixelSize(), 12);
}

struct FontRole {
  const char* role;
  QFont font;
  QStringList faces;  // the layout's face, then the free ones, in order of preference
  int pixels;
};

std::vector<FontRole> FontRoles() {
  const QString window = QStringLiteral("ＭＳ Ｐゴシック"), fixed = QStringLiteral("ＭＳ ゴシック");
  const QString p = QStringLiteral("IPAPGothic"), m = QStringLiteral("IPAGothic");
  const QString noto = QStringLiteral("Noto Sans CJK JP"), notoMono = QStringLiteral("Noto Sans Mono CJK JP");
  return {{"window", TfrmRaderAver::WindowFont(), {window, p, noto}, 12},
          {"fixed", TfrmRaderAver::FixedFont(), {fixed, m, notoMono}, 15},
          {"heading", TfrmRaderAver::HeadingFont(), {window, p, noto}, 13}};
}

// Every role asks for its most preferred installed face alone (all of its faces when none is
// installed), and that face is the one drawn.
TEST(Fonts, EachRoleAsksForItsInstalledFace) {
  const QStringList installed = QFontDatabase::families();
  for (const FontRole& r : FontRoles()) {
    SCOPED_TRACE(r.role);
    EXPECT_EQ(r.font.pixelSize(), r.pixels);
    const QStringList asked = r.font.families();
    const bool anyInstalled = std::any_of(r.faces.begin(), r.faces.end(),
                                          [&](const QString& face) { return installed.contains(face); });
    if (!anyInstalled && asked.size() > 1) {
      EXPECT_EQ(asked, r.faces);
      continue;
    }
    ASSERT_EQ(asked.size(), 1) << asked.join(QLatin1Char(',')).toStdString();
    const qsizetype rank = r.faces.indexOf(asked.front());
    ASSERT_GE(rank, 0) << asked.front().toStdString();
    // A face known to Qt under the name asked must be the face Qt loads, and none preferred
    // over it may be installed under its own name.
    if (installed.contains(asked.front())) {
      EXPECT_EQ(QFontInfo(r.font).family(), asked.front());
    }
    for (qsizetype i = 0; i < rank; ++i)
      EXPECT_FALSE(installed.contains(r.faces.at(i))) << r.faces.at(i).toStdString();
  }
}

// The face asked first has every character the window shows on the sample drawing, and a
// character it lacks still comes from another face.
TEST(Fonts, FirstFaceHasTheShownGlyphsAndOthersFillIn) {
  TfrmRaderAver w({GoldenPath("plan_with_preview.cad")});
  ASSERT_TRUE(viewertest::ShowActive(w));
  std::vector<std::pair<QString, QFont>> shown;
  for (const QLabel* label : w.findChildren<QLabel*>()) shown.emplace_back(label->text(), label->font());
  for (const QLineEdit* field : w.findChildren<QLineEdit*>())
    shown.emplace_back(field->text(), field->font());
  for (const QPushButton* button : w.findChildren<QPushButton*>())
    shown.emplace_back(button->text(), button->font());
  for (const QAction* action : w.menuBar()->actions())
    shown.emplace_back(action->text(), w.menuBar()->font());
  ASSERT_GT(shown.size(), 40u);
  int japanese = 0;
  for (const auto& [text, font] : shown) {
    const QRawFont face = QRawFont::fromFont(font);
    ASSERT_TRUE(face.isValid());
    EXPECT_EQ(face.familyName(), QFontInfo(font).family());
    for (const uint ch : text.toUcs4()) {
      if (ch == '&') continue;  // a mnemonic marker, not drawn
      if (ch >= 0x3000) ++japanese;
      EXPECT_TRUE(face.supportsCharacter(ch))
          << face.familyName().toStdString() << " lacks U+" << std::hex << ch << " of " << text.toStdString();
    }
  }
  EXPECT_GT(japanese, 30);

  // Georgian, Armenian, Hebrew: scripts a Japanese face may well lack.
  for (const FontRole& r : FontRoles()) {
    SCOPED_TRACE(r.role);
    const QRawFont face = QRawFont::fromFont(r.font);
    const uint candidates[] = {0x10D0, 0x0531, 0x05D0};
    const uint* lacking = std::find_if(std::begin(candidates), std::end(candidates),
                                       [&](uint ch) { return !face.supportsCharacter(ch); });
    if (lacking == std::end(candidates)) continue;
    const QString text = QString::fromUcs4(reinterpret_cast<const char32_t*>(lacking), 1);
    EXPECT_TRUE(QFontMetrics(r.font).inFontUcs4(*lacking));
    QTextLayout layout(text, r.font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_NE(runs[0].rawFont().familyName(), face.familyName());
    EXPECT_TRUE(runs[0].rawFont().supportsCharacter(*lacking));
    ASSERT_EQ(runs[0].glyphIndexes().size(), 1);
    EXPECT_NE(runs[0].glyphIndexes()[0], 0u);
  }
}

TEST(Layout, HeadingsButtonAndMenuTexts) {
  TfrmRaderAver w({});
  const QStringList windowFaces = TfrmRaderAver::HeadingFont().families();
  struct Heading {
    ControlId name;
    const char* text;
    int left, top, width, height;
  };
  // The spaces are ideographic ones.
  const Heading headings[] = {{ControlId::Label1, "項\u3000目", 37, 8, 35, 13},
                              {ControlId::Label2, "内\u3000\u3000容", 165, 8, 44, 13}};
  for (const Heading& h : headings) {
    SCOPED_TRACE(sheetpeek::LayoutOf(h.name).name);
    auto* label = Child<QLabel>(w, h.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->parentWidget(), w.Control(ControlId::Panel1));
    EXPECT_EQ(label->text(), QString::fromUtf8(h.text));
    EXPECT_EQ(label->font().families(), windowFaces);
    EXPECT_EQ(label->font().pixelSize(), 13);
    EXPECT_EQ(label->pos(), QPoint(h.left, h.top));
    // At least the laid-out size, and wide enough for the face actually used.
    EXPECT_GE(label->width(), h.width);
    EXPECT_GE(label->height(), h.height);
    EXPECT_GE(label->width(), label->sizeHint().width());
  }

  auto* close = Child<QPushButton>(w, ControlId::btnClose);
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->text(), QStringLiteral("閉じる"));
  EXPECT_EQ(close->font().families(), windowFaces);

  const QList<QAction*> top = w.menuBar()->actions();
  ASSERT_EQ(top.size(), 1);
  EXPECT_EQ(top[0]->text(), QStringLiteral("ファイル（&F)"));
  QMenu* file = top[0]->menu();
  ASSERT_NE(file, nullptr);
  const QList<QAction*> items = file->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), QStringLiteral("開く(&O)"));
  EXPECT_EQ(items[0], w.OpenAction());
  EXPECT_EQ(items[1]->text(), QStringLiteral("終了(&X)"));
  EXPECT_EQ(items[1], w.EndAction());
  for (QAction* a : items) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
}

TEST(Layout, LabelSitsThreePixelsLeftOfItsFieldCentred) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  const ControlId names[] = {ControlId::lbleditDate, ControlId::lbleditElms, ControlId::lbleditFiletype,
                             ControlId::lbleditFile, sheetpeek::ItemControl(18)};
  const QString texts[] = {QStringLiteral("短"), QStringLiteral("ずっと長いラベルの文字列"), QString()};
  for (const ControlId name : names) {
    TLabeledEdit* field = Field(w, name);
    ASSERT_NE(field, nullptr);
    for (const QString& text : texts) {
      SCOPED_TRACE(std::string(sheetpeek::LayoutOf(name).name) + " / " + text.toStdString());
      field->SetLabelText(text);
      const QRect label = field->EditLabel()->geometry();
      EXPECT_EQ(field->EditLabel()->parentWidget(), field->parentWidget());
      EXPECT_EQ(label.x() + label.width() + 3, field->x());
      EXPECT_EQ(label.y(), field->y() + (field->height() - label.height()) / 2);
      EXPECT_GE(label.width(), field->EditLabel()->sizeHint().width());
      EXPECT_TRUE(field->EditLabel()->isVisible());
    }
  }
}

TEST(Layout, FolderFieldIsHiddenWithItsLabel) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  TLabeledEdit* folder = Field(w, ControlId::lbleditFolder);
  ASSERT_NE(folder, nullptr);
  EXPECT_FALSE(folder->isVisible());
  EXPECT_FALSE(folder->EditLabel()->isVisible());
  EXPECT_TRUE(Field(w, ControlId::lbleditFile)->EditLabel()->isVisible());
}

TEST(Layout, OnlyTheCloseButtonTakesFocusByTab) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  auto* close = Child<QPushButton>(w, ControlId::btnClose);
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), close);
  // Start from a clicked field: Tab and Backtab must both land on the button and stay.
  Field(w, sheetpeek::ItemControl(3))->setFocus(Qt::MouseFocusReason);
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), close) << "Tab " << i;
  }
  QTest::keyClick(close, Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), close);
  for (QWidget* child : w.findChildren<QWidget*>()) {
    if (child == close || !child->isVisible()) continue;
    EXPECT_FALSE(child->focusPolicy() & Qt::TabFocus) << child->objectName().toStdString();
  }
}

TEST(Layout, EmptyWindowShowsTheBlankSurfaceAndNoCaption) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  auto* image = Child<TImage>(w, ControlId::ImageOrvic);
  auto* panel = Child<TPanel>(w, ControlId::PnlImage);
  ASSERT_TRUE(image && panel);
  EXPECT_TRUE(image->isVisible());
  EXPECT_EQ(image->geometry(), QRect(77, 44, 256, 181));
  EXPECT_EQ(image->Surface().size(), QSize(256, 181));

  // Nothing but button face inside the panel's bevel: the surface hides the layout caption.
  const QImage shot = panel->grab().toImage();
  const QRgb face = viewertest::ButtonFace(w).rgb();
  int other = 0;
  for (int y = 2; y < shot.height() - 2; ++y)
    for (int x = 2; x < shot.width() - 2; ++x)
      if ((shot.pixel(x, y) & 0xFFFFFF) != (face & 0xFFFFFF)) ++other;
  EXPECT_EQ(other, 0);
}

TEST(Layout, CloseButtonAndExitCloseTheWindow) {
  for (const char* how : {"btnClose", "MMEnd"}) {
    SCOPED_TRACE(how);
    TfrmRaderAver w({});
    ASSERT_TRUE(viewertest::ShowActive(w));
    if (std::string(how) == "btnClose") {
      QTest::mouseClick(Child<QPushButton>(w, ControlId::btnClose), Qt::LeftButton);
    } else {
      w.EndAction()->trigger();
    }
    EXPECT_FALSE(w.isVisible());
  }
}

}  // namespace
