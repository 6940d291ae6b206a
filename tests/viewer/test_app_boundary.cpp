#include <gtest/gtest.h>
#include <stdlib.h>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <stdexcept>
#include <string>

#include "AppBoundary.h"

using sheetpeek::ExceptionDisplayText;
using sheetpeek::MessageBoxesWanted;
using sheetpeek::SheetpeekApplication;

namespace {

SheetpeekApplication& App() {
  static int argc = 1;
  static char name[] = "test_app_boundary";
  static char* argv[] = {name, nullptr};
  static SheetpeekApplication app(argc, argv);
  return app;
}

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

TEST(AppBoundary, FullStopIsAddedOnlyAfterCharactersThatSortAfterIt) {
  struct Case {
    QString message, shown;
  };
  // clang-format off
  const Case cases[] = {
      {QStringLiteral("File not found"), QStringLiteral("File not found.")},
      {QStringLiteral("Already a sentence."), QStringLiteral("Already a sentence.")},
      {QStringLiteral("Stop!"), QStringLiteral("Stop!")},       // '!' sorts before '.'
      {QStringLiteral("(12, 3)"), QStringLiteral("(12, 3)")},   // ')' sorts before '.'
      {QStringLiteral("scale 1.5"), QStringLiteral("scale 1.5.")},
      {QStringLiteral("/tmp/x/"), QStringLiteral("/tmp/x/.")},  // '/' sorts right after '.'
      {QStringLiteral("a-"), QStringLiteral("a-")},             // '-' right before '.'
      {QStringLiteral("エラー"), QStringLiteral("エラー.")},
      {QString(), QString()},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(ExceptionDisplayText(c.message), c.shown) << c.message.toStdString();
}

TEST(AppBoundary, BoxesOnlyWhereSomeoneCanSeeThem) {
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

TEST(AppBoundary, ExceptionFromHandlerIsShownAndTheLoopGoesOn) {
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
