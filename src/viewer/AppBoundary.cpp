#include "AppBoundary.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProxyStyle>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "Cp932.h"
#include "DrawingText.h"

namespace sheetpeek {

QString ExceptionDisplayText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

bool EnvFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

bool MessageBoxesWanted(const QByteArray& platform) {
  if (EnvFlag("SHEETPEEK_NO_MESSAGE_BOX")) return false;
  // A box nobody can see would wait for ever.
  if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (platform.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    return false;
  }
#endif
  return true;
}

void PrintMessageLine(const std::string& utf8) {
  const std::string line = "sheetpeek: " + sheetpeek::VisibleText(sheetpeek::SanitizeUtf8(utf8)) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void ShowException(const QString& message) {
  const QString text = ExceptionDisplayText(message);
  PrintMessageLine(text.toStdString());
  if (!MessageBoxesWanted(QGuiApplication::platformName().toUtf8())) return;
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
  box.exec();
}

QString QtTranslationsFolder() {
  const QString chosen = qEnvironmentVariable("SHEETPEEK_QT_TRANSLATIONS");
  return chosen.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : chosen;
}

bool InstallQtTranslation(QCoreApplication& app, const QString& folder) {
  auto translator = std::make_unique<QTranslator>();
  // Tries the user's languages in order of preference, e.g. qtbase_ja_JP, then qtbase_ja.
  if (!translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) return false;
  translator->setParent(&app);
  return QCoreApplication::installTranslator(translator.release());
}

namespace {

// The desktop's style without the menu bar's overflow icon. A menu bar asks for that icon when
// it is made, and to read the picture Qt loads every image plugin there is to ask each whether
// it reads PNG. The window's one menu always fits, so the overflow button never shows.
class MenuBarStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override {
    if (which == SP_ToolBarHorizontalExtensionButton) return QIcon();
    return QProxyStyle::standardIcon(which, option, widget);
  }
};

}  // namespace

SheetpeekApplication::SheetpeekApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("SheetPeeker"));
  setStyle(new MenuBarStyle(style()));  // the proxy takes the style it wraps
  // The window's own texts are Japanese; Qt's (dialog buttons, the open dialog) follow the user's
  // language, and stay English when its translation is not installed.
  InstallQtTranslation(*this, QtTranslationsFolder());
}

bool SheetpeekApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown exception"));
  }
  return false;
}

}  // namespace sheetpeek
