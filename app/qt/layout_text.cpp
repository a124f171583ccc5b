#include "app/qt/layout_text.h"

#include <QScreen>

namespace ornivel {

void PlaceCentred(QWidget& window, const QScreen* screen) {
  if (screen == nullptr) return;
  QSize outer = window.frameGeometry().size();
  if (outer == window.size()) {  // no frame yet
    outer += QSize(layout::kDesignFrameWidth, layout::kDesignFrameHeight);
  }
  const QRect area = screen->geometry();
  window.move(area.x() + (area.width() - outer.width()) / 2,
              area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace ornivel
