// How drawings reach the window and what it shows: command line, drops, the open dialog.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QMimeData>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>

#include "PreviewImage.h"
#include "TempFile.h"
#include "WindowTestSupport.h"

using sheetpeek::TPanel;
using sheetpeek::test::ReadFileBytes;
using sheetpeek::test::TempDir;
using viewertest::Drawing;
using viewertest::Field;
using viewertest::FieldText;
using viewertest::GoldenPath;

namespace {

// The texts the window shows for the full sample drawing.
void ExpectFullSample(const TfrmRaderAver& w) {
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("plan_with_preview.cad"));
  EXPECT_EQ(FieldText(w, "lbleditFolder"),
            QString::fromStdString(std::string(SHEETPEEK_TEST_DATA) + "/golden"));
  EXPECT_EQ(FieldText(w, "lbleditDate"), QStringLiteral("2019年 4月 1日  8時 5分"));
  EXPECT_EQ(FieldText(w, "lbleditUpdate"), QStringLiteral("2023年11月30日 17時45分"));
  EXPECT_EQ(FieldText(w, "lbleditElms"), QStringLiteral("2048"));
  EXPECT_EQ(FieldText(w, "lbleditSize"), QStringLiteral("A1 841.0(mm)×594.0(mm)"));
  EXPECT_EQ(FieldText(w, "lbleditScal"), QStringLiteral("1/100"));
  EXPECT_EQ(FieldText(w, "lbleditFiletype"), QStringLiteral("Orvic図面(アスキー)"));
  struct Item {
    int n;
    const char* label;
    const char* text;
  };
  const Item items[] = {{1, "図面名", "1階平面図"},
                        {2, "工事名", "〇〇邸 新築工事"},
                        {3, "縮尺", "1/100"},
                        {4, "", ""},
                        {19, "", ""},
                        {20, "設計者", "山田 太郎"}};
  for (const Item& item : items) {
    const std::string name = "lbleditItem" + std::to_string(item.n);
    SCOPED_TRACE(name);
    EXPECT_EQ(Field(w, name.c_str())->LabelText(), QString::fromUtf8(item.label));
    EXPECT_EQ(FieldText(w, name.c_str()), QString::fromUtf8(item.text));
  }
}

// Every text the window shows, labels included, for comparing two states.
QStringList Snapshot(const TfrmRaderAver& w) {
  QStringList out;
  for (auto* field : w.findChildren<sheetpeek::TLabeledEdit*>()) out << field->LabelText() << field->text();
  out << w.findChild<TPanel*>(QStringLiteral("PnlImage"))->Caption();
  return out;
}

bool AllFieldsEmpty(const TfrmRaderAver& w) {
  for (auto* field : w.findChildren<sheetpeek::TLabeledEdit*>())
    if (!field->text().isEmpty()) return false;
  return true;
}

TEST(Loading, FullSampleFromTheCommandLine) {
  TfrmRaderAver w({GoldenPath("plan_with_preview.cad")});
  w.show();
  // A header that read well is shown by the show itself, before any activation.
  ExpectFullSample(w);
  ASSERT_TRUE(viewertest::ShowActive(w));
  ExpectFullSample(w);
  ASSERT_NE(w.HeldHeader(), nullptr);
  EXPECT_TRUE(w.HeldHeader()->ReadOk);
}

TEST(Loading, FailedReadFromTheCommandLineShowsOnActivation) {
  TfrmRaderAver w({GoldenPath("failed_frame.cad")});
  w.show();
  EXPECT_TRUE(AllFieldsEmpty(w));
  ASSERT_NE(w.HeldHeader(), nullptr);
  EXPECT_FALSE(w.HeldHeader()->ReadOk);
  ASSERT_TRUE(viewertest::ShowActive(w));
  // What was read before the failure.
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("failed_frame.cad"));
  EXPECT_EQ(FieldText(w, "lbleditElms"), QStringLiteral("7"));
  EXPECT_EQ(FieldText(w, "lbleditSize"), QStringLiteral("A2 594.0(mm)×420.0(mm)"));
  EXPECT_EQ(FieldText(w, "lbleditDate"), QStringLiteral("   0年 0月 0日  0時 0分"));
}

TEST(Loading, OnlyTheFirstActivationShowsTheHeldHeader) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  ASSERT_TRUE(w.LoadDrawing(GoldenPath("runs.cad")));
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 2000));
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 2000));
  // Coming back to the window shows nothing anew.
  EXPECT_TRUE(AllFieldsEmpty(w));
}

TEST(Loading, FailedReadShownAtOnceOnADrop) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  w.WMDropFiles({GoldenPath("failed_frame.cad")});
  EXPECT_EQ(FieldText(w, "lbleditElms"), QStringLiteral("7"));
  EXPECT_EQ(FieldText(w, "lbleditScal"), QStringLiteral("1/0"));
}

TEST(Loading, CommandLineNamesThatAreNotLoaded) {
  TempDir dir;
  const std::string sample = ReadFileBytes(GoldenPath("plan_with_preview.cad"));
  // Each of these files exists and holds a good drawing; only the name keeps it out.
  const std::string upper = dir.WriteFile("PLAN.CAD", sample);
  const std::string mixed = dir.WriteFile("plan.Cad", sample);
  const std::string plain = dir.WriteFile("plan", sample);
  dir.WriteFile("data.cad", "");
  const std::string inFolder = dir.path() + "/data.cad/plan";
  const std::vector<std::vector<std::string>> cases = {{},
                                                       {upper},
                                                       {mixed},
                                                       {plain},
                                                       {inFolder},
                                                       {dir.path() + "/missing.cad"},
                                                       {upper, GoldenPath("runs.cad")}};
  for (const auto& arguments : cases) {
    SCOPED_TRACE(arguments.empty() ? std::string("(none)") : arguments.front());
    TfrmRaderAver w(arguments);
    ASSERT_TRUE(viewertest::ShowActive(w));
    EXPECT_EQ(w.HeldHeader(), nullptr);
    EXPECT_TRUE(AllFieldsEmpty(w));
  }
}

TEST(Loading, OnlyTheFirstCommandLineArgumentCounts) {
  TfrmRaderAver w({GoldenPath("plan_with_preview.cad"), GoldenPath("runs.cad")});
  ASSERT_TRUE(viewertest::ShowActive(w));
  ExpectFullSample(w);
}

TEST(Loading, MissingFileAfterAShownDrawingKeepsTheDisplay) {
  TfrmRaderAver w({GoldenPath("plan_with_preview.cad")});
  ASSERT_TRUE(viewertest::ShowActive(w));
  const QStringList before = Snapshot(w);
  const QImage pictureBefore = w.grab().toImage();

  w.WMDropFiles({GoldenPath("no_such_drawing.cad")});
  EXPECT_EQ(w.HeldHeader(), nullptr);
  EXPECT_EQ(Snapshot(w), before);
  w.ShowDrawingInfo();
  EXPECT_EQ(Snapshot(w), before);
  EXPECT_EQ(w.grab().toImage(), pictureBefore);

  // A folder named like a drawing fails the same way.
  TempDir dir;
  EXPECT_FALSE(w.LoadDrawing(dir.path()));
  EXPECT_EQ(w.HeldHeader(), nullptr);
  w.ShowDrawingInfo();
  EXPECT_EQ(Snapshot(w), before);

  // The next load that opens a file shows again.
  w.WMDropFiles({GoldenPath("failed_frame.cad")});
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("failed_frame.cad"));
}

TEST(Loading, LoadDrawingReportsTheReadAndKeepsTheDisplay) {
  TfrmRaderAver w({});
  struct Case {
    std::string path;
    bool result;
    bool held;
  };
  const Case cases[] = {{GoldenPath("plan_with_preview.cad"), true, true},
                        {GoldenPath("failed_frame.cad"), false, true},
                        {GoldenPath("absent.cad"), false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(w.LoadDrawing(c.path), c.result);
    EXPECT_EQ(w.HeldHeader() != nullptr, c.held);
    EXPECT_TRUE(AllFieldsEmpty(w));
  }
}

struct DropCase {
  const char* what;
  std::vector<std::string> names;
  const char* shownFile;  // nullptr: nothing shown
  bool raised;
};

TEST(Loading, DropsUseTheFirstNameAndRaiseUnlessEmpty) {
  TempDir dir;
  const std::string text = dir.WriteFile("notes.txt", "Version\t2.1\nFbreak\n");
  const std::string renamed = dir.WriteFile("plan.CAD", ReadFileBytes(GoldenPath("plan_with_preview.cad")));
  const DropCase cases[] = {
      {"several drawings", {GoldenPath("runs.cad"), GoldenPath("plan_with_preview.cad")}, "runs.cad", true},
      {"text file first", {text, GoldenPath("plan_with_preview.cad")}, nullptr, true},
      {"capital extension", {renamed}, nullptr, true},
      {"nothing", {}, nullptr, false},
  };
  for (const DropCase& c : cases) {
    // A minimised window is restored by the step that raises it, and only by that.
    for (const bool minimised : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (minimised ? ", minimised" : ""));
      TfrmRaderAver w({});
      ASSERT_TRUE(viewertest::ShowActive(w));
      if (minimised) {
        w.showMinimized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMinimized(); }, 2000));
      }
      QSignalSpy raised(&w, &TfrmRaderAver::BroughtToFront);
      w.WMDropFiles(c.names);
      EXPECT_EQ(raised.count(), c.raised ? 1 : 0);
      QCoreApplication::processEvents();
      EXPECT_EQ(w.isMinimized(), minimised && !c.raised);
      EXPECT_TRUE(w.isVisible());
      if (c.shownFile) {
        EXPECT_EQ(FieldText(w, "lbleditFile"), QString::fromUtf8(c.shownFile));
      } else {
        EXPECT_EQ(w.HeldHeader(), nullptr);
        EXPECT_TRUE(AllFieldsEmpty(w));
      }
    }
  }
}

TEST(Loading, DropBringsTheWindowToTheFront) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  QWidget other;
  other.resize(100, 100);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 2000));
  ASSERT_FALSE(w.isActiveWindow());
  w.WMDropFiles({"not-a-drawing.txt"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }, 2000));
}

// A real Qt drop: local files in drop order reach the handler; other URLs don't.
TEST(Loading, QtDropHandsOverLocalFilesInOrder) {
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  QMimeData data;
  data.setUrls({QUrl(QStringLiteral("https://example.invalid/remote.cad")),
                QUrl::fromLocalFile(QString::fromStdString(GoldenPath("runs.cad"))),
                QUrl::fromLocalFile(QString::fromStdString(GoldenPath("plan_with_preview.cad")))});
  const QPoint at(300, 200);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &drop);
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("runs.cad"));
}

TEST(Loading, LaterDrawingReplacesEveryItem) {
  std::string notes;
  for (int i = 0; i < 20; ++i)
    notes += "Note\t" + std::to_string(i) + ",1,L" + std::to_string(i) + ",T" + std::to_string(i) + "\n";
  TempDir dir;
  const std::string full = dir.WriteFile("full.cad", Drawing(notes));
  const std::string one = dir.WriteFile("one.cad", Drawing("Note\t4,1,Only,Here\n"));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  w.WMDropFiles({full});
  EXPECT_EQ(Field(w, "lbleditItem20")->LabelText(), QStringLiteral("L19"));
  EXPECT_EQ(FieldText(w, "lbleditItem20"), QStringLiteral("T19"));
  w.WMDropFiles({one});
  for (int n = 1; n <= 20; ++n) {
    const std::string name = "lbleditItem" + std::to_string(n);
    SCOPED_TRACE(name);
    EXPECT_EQ(Field(w, name.c_str())->LabelText(), n == 5 ? QStringLiteral("Only") : QString());
    EXPECT_EQ(FieldText(w, name.c_str()), n == 5 ? QStringLiteral("Here") : QString());
  }
}

TEST(Loading, TextsAreNeverTakenAsMarkupAndShowFromTheStart) {
  TempDir dir;
  const std::string longText(120, 'x');
  const std::string path = dir.WriteFile("markup.cad", Drawing("Note\t0,1,<b>bold</b>," + longText + "\n"));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  w.WMDropFiles({path});
  sheetpeek::TLabeledEdit* item = Field(w, "lbleditItem1");
  EXPECT_EQ(item->EditLabel()->textFormat(), Qt::PlainText);
  EXPECT_EQ(item->LabelText(), QStringLiteral("<b>bold</b>"));
  EXPECT_EQ(item->cursorPosition(), 0);
}

TEST(Loading, FileNamesShownInTheFileSystemsEncoding) {
  TempDir dir;
  const std::string path = dir.WriteFile("図面.cad", ReadFileBytes(GoldenPath("runs.cad")));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));
  w.WMDropFiles({path});
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("図面.cad"));
}

// Runs the open dialog from the menu and answers it with `answer` (empty: cancel).
void OpenThroughTheDialog(TfrmRaderAver& w, const QString& answer, QStringList* filters) {
  QTimer::singleShot(0, [&] {
    QFileDialog* dialog = nullptr;
    const bool open = QTest::qWaitFor([&] {
      dialog = w.findChild<QFileDialog*>(QStringLiteral("OpenDialog"));
      return dialog != nullptr && dialog->isVisible();
    });
    ASSERT_TRUE(open);
    *filters = dialog->nameFilters();
    if (answer.isEmpty()) {
      dialog->reject();
    } else {
      dialog->selectFile(answer);
      static_cast<QDialog*>(dialog)->accept();
    }
  });
  viewertest::Child<QAction>(w, "MMOpenfile")->trigger();
}

TEST(Loading, OpenDialogLoadsAnyChosenNameAndCancelChangesNothing) {
  TempDir dir;
  const std::string other = dir.WriteFile("copy.txt", ReadFileBytes(GoldenPath("plan_with_preview.cad")));
  TfrmRaderAver w({});
  ASSERT_TRUE(viewertest::ShowActive(w));

  QStringList filters;
  OpenThroughTheDialog(w, QString::fromStdString(other), &filters);
  EXPECT_EQ(filters, QStringList{QStringLiteral("Orvic (*.cad)")});
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("copy.txt"));
  EXPECT_EQ(FieldText(w, "lbleditElms"), QStringLiteral("2048"));

  OpenThroughTheDialog(w, QString(), &filters);
  EXPECT_NE(w.HeldHeader(), nullptr);
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("copy.txt"));

  // A typed name that does not exist: nothing held, display unchanged.
  OpenThroughTheDialog(w, QString::fromStdString(dir.path() + "/typed.cad"), &filters);
  EXPECT_EQ(w.HeldHeader(), nullptr);
  EXPECT_EQ(FieldText(w, "lbleditFile"), QStringLiteral("copy.txt"));
}

}  // namespace
