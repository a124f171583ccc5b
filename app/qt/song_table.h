#pragma once
// The song list, 超级列表框1: a report view with grid lines and whole-row single selection, black
// text on white whatever the desktop theme, its selection shown only while it has the focus.
// A left click anywhere in it (on a row, or on the empty area, which clears the selection) is
// reported when the button is released, once the selection has settled: a press on one row
// dragged into another reports the row that is then selected. A right click anywhere is reported
// too. Keyboard moves and the second click of a double click report nothing. Tab and Shift+Tab
// leave the list for the window's next or previous focus stop; they never move between cells.
// From the keyboard, Enter on a selected row is a left click on it, and the Menu key or
// Shift+F10 asks for the pop-up menu (menuKeyPressed).

#include <QTableWidget>

namespace ornivel {

class SongTable final : public QTableWidget {
  Q_OBJECT

 public:
  explicit SongTable(QWidget* parent);

 signals:
  void leftClicked();
  void rightClicked();
  // The Menu key or Shift+F10: the menu opens at `place` (global): the selected row, or the
  // list's top left when no row is selected.
  void menuKeyPressed(QPoint place);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Draws the selection in the theme's colours, or like any other row. It shows while the list
  // has the focus, and while its pop-up menu is open over it.
  void ShowSelection(bool shown);
  // Where a menu opened from the keyboard goes, in global coordinates.
  [[nodiscard]] QPoint KeyboardMenuPlace();

  QColor shownHighlight_;  // the theme's selection colours, used while the list has the focus
  QColor shownHighlightedText_;
  // A left press in the list whose release is still to come, and whether it is the second
  // click of a double click (which reports nothing).
  bool leftPressed_ = false;
  bool secondOfDouble_ = false;
};

}  // namespace ornivel
