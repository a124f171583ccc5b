#include "app/qt/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/qt/jpeg_image.h"
#include "app/qt/resources.h"
#include "app/qt/tip_window.h"

namespace ornivel {
namespace {

template <typename T>
T* Child(QWidget& parent, const char* name) {
  return parent.findChild<T*>(QString::fromUtf8(name));
}

void ExpectGeometry(QWidget* widget, QRect expected) {
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->geometry(), expected) << widget->objectName().toStdString();
}

TEST(MainWindowTest, WindowIsFixedCaptionedAndCentred) {
  MainWindow window;
  EXPECT_EQ(window.windowTitle(), "Ornivel");
  EXPECT_EQ(window.size(), QSize(640, 362));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
  window.PlaceCentred();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window.pos(), QPoint((screen.width() - 646) / 2, (screen.height() - 393) / 2));
}

TEST(MainWindowTest, ComponentsSitWhereTheLayoutPutsThemWithTheirTexts) {
  MainWindow window;
  ExpectGeometry(Child<QLineEdit>(window, "编辑框_保存"), QRect(102, 321, 144, 24));
  ExpectGeometry(Child<QLabel>(window, "透明标签2"), QRect(14, 321, 80, 24));
  ExpectGeometry(Child<QLabel>(window, "透明标签1"), QRect(258, 321, 90, 24));
  ExpectGeometry(Child<QTableWidget>(window, "超级列表框1"), QRect(5, 5, 627, 299));
  ExpectGeometry(Child<QLineEdit>(window, "编辑框_搜索"), QRect(345, 321, 168, 24));
  ExpectGeometry(Child<QPushButton>(window, "按钮_搜索"), QRect(526, 319, 98, 26));

  EXPECT_EQ(Child<QLabel>(window, "透明标签2")->text(), QString::fromUtf8("下载保存目录："));
  EXPECT_EQ(Child<QLabel>(window, "透明标签1")->text(), QString::fromUtf8("输入歌曲/歌手："));
  EXPECT_EQ(window.searchBox()->text(), QString::fromUtf8("告白气球"));
  EXPECT_EQ(window.searchButton()->text(), QString::fromUtf8("搜索"));
  EXPECT_EQ(window.saveFolderBox()->text(), "");
  EXPECT_TRUE(window.saveFolderBox()->isReadOnly());
  EXPECT_FALSE(window.searchBox()->isReadOnly());
  EXPECT_EQ(window.searchBox()->alignment(), Qt::AlignCenter);
  EXPECT_EQ(window.saveFolderBox()->alignment(), Qt::AlignCenter);
  EXPECT_FALSE(window.searchButton()->isDefault());
  EXPECT_FALSE(window.searchButton()->autoDefault());
  EXPECT_EQ(Child<QLabel>(window, "透明标签1")->focusPolicy(), Qt::NoFocus);
}

TEST(MainWindowTest, SongListColumnsAndStyle) {
  MainWindow window;
  SongTable* list = window.songList();
  const char* headers[] = {"id", "歌曲名称", "歌手", "专辑", "rid", "点击歌曲获取地址"};
  const int widths[] = {35, 150, 100, 150, 0, 170};
  ASSERT_EQ(list->columnCount(), 6);
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(list->horizontalHeaderItem(column)->text(), QString::fromUtf8(headers[column]));
    if (column != 4) {
      EXPECT_EQ(list->columnWidth(column), widths[column]) << column;
    }
  }
  EXPECT_TRUE(list->isColumnHidden(4));
  EXPECT_EQ(list->rowCount(), 0);
  EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_TRUE(list->showGrid());
  EXPECT_FALSE(list->isSortingEnabled());
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_TRUE(list->horizontalHeader()->sectionsClickable());
  EXPECT_FALSE(list->verticalHeader()->isVisible());

  // A pressed header sorts nothing.
  list->setRowCount(2);
  list->setItem(0, 1, new QTableWidgetItem("b"));
  list->setItem(1, 1, new QTableWidgetItem("a"));
  QTest::mouseClick(list->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(60, 5));
  EXPECT_EQ(list->item(0, 1)->text(), "b");
}

TEST(MainWindowTest, TabCycleAndKeys) {
  MainWindow window;
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.searchButton()->setFocus();
  const std::vector<QWidget*> forward = {window.searchBox(), window.songList(),
                                         window.saveFolderBox(), window.searchButton()};
  for (QWidget* expected : forward) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected) << expected->objectName().toStdString();
  }
  const std::vector<QWidget*> backward = {window.saveFolderBox(), window.songList(),
                                          window.searchBox(), window.searchButton()};
  for (QWidget* expected : backward) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), expected) << expected->objectName().toStdString();
  }

  QSignalSpy searches(&window, &MainWindow::searchClicked);
  QTest::keyClick(window.searchBox(), Qt::Key_Return);
  QTest::keyClick(window.searchBox(), Qt::Key_Enter);
  EXPECT_EQ(searches.count(), 0);  // Enter presses nothing
  QTest::mouseClick(window.searchButton(), Qt::LeftButton);
  EXPECT_EQ(searches.count(), 1);

  QTest::keyClick(window.songList(), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

TEST(MainWindowTest, RightClickAnywhereOpensTheMenuWithFourEnabledItems) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseClick(window.songList()->viewport(), Qt::RightButton, {}, QPoint(200, 200));
  QMenu* menu = window.songListMenu();
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(menu->title(), QString::fromUtf8("菜单"));
  const auto actions = menu->actions();
  ASSERT_EQ(actions.size(), 4);
  const char* texts[] = {"复制歌曲地址", "下载此歌曲", "更改保存目录", "实现小目标"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(actions[i]->text(), QString::fromUtf8(texts[i]));
    EXPECT_TRUE(actions[i]->isEnabled());
    EXPECT_FALSE(actions[i]->isCheckable());
  }
  QSignalSpy downloads(&window, &MainWindow::downloadChosen);
  actions[1]->trigger();
  EXPECT_EQ(downloads.count(), 1);
  menu->hide();
}

TEST(MainWindowTest, LeftClicksReportAfterTheSelectionChangesButKeysDoNot) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  SongTable* list = window.songList();
  list->setRowCount(3);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 6; ++column) list->setItem(row, column, new QTableWidgetItem("x"));
  }
  int selectedAtClick = -2;
  QObject::connect(&window, &MainWindow::listLeftClicked, [&] {
    const auto rows = list->selectionModel()->selectedRows();
    selectedAtClick = rows.isEmpty() ? -1 : rows.first().row();
  });
  QSignalSpy clicks(&window, &MainWindow::listLeftClicked);
  const QRect second = list->visualItemRect(list->item(1, 1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(selectedAtClick, 1);

  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(clicks.count(), 1);

  // The empty area below the rows: the selection is cleared and the click still reported.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(100, 250));
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_EQ(selectedAtClick, -1);

  // A double click: its first click is reported, the double click itself adds nothing.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(clicks.count(), 3);
}

TEST(TipWindowTest, ModalFreshEachTimeAndEscClosesOnlyIt) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  std::vector<QPointer<QWidget>> seen;
  for (int round = 0; round < 2; ++round) {
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      seen.emplace_back(dialog);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("   微信扫一扫，打赏作者"));
      EXPECT_EQ(dialog->size(), QSize(TipWindow::kClientWidth, TipWindow::kClientHeight));
      EXPECT_TRUE(dialog->isModal());
      auto* first = dialog->findChild<QLabel*>(QString::fromUtf8("标签1"));
      auto* second = dialog->findChild<QLabel*>(QString::fromUtf8("标签2"));
      auto* picture = dialog->findChild<QLabel*>(QString::fromUtf8("图片框2"));
      ASSERT_TRUE(first && second && picture);
      EXPECT_EQ(first->geometry(), QRect(76, 8, 228, 19));
      EXPECT_EQ(second->geometry(), QRect(40, 286, 304, 34));
      EXPECT_EQ(picture->geometry(), QRect(66, 35, 243, 243));
      EXPECT_EQ(first->text(), QString::fromUtf8("某的小目标，你准备贡献多少？"));
      EXPECT_EQ(second->text(),
                QString::fromUtf8("不打赏？！大坏蛋，人家要拿小拳拳捶你胸口，(?\?ˇ?ˇ?\?)哼！"));
      EXPECT_TRUE(first->wordWrap());
      EXPECT_EQ(first->palette().color(QPalette::Window), QColor(255, 168, 255));
      EXPECT_EQ(first->palette().color(QPalette::WindowText), QColor(128, 0, 128));
      EXPECT_EQ(first->font().pixelSize(), 16);
      ASSERT_FALSE(picture->pixmap().isNull());  // the carried JPEG was decoded
      EXPECT_EQ(picture->pixmap().size(), QSize(243, 243));
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    ShowTipWindow(&window);
    EXPECT_TRUE(window.isVisible());  // Esc closed the dialog only
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].isNull());  // the first dialog is gone; the second was a new one
  EXPECT_TRUE(seen[1].isNull());
}

TEST(JpegImageTest, DecodesTheTipPictureAndSurvivesGarbage) {
  EnsureResources();
  QFile file(":/ornivel/tip.jpg");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QImage image = DecodeJpeg(file.readAll());
  EXPECT_EQ(image.size(), QSize(432, 427));
  EXPECT_TRUE(DecodeJpeg(QByteArray("not a jpeg at all")).isNull());
  QFile again(":/ornivel/tip.jpg");
  ASSERT_TRUE(again.open(QIODevice::ReadOnly));
  // Headers and a few scan lines, then nothing: libjpeg's complaint must come back here, not
  // end the process.
  (void)DecodeJpeg(again.read(600));
  EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
}

}  // namespace
}  // namespace ornivel
