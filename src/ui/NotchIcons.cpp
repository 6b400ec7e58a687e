#include "ui/NotchIcons.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>
#include <mutex>

// The symbols live in a static library, where nothing else would pull their
// resource initialiser into the program.
static void initialiseNotchResources() { Q_INIT_RESOURCE(NotchIcons); }

namespace notch {
namespace {

QString resourcePath(const QString& name) {
  static std::once_flag once;
  std::call_once(once, initialiseNotchResources);
  return QStringLiteral(":/notch/icons/") + name + QStringLiteral(".svg");
}

QImage render(const QString& path, int pixels) {
  if (!QFile::exists(path)) {
    return {};
  }
  QSvgRenderer renderer(path);
  if (!renderer.isValid() || pixels <= 0) {
    return {};
  }
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  return image;
}

QPixmap fullColour(const QString& name, int size, qreal devicePixelRatio) {
  const int pixels = static_cast<int>(std::lround(size * devicePixelRatio));
  QImage image = render(resourcePath(name), pixels);
  if (image.isNull()) {
    return {};
  }
  image.setDevicePixelRatio(devicePixelRatio);
  return QPixmap::fromImage(image);
}

} // namespace

bool hasNotchIcon(const QString& name) { return !render(resourcePath(name), 1).isNull(); }

QPixmap notchIconPixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio) {
  const QString key =
      QStringLiteral("notch-icon/%1/%2/%3/%4").arg(name).arg(size).arg(color.rgba()).arg(devicePixelRatio);
  QPixmap cached;
  if (QPixmapCache::find(key, &cached)) {
    return cached;
  }
  const int pixels = static_cast<int>(std::lround(size * devicePixelRatio));
  QImage image = render(resourcePath(name), pixels);
  if (image.isNull()) {
    return {};
  }
  // Ink is how dark and how opaque a pixel of the template is; white marks holes.
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = line[x];
      const double ink = qAlpha(pixel) / 255.0 * (1.0 - qGray(pixel) / 255.0);
      line[x] = qRgba(color.red(), color.green(), color.blue(), static_cast<int>(std::lround(ink * color.alpha())));
    }
  }
  image.setDevicePixelRatio(devicePixelRatio);
  cached = QPixmap::fromImage(image);
  QPixmapCache::insert(key, cached);
  return cached;
}

void paintNotchIcon(QPainter& painter, const QRectF& box, const QString& name, const QColor& color) {
  const int size = static_cast<int>(std::floor(std::min(box.width(), box.height())));
  const QPixmap pixmap = notchIconPixmap(name, size, color, painter.device()->devicePixelRatioF());
  if (pixmap.isNull()) {
    return;
  }
  const QPointF origin(box.center().x() - size / 2.0, box.center().y() - size / 2.0);
  painter.drawPixmap(origin, pixmap);
}

QPixmap brandAvatarPixmap(int size, qreal devicePixelRatio) {
  return fullColour("BrandAvatar", size, devicePixelRatio);
}

QPixmap menuBarTemplatePixmap(int size, qreal devicePixelRatio) {
  return fullColour("MenuBarTemplate", size, devicePixelRatio);
}

NotchIcon::NotchIcon(const QString& name, int size, const QColor& color, QWidget* parent)
    : QWidget(parent), name_(name), color_(color) {
  setFixedSize(size, size);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void NotchIcon::setName(const QString& name) {
  if (name != name_) {
    name_ = name;
    update();
  }
}

void NotchIcon::setColor(const QColor& color) {
  if (color != color_) {
    color_ = color;
    update();
  }
}

void NotchIcon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintNotchIcon(painter, rect(), name_, color_);
}

} // namespace notch
