// icon-render SVG SIZE OUT.png
//
// Draws an SVG into a square PNG of SIZE pixels: the package's hicolor
// icons at their usual sizes come from the one drawing the app ships.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 4) {
    std::fprintf(stderr, "usage: icon-render SVG SIZE OUT.png\n");
    return 2;
  }
  QSvgRenderer drawing(arguments[1]);
  const int size = arguments[2].toInt();
  if (!drawing.isValid() || size <= 0) {
    std::fprintf(stderr, "icon-render: cannot draw %s at %s\n", argv[1], argv[2]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  drawing.render(&painter);
  painter.end();
  return image.save(arguments[3], "PNG") ? 0 : 1;
}
