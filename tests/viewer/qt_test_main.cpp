// Entry point of the viewer suites: one QApplication for all tests, offscreen unless the
// caller asked for a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform reports every window-manager request it can't honour; those lines
// say nothing about the code under test.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  previousHandler = qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);
  // Tests close windows one after another; the application must outlive them.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
