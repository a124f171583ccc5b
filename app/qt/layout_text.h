#pragma once
// The shared layout (app/window_layout.h) in Qt's terms: its UTF-8 texts, rectangles and
// colours, and the centring of a window by its outer size.

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string_view>

#include "app/window_layout.h"

namespace ornivel {

inline QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline QRect Geometry(const layout::Rect& rect) {
  return QRect(rect.x, rect.y, rect.dx, rect.dy);
}

inline QColor Colour(const layout::Colour& colour) {
  return QColor(colour.red, colour.green, colour.blue);
}

// Moves `window` so that its outer size is centred on `screen`'s area (nothing without a
// screen). The outer size is the frame the platform reports once the window has one, and the
// design's frame around the client area before.
void PlaceCentred(QWidget& window, const QScreen* screen);

}  // namespace ornivel
