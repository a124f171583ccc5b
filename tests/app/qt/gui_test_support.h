#pragma once
// Helpers of the Qt front end's tests: waiting for the event loop, filling the song list, finding
// the worker's question, and reading the texts and pixels of what is on screen.

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTableWidget>
#include <QWidget>

#include <chrono>
#include <functional>
#include <string>

namespace ornivel::test {

// Processes the window thread's events until `done` holds or `limit` has passed.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// `rows` rows of six cells as a search leaves them, the address column still empty.
inline void FillSongRows(QTableWidget* list, int rows) {
  list->setRowCount(rows);
  for (int row = 0; row < rows; ++row) {
    const QString cells[] = {QString::number(row + 1),
                             QStringLiteral("Song %1").arg(row + 1),
                             QStringLiteral("Singer %1").arg(row % 37),
                             QStringLiteral("Album %1").arg(row % 11),
                             QStringLiteral("MUSIC_%1").arg(100000 + row),
                             QString()};
    for (int column = 0; column < 6; ++column) {
      list->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
  }
}

// The worker's question on screen, if one is.
inline QMessageBox* FindQuestion() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box != nullptr && box->objectName() == "WorkerQuestion" && box->isVisible()) return box;
  }
  return nullptr;
}

// The text a button or a menu item shows: without the "&" that marks its access key.
inline QString Shown(QString text) {
  text.remove(QLatin1Char('&'));
  return text.left(text.indexOf(QLatin1Char('\t')));  // no shortcut column
}

// What `widget` looks like now, rendered as it paints itself (children included).
inline QImage Grab(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// How many pixels of `area` in `image` satisfy `test`.
inline int CountPixels(const QImage& image, QRect area, const std::function<bool(QRgb)>& test) {
  int count = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += test(image.pixel(x, y)) ? 1 : 0;
  }
  return count;
}

// A colour within `tolerance` of `expected` in each channel.
inline bool Near(QRgb pixel, QColor expected, int tolerance = 8) {
  return std::abs(qRed(pixel) - expected.red()) <= tolerance &&
         std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
         std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

// The name a screen reader reads for `object`: its accessible name, "(none)" when it has no
// accessible interface.
inline std::string AccessibleName(QObject* object) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
  return accessible != nullptr ? accessible->text(QAccessible::Name).toStdString()
                               : std::string("(none)");
}

}  // namespace ornivel::test
