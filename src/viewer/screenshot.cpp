// Renders the window showing one drawing, menu bar included, into a PNG file; used to keep
// the documentation's picture of the window true to the real widget.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTextStream>
#include <string>
#include <vector>

#include "AppBoundary.h"
#include "Raderaver.h"

int main(int argc, char* argv[]) {
  sheetpeek::SheetpeekApplication app(argc, argv);
  if (argc != 3) {
    QTextStream(stderr) << "usage: sheetpeek-screenshot FILE OUT.png\n";
    return 2;
  }
  TfrmRaderAver window({std::string(argv[1])});
  window.show();
  // Let the show, the first activation and the paints run.
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 50);

  if (window.HeldHeader() == nullptr) {
    QTextStream(stderr) << "sheetpeek-screenshot: " << argv[1] << ": not opened\n";
    return 1;
  }
  const QPixmap shot = window.grab();
  if (!shot.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    QTextStream(stderr) << "sheetpeek-screenshot: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
