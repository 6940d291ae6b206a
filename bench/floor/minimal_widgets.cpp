// Start-up floor for the viewer: one empty window, shown, then the program quits.
// It quits the way the viewer's measured start does: a zero timer posted once it is shown.
#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

class EmptyWindow : public QWidget {
 protected:
  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  EmptyWindow window;
  window.resize(648, 470);
  window.show();
  return QApplication::exec();
}
