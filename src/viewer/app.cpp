// The viewer's entry point: one window, opened on the first command-line argument.
#include <QApplication>
#include <string>
#include <vector>

#include "Raderaver.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("SheetPeeker"));

  // Qt has taken its own options out of argv by now; the rest are ours, as raw bytes.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  TfrmRaderAver frmRaderAver(std::move(arguments));
  frmRaderAver.show();
  return QApplication::exec();
}
