#include "app/qt/song_table.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "app/qt/main_window.h"
#include "tests/app/qt/gui_test_support.h"

namespace ornivel {
namespace {

using test::CountPixels;
using test::Grab;
using test::Near;

int SelectedRowOf(const SongTable* list) {
  const QModelIndexList rows = list->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

// The centre of a cell, in the coordinates of the window that holds the list.
QPoint CellCentre(const SongTable* list, int row, int column) {
  const QRect cell = list->visualRect(list->model()->index(row, column));
  return list->viewport()->mapTo(list->window(), cell.center());
}

// The inside of a cell in window coordinates, without its grid lines.
QRect CellInside(const SongTable* list, int row, int column) {
  const QRect cell = list->visualRect(list->model()->index(row, column));
  return QRect(list->viewport()->mapTo(list->window(), cell.topLeft()), cell.size())
      .adjusted(2, 2, -2, -2);
}

// A window on screen and active, with 500 songs in its list.
class SongTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_ = window_.songList();
    test::FillSongRows(list_, 500);
    window_.show();
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

  MainWindow window_;
  SongTable* list_ = nullptr;
};

TEST_F(SongTableTest, TabLeavesTheListForTheNextStopAndNeverMovesTheSelection) {
  QTest::mouseClick(list_->viewport(), Qt::LeftButton, {},
                    list_->viewport()->mapFrom(&window_, CellCentre(list_, 2, 1)));
  ASSERT_EQ(QApplication::focusWidget(), list_);
  ASSERT_EQ(SelectedRowOf(list_), 2);

  QTest::keyClick(list_, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_.saveFolderBox());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), list_);
  QTest::keyClick(list_, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), window_.searchBox());

  // Ten laps each way round the four stops; the row the user clicked stays the selected one.
  const std::vector<QWidget*> cycle = {window_.searchButton(), window_.searchBox(), list_,
                                       window_.saveFolderBox()};
  window_.searchButton()->setFocus();
  for (int step = 1; step <= 40; ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), cycle[step % 4]) << "Tab number " << step;
    ASSERT_EQ(SelectedRowOf(list_), 2) << "Tab number " << step;
  }
  for (int step = 1; step <= 40; ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), cycle[(40 - step) % 4]) << "Shift+Tab number " << step;
    ASSERT_EQ(SelectedRowOf(list_), 2) << "Shift+Tab number " << step;
  }
  EXPECT_EQ(list_->currentIndex().row(), 2);
}

TEST_F(SongTableTest, AClickIsReportedOnReleaseForTheRowThenSelected) {
  QWindow* screen = window_.windowHandle();
  std::vector<int> reported;  // the selected row at each report
  QObject::connect(list_, &SongTable::leftClicked,
                   [&] { reported.push_back(SelectedRowOf(list_)); });

  // Pressed on row 1, dragged into row 2 and released there: one report, for row 2.
  QTest::mousePress(screen, Qt::LeftButton, {}, CellCentre(list_, 0, 1));
  EXPECT_TRUE(reported.empty()) << "reported while the button was still down";
  QTest::mouseMove(screen, CellCentre(list_, 1, 2));
  EXPECT_TRUE(reported.empty());
  QTest::mouseRelease(screen, Qt::LeftButton, {}, CellCentre(list_, 1, 2));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], 1);
  EXPECT_EQ(SelectedRowOf(list_), 1);

  // A plain click on row 6.
  QTest::mouseClick(screen, Qt::LeftButton, {}, CellCentre(list_, 5, 3));
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[1], 5);

  // A double click on row 4: its first click is reported, its second adds nothing.
  QTest::mouseDClick(screen, Qt::LeftButton, {}, CellCentre(list_, 3, 1));
  ASSERT_EQ(reported.size(), 3u);
  EXPECT_EQ(reported[2], 3);

  // A right click reports no left click.
  QTest::mouseClick(screen, Qt::RightButton, {}, CellCentre(list_, 7, 1));
  window_.songListMenu()->hide();
  EXPECT_EQ(reported.size(), 3u);
}

// The application's colours replaced for one test, as a dark desktop theme would.
class ScopedApplicationPalette {
 public:
  explicit ScopedApplicationPalette(const QPalette& palette) : saved_(QApplication::palette()) {
    QApplication::setPalette(palette);
  }
  ~ScopedApplicationPalette() { QApplication::setPalette(saved_); }

 private:
  QPalette saved_;
};

QPalette DarkTheme() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(225, 225, 225));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::AlternateBase, QColor(40, 40, 40));
  dark.setColor(QPalette::Text, QColor(225, 225, 225));
  dark.setColor(QPalette::Button, QColor(60, 60, 64));
  dark.setColor(QPalette::ButtonText, QColor(225, 225, 225));
  dark.setColor(QPalette::Highlight, QColor(214, 90, 20));
  dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
  return dark;
}

bool White(QRgb pixel) {
  return pixel == qRgb(255, 255, 255);
}
bool Dark(QRgb pixel) {
  return qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel))) < 90;
}
bool Grey(QRgb pixel) {
  return std::abs(qRed(pixel) - qGreen(pixel)) <= 6 && std::abs(qGreen(pixel) - qBlue(pixel)) <= 6;
}

TEST(SongTableColoursTest, BlackOnWhiteUnderADarkThemeAndTheSelectionOnlyWithTheFocus) {
  const ScopedApplicationPalette theme(DarkTheme());
  const QColor highlight = DarkTheme().color(QPalette::Highlight);
  MainWindow window;
  SongTable* list = window.songList();
  test::FillSongRows(list, 500);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  list->selectRow(2);
  window.searchBox()->setFocus();
  ASSERT_TRUE(test::PumpUntil([&] { return window.searchBox()->hasFocus(); }));

  // Without the focus the selected row looks like every other row: black letters on white.
  QImage shot = Grab(&window);
  for (const int row : {1, 2, 3}) {
    const QRect empty = CellInside(list, row, 5);
    EXPECT_EQ(CountPixels(shot, empty, [](QRgb p) { return !White(p); }), 0) << "row " << row;
    const QRect title = CellInside(list, row, 1);
    EXPECT_GT(CountPixels(shot, title, White), title.width() * title.height() / 2) << row;
    EXPECT_GT(CountPixels(shot, title, Dark), 10) << "row " << row << ": no black letters";
    EXPECT_EQ(CountPixels(shot, title, [](QRgb p) { return !Grey(p); }), 0) << "row " << row;
  }
  // The edit boxes, white as well.
  const QRect saveBox = window.saveFolderBox()->geometry().adjusted(3, 3, -3, -3);
  EXPECT_EQ(CountPixels(shot, saveBox, [](QRgb p) { return !White(p); }), 0);

  // With the focus, the selected row is marked in the theme's selection colour.
  list->setFocus();
  ASSERT_TRUE(test::PumpUntil([&] { return list->hasFocus(); }));
  shot = Grab(&window);
  const QRect selected = CellInside(list, 2, 5);
  EXPECT_GT(CountPixels(shot, selected, [&](QRgb p) { return Near(p, highlight); }),
            selected.width() * selected.height() * 9 / 10);
  EXPECT_EQ(CountPixels(shot, CellInside(list, 3, 5), [](QRgb p) { return !White(p); }), 0);

  // The pop-up menu over the list leaves the selection visible.
  QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, CellCentre(list, 2, 1));
  ASSERT_TRUE(window.songListMenu()->isVisible());
  shot = Grab(&window);
  EXPECT_GT(CountPixels(shot, selected, [&](QRgb p) { return Near(p, highlight); }),
            selected.width() * selected.height() * 9 / 10);
  window.songListMenu()->hide();

  // The focus moves on: the selection is hidden again, though the row is still selected.
  window.saveFolderBox()->setFocus();
  ASSERT_TRUE(test::PumpUntil([&] { return window.saveFolderBox()->hasFocus(); }));
  shot = Grab(&window);
  EXPECT_EQ(CountPixels(shot, selected, [](QRgb p) { return !White(p); }), 0);
  EXPECT_EQ(SelectedRowOf(list), 2);
}

}  // namespace
}  // namespace ornivel
