// Start-up floor for the hand-over: loads the viewer's Qt libraries and exits, with no
// application object, window, font or style.
#include <QLocalSocket>
#include <QWidget>
#include <cstdio>

int main(int argc, char**) {
  // One symbol of each library, so that the linker keeps both and the loader maps them.
  const QMetaObject* widgets = &QWidget::staticMetaObject;
  const QMetaObject* network = &QLocalSocket::staticMetaObject;
  if (argc > 99) std::printf("%s %s\n", widgets->className(), network->className());
  return 0;
}
