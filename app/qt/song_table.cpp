#include "app/qt/song_table.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "app/qt/layout_text.h"
#include "app/window_layout.h"

namespace ornivel {

SongTable::SongTable(QWidget* parent) : QTableWidget(0, kColumnCount, parent) {
  setObjectName(QString::fromUtf8("超级列表框1"));
  QStringList headers;
  for (const layout::Column& column : layout::kSongListColumns) {
    headers << Text(column.header);
  }
  setHorizontalHeaderLabels(headers);
  horizontalHeader()->setMinimumSectionSize(0);
  for (int column = 0; column < kColumnCount; ++column) {
    setColumnWidth(column, layout::kSongListColumns[static_cast<std::size_t>(column)].width);
  }
  // The identifier: an ordinary column the list operations read, never shown.
  setColumnHidden(kColumnIdentifier, true);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setSectionsClickable(true);  // pressable, and nothing more
  horizontalHeader()->setSortIndicatorShown(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  setSortingEnabled(false);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  setShowGrid(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setFocusPolicy(Qt::StrongFocus);
  // The list is one focus stop: Tab goes on to the next component instead of the next cell
  // (which, a row at a time, would also move the selection).
  setTabKeyNavigation(false);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);

  // Black on white like the edit boxes, in every state of the window, whatever the theme.
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::AlternateBase, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
  shownHighlight_ = colours.color(QPalette::Active, QPalette::Highlight);
  shownHighlightedText_ = colours.color(QPalette::Active, QPalette::HighlightedText);
  ShowSelection(false);
}

void SongTable::ShowSelection(bool shown) {
  // A hidden selection is drawn in the colours of any other row: nothing marks it.
  QPalette colours = palette();
  colours.setColor(QPalette::Highlight, shown ? shownHighlight_ : QColor(Qt::white));
  colours.setColor(QPalette::HighlightedText, shown ? shownHighlightedText_ : QColor(Qt::black));
  setPalette(colours);
  viewport()->update();
}

void SongTable::focusInEvent(QFocusEvent* event) {
  QTableWidget::focusInEvent(event);
  ShowSelection(true);
}

void SongTable::focusOutEvent(QFocusEvent* event) {
  QTableWidget::focusOutEvent(event);
  // The pop-up menu leaves the focus where it was: the selection stays visible under it.
  if (event->reason() != Qt::PopupFocusReason) ShowSelection(false);
}

void SongTable::mousePressEvent(QMouseEvent* event) {
  QTableWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    if (itemAt(event->position().toPoint()) == nullptr) clearSelection();
    leftPressed_ = true;
    secondOfDouble_ = false;
  } else if (event->button() == Qt::RightButton) {
    emit rightClicked();
  }
}

void SongTable::mouseReleaseEvent(QMouseEvent* event) {
  QTableWidget::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !leftPressed_) return;
  leftPressed_ = false;
  // The selection no longer moves: the row it holds now is the one the click is about.
  if (!secondOfDouble_) emit leftClicked();
  secondOfDouble_ = false;
}

void SongTable::mouseDoubleClickEvent(QMouseEvent* event) {
  // The first click of the two has already been reported; the double click adds nothing, and
  // neither does the release that ends it.
  if (event->button() == Qt::LeftButton) secondOfDouble_ = true;
  event->accept();
}

void SongTable::keyPressEvent(QKeyEvent* event) {
  // The keypad's Enter comes with the keypad's modifier, and is Enter all the same.
  const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                     (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  const bool menuKey = (event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier) ||
                       (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
  if (enter) {
    // What a left click on the row does; without a selected row, nothing.
    if (!selectedItems().isEmpty()) emit leftClicked();
    event->accept();
    return;
  }
  if (menuKey) {
    emit menuKeyPressed(KeyboardMenuPlace());
    event->accept();
    return;
  }
  QTableWidget::keyPressEvent(event);
}

void SongTable::contextMenuEvent(QContextMenuEvent* event) {
  // A right click is reported by its press; a menu key that the key press did not see (a
  // platform that sends only the menu request) opens the menu as the key does.
  if (event->reason() == QContextMenuEvent::Keyboard) emit menuKeyPressed(KeyboardMenuPlace());
  event->accept();
}

QPoint SongTable::KeyboardMenuPlace() {
  const QList<QTableWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return viewport()->mapToGlobal(QPoint(0, 0));
  const int row = selected.front()->row();
  scrollToItem(item(row, kColumnNumber));
  const QRect cell = visualRect(model()->index(row, kColumnNumber));
  return viewport()->mapToGlobal(QPoint(cell.left(), cell.center().y()));
}

}  // namespace ornivel
