// screen-grab PATH [X Y WIDTH HEIGHT]
// screen-grab --clipboard
//
// Saves the X screen (or a rectangle of it) as a PNG, or prints the text on
// the clipboard: how the end-to-end tests and the demonstration see what a
// user sees and pastes.

#include <QClipboard>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() == 2 && arguments[1] == "--clipboard") {
    std::fputs(QGuiApplication::clipboard()->text().toUtf8().constData(), stdout);
    return 0;
  }
  if (arguments.size() != 2 && arguments.size() != 6) {
    std::fprintf(stderr, "usage: screen-grab PATH [X Y WIDTH HEIGHT] | --clipboard\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  const QPixmap shot = arguments.size() == 6 ? screen->grabWindow(0, arguments[2].toInt(), arguments[3].toInt(),
                                                                  arguments[4].toInt(), arguments[5].toInt())
                                             : screen->grabWindow(0);
  if (shot.isNull() || !shot.save(arguments[1], "PNG")) {
    std::fprintf(stderr, "screen-grab: could not save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
