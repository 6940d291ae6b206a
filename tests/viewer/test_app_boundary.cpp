#include <gtest/gtest.h>
#include <stdlib.h>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <memory>
#include <stdexcept>
#include <string>

#include "AppBoundary.h"
#include "TempFile.h"

using sheetpeek::ExceptionDisplayText;
using sheetpeek::InstallQtTranslation;
using sheetpeek::MessageBoxesWanted;
using sheetpeek::QtTranslationsFolder;
using sheetpeek::SheetpeekApplication;

namespace {

std::unique_ptr<SheetpeekApplication>& TheApp() {
  static std::unique_ptr<SheetpeekApplication> app;
  return app;
}

SheetpeekApplication& App() {
  if (!TheApp()) {
    // Started as a Japanese user starts it: LANG=ja_JP.UTF-8, nothing overriding it.
    setenv("LANG", "ja_JP.UTF-8", 1);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
    static int argc = 1;
    static char name[] = "test_app_boundary";
    static char* argv[] = {name, nullptr};
    TheApp() = std::make_unique<SheetpeekApplication>(argc, argv);
  }
  return *TheApp();
}

}  // namespace

class AppBoundary : public testing::Test {
 protected:
  // The application ends before exit() runs: only then does Qt release its font caches.
  static void TearDownTestSuite() { TheApp().reset(); }
};

namespace {

// Throws from its event handler for every user event it gets, counting them.
class Thrower : public QObject {
 public:
  int seen = 0;
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++seen;
    throw std::runtime_error("Drawing exploded");
  }
};

class EnvSetting {
 public:
  EnvSetting(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvSetting() {
    if (had_)
      setenv(name_.c_str(), old_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace

TEST_F(AppBoundary, FullStopIsAddedOnlyAfterCharactersThatSortAfterIt) {
  struct Case {
    QString message, shown;
  };
  const Case cases[] = {
      {QStringLiteral("File not found"), QStringLiteral("File not found.")},
      {QStringLiteral("Already a sentence."), QStringLiteral("Already a sentence.")},
      {QStringLiteral("Stop!"), QStringLiteral("Stop!")},      // '!' sorts before '.'
      {QStringLiteral("(12, 3)"), QStringLiteral("(12, 3)")},  // ')' sorts before '.'
      {QStringLiteral("scale 1.5"), QStringLiteral("scale 1.5.")},
      {QStringLiteral("/tmp/x/"), QStringLiteral("/tmp/x/.")},  // '/' sorts right after '.'
      {QStringLiteral("a-"), QStringLiteral("a-")},             // '-' right before '.'
      {QStringLiteral("エラー"), QStringLiteral("エラー.")},
      {QString(), QString()},
  };
  for (const Case& c : cases) EXPECT_EQ(ExceptionDisplayText(c.message), c.shown) << c.message.toStdString();
}

TEST_F(AppBoundary, BoxesOnlyWhereSomeoneCanSeeThem) {
  EnvSetting display("DISPLAY", ":99");
  EnvSetting wayland("WAYLAND_DISPLAY", nullptr);
  {
    EnvSetting off("SHEETPEEK_NO_MESSAGE_BOX", nullptr);
    EXPECT_TRUE(MessageBoxesWanted("xcb"));
    EXPECT_TRUE(MessageBoxesWanted(""));
    EXPECT_FALSE(MessageBoxesWanted("offscreen"));
    EXPECT_FALSE(MessageBoxesWanted("minimal"));
  }
  {
    EnvSetting off("SHEETPEEK_NO_MESSAGE_BOX", "1");
    EXPECT_FALSE(MessageBoxesWanted("xcb"));
  }
  {
    EnvSetting off("SHEETPEEK_NO_MESSAGE_BOX", "0");
    EXPECT_TRUE(MessageBoxesWanted("xcb"));
  }
  EnvSetting off("SHEETPEEK_NO_MESSAGE_BOX", nullptr);
  EnvSetting noDisplay("DISPLAY", nullptr);
  EXPECT_FALSE(MessageBoxesWanted(""));
}

TEST_F(AppBoundary, ExceptionFromHandlerIsShownAndTheLoopGoesOn) {
  SheetpeekApplication& app = App();
  EXPECT_EQ(QApplication::applicationName(), QStringLiteral("SheetPeeker"));
  Thrower thrower;
  bool later = false;
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QTimer::singleShot(0, &app, [&later] { later = true; });
  QTimer::singleShot(50, &app, [] { QCoreApplication::quit(); });

  testing::internal::CaptureStderr();
  const int code = QApplication::exec();
  const std::string err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(code, 0);
  EXPECT_EQ(thrower.seen, 2);
  EXPECT_TRUE(later);
  EXPECT_EQ(err, "sheetpeek: Drawing exploded.\nsheetpeek: Drawing exploded.\n");
}

namespace {

// Qt's own texts as a user meets them: the open dialog's labels and buttons, and a message box's.
struct QtTexts {
  QString lookIn, fileName, open, cancel, boxCancel;
};

QtTexts ShownQtTexts() {
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  QtTexts t;
  const auto label = [&dialog](const char* name) {
    const auto* l = dialog.findChild<QLabel*>(QLatin1String(name));
    return l != nullptr ? l->text() : QStringLiteral("<none>");
  };
  t.lookIn = label("lookInLabel");
  t.fileName = label("fileNameLabel");
  if (const auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
    t.open = buttons->button(QDialogButtonBox::Open)->text();
    t.cancel = buttons->button(QDialogButtonBox::Cancel)->text();
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), QStringLiteral("x"),
                  QMessageBox::Ok | QMessageBox::Cancel);
  t.boxCancel = box.button(QMessageBox::Cancel)->text();
  return t;
}

void RemoveQtTranslations(QCoreApplication& app) {
  for (QTranslator* translator : app.findChildren<QTranslator*>())
    QCoreApplication::removeTranslator(translator);
}

}  // namespace

// The application runs under LANG=ja_JP.UTF-8 (see App). It loads Qt's Japanese translation when it
// is installed; an empty or missing translations folder leaves Qt's English texts and nothing else.
TEST_F(AppBoundary, QtTextsFollowTheUserLanguageWhenTranslated) {
  SheetpeekApplication& app = App();
  ASSERT_EQ(QLocale().language(), QLocale::Japanese);
  const QString installed = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!QFile::exists(installed + QStringLiteral("/qtbase_ja.qm")))
    GTEST_SKIP() << "Qt's Japanese translation is not installed (qt6-translations-l10n)";
  sheetpeek::test::TempDir empty;
  const QtTexts japanese = {QStringLiteral("アドレス:"), QStringLiteral("ファイル名(&N):"),
                            QStringLiteral("開く(&O)"), QStringLiteral("キャンセル"),
                            QStringLiteral("キャンセル")};
  const QtTexts english = {QStringLiteral("Look in:"), QStringLiteral("File &name:"), QStringLiteral("&Open"),
                           QStringLiteral("Cancel"), QStringLiteral("Cancel")};
  struct Case {
    const char* what;
    const char* folderVariable;  // SHEETPEEK_QT_TRANSLATIONS; nullptr: unset
    bool reload;                 // false: as the application object left it at its start
    bool japanese;
  };
  const std::string missing = empty.path() + "/none";
  // clang-format off
  const Case cases[] = {
      {"as started",             nullptr,              false, true},
      {"Qt's folder",            nullptr,              true,  true},
      {"empty folder",           empty.path().c_str(), true,  false},
      {"missing folder",         missing.c_str(),      true,  false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EnvSetting folder("SHEETPEEK_QT_TRANSLATIONS", c.folderVariable);
    if (c.reload) {
      RemoveQtTranslations(app);
      EXPECT_EQ(InstallQtTranslation(app, QtTranslationsFolder()), c.japanese);
    }
    const QtTexts shown = ShownQtTexts();
    const QtTexts& wanted = c.japanese ? japanese : english;
    EXPECT_EQ(shown.lookIn, wanted.lookIn);
    EXPECT_EQ(shown.fileName, wanted.fileName);
    EXPECT_EQ(shown.open, wanted.open);
    EXPECT_EQ(shown.cancel, wanted.cancel);
    EXPECT_EQ(shown.boxCancel, wanted.boxCancel);
  }
  RemoveQtTranslations(app);
  InstallQtTranslation(app, QtTranslationsFolder());
}
