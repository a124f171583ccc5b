#pragma once
// The song list, 超级列表框1: a report view with grid lines and whole-row single selection.
// A left click anywhere in it (on a row, or on the empty area, which clears the selection) is
// reported after the selection has changed; a right click anywhere is reported too. Keyboard
// moves and the second click of a double click report nothing.

#include <QTableWidget>

namespace ornivel {

class SongTable final : public QTableWidget {
  Q_OBJECT

 public:
  explicit SongTable(QWidget* parent);

 signals:
  void leftClicked();
  void rightClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace ornivel
