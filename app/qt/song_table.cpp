#include "app/qt/song_table.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace ornivel {

SongTable::SongTable(QWidget* parent) : QTableWidget(0, 6, parent) {
  setObjectName(QString::fromUtf8("超级列表框1"));
  setHorizontalHeaderLabels({QStringLiteral("id"), QString::fromUtf8("歌曲名称"),
                             QString::fromUtf8("歌手"), QString::fromUtf8("专辑"),
                             QStringLiteral("rid"), QString::fromUtf8("点击歌曲获取地址")});
  const int widths[] = {35, 150, 100, 150, 0, 170};
  horizontalHeader()->setMinimumSectionSize(0);
  for (int column = 0; column < 6; ++column) setColumnWidth(column, widths[column]);
  // Column 4 holds the identifier: an ordinary column the list operations read, never shown.
  setColumnHidden(4, true);
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
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
}

void SongTable::mousePressEvent(QMouseEvent* event) {
  QTableWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    if (itemAt(event->position().toPoint()) == nullptr) clearSelection();
    emit leftClicked();
  } else if (event->button() == Qt::RightButton) {
    emit rightClicked();
  }
}

void SongTable::mouseDoubleClickEvent(QMouseEvent* event) {
  // The first click of the two has already been reported; the double click adds nothing.
  event->accept();
}

}  // namespace ornivel
