// Start-up floor for the hand-over: loads the viewer's Qt libraries and exits, with no
// application object, window, font or style.
#include <QWidget>
#include <cstdio>

int main(int argc, char**) {
  // One symbol of the library, so that the linker keeps it and the loader maps it.
  const QMetaObject* widgets = &QWidget::staticMetaObject;
  if (argc > 99) std::printf("%s\n", widgets->className());
  return 0;
}
