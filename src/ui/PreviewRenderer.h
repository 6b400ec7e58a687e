#pragma once

// Renders the real notch view (or any widget) into a PNG without showing a
// window, and saves it only as a new file: an existing file is never
// replaced, even by a writer racing this one.

#include <QImage>

#include <string>

class QWidget;

namespace notch {

// The widget at its current size, on a transparent background, at twice
// the point size (sharp on high-density screens and in the README).
QImage renderWidget(QWidget& widget);

// Creates `path` exclusively and writes `image` there as a PNG; false (and
// nothing left behind by this call) when the file exists or cannot be written.
bool saveNewPng(const QImage& image, const std::string& path);

} // namespace notch
