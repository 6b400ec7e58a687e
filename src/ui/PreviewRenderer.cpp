#include "ui/PreviewRenderer.h"

#include <QBuffer>
#include <QWidget>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "support/FileDescriptor.h"

namespace notch {
namespace {

constexpr qreal kScale = 2;

bool writeAll(int fd, const QByteArray& bytes) {
  for (qsizetype written = 0; written < bytes.size();) {
    const ssize_t step = ::write(fd, bytes.constData() + written, static_cast<std::size_t>(bytes.size() - written));
    if (step < 0 && errno == EINTR) {
      continue;
    }
    if (step <= 0) {
      return false;
    }
    written += step;
  }
  return true;
}

} // namespace

QImage renderWidget(QWidget& widget) {
  QImage image(widget.size() * kScale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(kScale);
  image.fill(Qt::transparent);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

bool saveNewPng(const QImage& image, const std::string& path) {
  QByteArray png;
  QBuffer buffer(&png);
  if (path.empty() || image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
    return false;
  }
  // O_EXCL: whoever created the file first keeps it, this writer included.
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!file) {
    return false;
  }
  if (!writeAll(file.get(), png) || ::fsync(file.get()) != 0) {
    ::unlink(path.c_str()); // the half-written file is this call's own
    return false;
  }
  return true;
}

} // namespace notch
