// Stepping through the folder of the shown drawing, copying what the window shows, and the
// enlarged preview.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <filesystem>

#include "ChildProcess.h"
#include "PreviewImage.h"
#include "PreviewZoom.h"
#include "TempFile.h"
#include "WindowTestSupport.h"

using sheetpeek::test::TempDir;
using viewertest::GoldenPath;

namespace {

// The controls these tests look at.
QString ShownFile(const TfrmRaderAver& w) {
  return viewertest::FieldText(w, sheetpeek::ControlId::lbleditFile);
}
QString FirstItemText(const TfrmRaderAver& w) {
  return viewertest::FieldText(w, sheetpeek::ControlId::lbleditItem1);
}
sheetpeek::TLabeledEdit* AField(const TfrmRaderAver& w) {
  return viewertest::Field(w, sheetpeek::ControlId::lbleditDate);
}
sheetpeek::TImage* Picture(const TfrmRaderAver& w) {
  return viewertest::Child<sheetpeek::TImage>(w, sheetpeek::ControlId::ImageOrvic);
}

struct KeyStep {
  Qt::Key key;
  const char* vanishes;  // removed before the key is pressed; "" for none
  const char* shown;     // the file name shown afterwards
};

TEST(Browsing, PageKeysStepThroughTheFolderInNaturalOrder) {
  TempDir dir;
  for (const char* name : {"A-10.cad", "A-2.cad", "a-3.cad", "A-1.cad", "B.CAD", "notes.txt", "Z.cad"}) {
    dir.WriteFile(name, viewertest::Drawing("Note\t0,,item," + std::string(name) + "\n"));
  }
  TfrmRaderAver w({dir.path() + "/A-2.cad"});
  ASSERT_TRUE(viewertest::ShowActive(w));
  // clang-format off
  const KeyStep steps[] = {
      {Qt::Key_PageDown, "",         "a-3.cad"},
      {Qt::Key_PageDown, "",         "A-10.cad"},
      {Qt::Key_PageUp,   "",         "a-3.cad"},
      {Qt::Key_End,      "",         "Z.cad"},
      {Qt::Key_PageDown, "",         "Z.cad"},     // at the end nothing happens
      {Qt::Key_Home,     "",         "A-1.cad"},
      {Qt::Key_PageUp,   "",         "A-1.cad"},   // nor at the start
      {Qt::Key_PageDown, "A-2.cad",  "a-3.cad"},   // a vanished file is passed by
      {Qt::Key_End,      "Z.cad",    "A-10.cad"},
      {Qt::Key_Home,     "A-10.cad", "A-1.cad"},
  };
  // clang-format on
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string(s.shown) + " after key " + std::to_string(s.key));
    if (*s.vanishes) std::filesystem::remove(dir.path() + "/" + s.vanishes);
    QTest::keyClick(&w, s.key);
    EXPECT_EQ(ShownFile(w), QString::fromUtf8(s.shown));
    EXPECT_EQ(FirstItemText(w), QString::fromUtf8(s.shown));
  }
  // The keys work while a field has the focus, and the menu bar stays File alone.
  auto* field = AField(w);
  QTest::mouseClick(field, Qt::LeftButton);
  ASSERT_TRUE(field->hasFocus());
  QTest::keyClick(field, Qt::Key_End);
  EXPECT_EQ(ShownFile(w), QStringLiteral("a-3.cad"));
  ASSERT_EQ(w.menuBar()->actions().size(), 1);
  EXPECT_EQ(w.menuBar()->actions().front()->menu()->actions().size(), 2);
}

TEST(Browsing, CopyGivesTheTextOfTheCommandLine) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  for (const char* name : {"plan_with_preview.cad", "quoting.cad", "failed_frame.cad", "runs.cad"}) {
    SCOPED_TRACE(name);
    w.WMDropFiles({GoldenPath(name)});
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
    const auto cli =
        sheetpeek::test::RunChild(sheetpeek::test::BuiltProgram("sheetpeek-info"), {GoldenPath(name)});
    ASSERT_FALSE(cli.out.empty());
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), cli.out);
  }
  // A selection in a field is copied as it is; the context menu copies the whole again.
  auto* file = viewertest::Field(w, sheetpeek::ControlId::lbleditFile);
  file->setFocus();
  file->setSelection(0, 3);
  QTest::keyClick(file, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("run"));
  QMenu* menu = w.ContextMenu();
  ASSERT_NE(menu, nullptr);
  QStringList shortcuts;
  for (QAction* a : menu->actions()) {
    if (!a->isSeparator()) shortcuts << a->shortcut().toString();
  }
  EXPECT_EQ(shortcuts, (QStringList{"PgDown", "PgUp", "Home", "End", "Ctrl+C", ""}));
  menu->actions()[5]->trigger();
  EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("ファイル名: runs.cad\n")));
}

// The sheet of a written register, as text, each shared string put in its cell.
std::string SheetXml(const std::string& workbook) {
  const auto r = sheetpeek::test::RunChild(
      {"/usr/bin/env", "python3", "-c",
       "import re,sys,zipfile\n"
       "z = zipfile.ZipFile(sys.argv[1])\n"
       "s = z.read('xl/worksheets/sheet1.xml').decode()\n"
       "si = re.findall(r'<si>(.*?)</si>', z.read('xl/sharedStrings.xml').decode(), re.S)"
       " if 'xl/sharedStrings.xml' in z.namelist() else []\n"
       "sys.stdout.write(re.sub(r'(<c [^>]*t=\"s\"[^>]*>)<v>(\\d+)</v>', lambda m: m.group(1) + "
       "si[int(m.group(2))], s))\n",
       workbook});
  return r.exitCode == 0 ? r.out : "";
}

TEST(Browsing, RegisterOfTheShownFolderFromTheMenuAndTheCommandLine) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "/sub");
  dir.WriteFile("A-1.cad", viewertest::Drawing("Note\t0,,No,001\n"));
  dir.WriteFile("sub/B-2.cad", viewertest::Drawing("Note\t0,,No,=1+2\n"));
  const std::string out = dir.path() + "/台帳.xlsx";
  qputenv("SHEETPEEK_TEST_SAVE_AS", QFile::encodeName(QString::fromStdString(out)));
  {
    TfrmRaderAver w({dir.path() + "/sub/B-2.cad"});
    ASSERT_TRUE(viewertest::ShowActive(w));
    QAction* item = w.ContextMenu()->actions().last();
    EXPECT_EQ(item->text(), QStringLiteral("図面台帳を作成…"));
    // The shown drawing's folder: only sub/, not its parent.
    item->trigger();
    const std::string sheet = SheetXml(out);
    EXPECT_NE(sheet.find("B-2.cad"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("<t>=1+2</t>"), std::string::npos) << sheet;
    EXPECT_EQ(sheet.find("A-1.cad"), std::string::npos) << sheet;
  }
  // Without a window: the folder and its subfolders, the workbook's name on standard output.
  sheetpeek::test::ChildOptions options;
  options.env = {"SHEETPEEK_TEST_SAVE_AS=" + out, "QT_QPA_PLATFORM=offscreen"};
  const auto run = sheetpeek::test::RunChild(
      {sheetpeek::test::BuiltProgram("sheetpeek"), "--register", dir.path()}, options);
  qunsetenv("SHEETPEEK_TEST_SAVE_AS");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, out + "\n");
  const std::string sheet = SheetXml(out);
  EXPECT_LT(sheet.find("A-1.cad"), sheet.find("B-2.cad")) << sheet;
  EXPECT_NE(sheet.find("<t>001</t>"), std::string::npos) << sheet;
  const auto notFolder = sheetpeek::test::RunChild(
      {sheetpeek::test::BuiltProgram("sheetpeek"), "--register", dir.path() + "/A-1.cad"}, options);
  EXPECT_EQ(notFolder.exitCode, 1);
}

TEST(Browsing, ZoomIsTheLargestFactorThatFits) {
  // clang-format off
  const struct { QSize room; int factor; } cases[] = {
      {{1920, 1080}, 4}, {{1024, 724}, 4}, {{1023, 1080}, 3}, {{800, 600}, 3}, {{600, 543}, 2}, {{300, 200}, 2},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(sheetpeek::ZoomFactor(256, 181, c.room.width(), c.room.height()), c.factor) << c.room.width();
}

TEST(Browsing, DoubleClickOnThePreviewEnlargesItSharply) {
  TfrmRaderAver w({GoldenPath("plan_with_preview.cad")});
  ASSERT_TRUE(viewertest::ShowActive(w));
  auto* image = Picture(w);
  const QImage picture = image->Surface().copy(0, 0, image->width(), image->height());
  for (Qt::Key closer : {Qt::Key_Escape, Qt::Key_unknown}) {
    QTest::mouseDClick(image, Qt::LeftButton);
    auto* zoom = w.findChild<sheetpeek::PreviewZoom*>();
    ASSERT_NE(zoom, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(zoom));
    const QSize room = w.screen()->availableGeometry().size();
    const int f = sheetpeek::ZoomFactor(picture.width(), picture.height(), room.width(), room.height());
    ASSERT_EQ(zoom->size(), picture.size() * f);
    const QImage shown = zoom->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); y += 7)
      for (int x = 0; x < picture.width(); x += 5)
        ASSERT_EQ(shown.pixel(x * f + f - 1, y * f + f - 1), picture.pixel(x, y)) << x << "," << y;
    QPointer<sheetpeek::PreviewZoom> watch(zoom);
    if (closer == Qt::Key_Escape) {
      QTest::keyClick(zoom, Qt::Key_Escape);
    } else {
      QTest::mouseClick(zoom, Qt::LeftButton);
    }
    for (int i = 0; i < 100 && !watch.isNull(); ++i) QTest::qWait(20);
    EXPECT_TRUE(watch.isNull());
  }
}

}  // namespace
