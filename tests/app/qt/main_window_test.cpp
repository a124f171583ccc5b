#include "app/qt/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/qt/jpeg_image.h"
#include "app/qt/resources.h"
#include "app/qt/tip_window.h"
#include "tests/app/qt/gui_test_support.h"

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
    for (int column = 0; column < 6; ++column)
      list->setItem(row, column, new QTableWidgetItem("x"));
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
      EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
      auto* first = dialog->findChild<QLabel*>(QString::fromUtf8("标签1"));
      auto* second = dialog->findChild<QLabel*>(QString::fromUtf8("标签2"));
      auto* picture = dialog->findChild<QLabel*>(QString::fromUtf8("图片框2"));
      ASSERT_TRUE(first && second && picture);
      // Their texts may run on below their rectangles (see the pixel test below).
      EXPECT_EQ(first->geometry().topLeft(), QPoint(76, 8));
      EXPECT_EQ(first->width(), 228);
      EXPECT_GE(first->height(), 19);
      EXPECT_EQ(second->geometry().topLeft(), QPoint(40, 286));
      EXPECT_EQ(second->width(), 304);
      EXPECT_GE(second->height(), 34);
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

// The lowest row of `image` inside `area` that holds a pixel passing `test`; -1 for none.
int LowestRow(const QImage& image, QRect area, const std::function<bool(QRgb)>& test) {
  for (int y = area.bottom(); y >= area.top(); --y) {
    if (test::CountPixels(image, QRect(area.left(), y, area.width(), 1), test) > 0) return y;
  }
  return -1;
}

TEST(TipWindowTest, AScreenReaderReadsTheLabelsTextsAndTheTitle) {
  TipWindow tip(nullptr);
  const auto name = &test::AccessibleName;
  EXPECT_EQ(name(&tip), "   微信扫一扫，打赏作者");
  EXPECT_EQ(name(Child<QLabel>(tip, "标签1")), "某的小目标，你准备贡献多少？");
  EXPECT_EQ(name(Child<QLabel>(tip, "标签2")), Child<QLabel>(tip, "标签2")->text().toStdString());
  EXPECT_NE(name(Child<QLabel>(tip, "标签2")).find("大坏蛋"), std::string::npos);
}

TEST(TipWindowTest, LabelsArePinkWithPurpleTextAndTheSecondShowsBothLines) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QColor pink(255, 168, 255), purple(128, 0, 128);
  QImage shot;
  QFont labelFont;
  QString secondText;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto* second = dialog->findChild<QLabel*>(QString::fromUtf8("标签2"));
    ASSERT_NE(second, nullptr);
    labelFont = second->font();
    secondText = second->text();
    shot = test::Grab(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  ShowTipWindow(&window);
  ASSERT_FALSE(shot.isNull());
  ASSERT_EQ(shot.size(), QSize(TipWindow::kClientWidth, TipWindow::kClientHeight));
  const QColor face = shot.pixelColor(2, 2);  // the dialog's own background
  ASSERT_FALSE(test::Near(face.rgb(), pink, 40));

  // Inside each label's rectangle: pink fill, purple letters, nothing black or of the face.
  auto isPink = [&](QRgb p) { return test::Near(p, pink, 2); };
  auto isPurple = [&](QRgb p) { return test::Near(p, purple, 10); };
  auto isPurpleInk = [&](QRgb p) {  // purple, or purple blended into the background
    return qGreen(p) + 40 < qRed(p) && std::abs(qRed(p) - qBlue(p)) <= 12;
  };
  auto isGreyOrBlack = [](QRgb p) {
    return qRed(p) < 200 && std::abs(qRed(p) - qGreen(p)) <= 10 &&
           std::abs(qGreen(p) - qBlue(p)) <= 10;
  };
  for (const QRect label : {QRect(76, 8, 228, 19), QRect(40, 286, 304, 34)}) {
    const int area = label.width() * label.height();
    EXPECT_GT(test::CountPixels(shot, label, isPink), area / 2) << label.y();
    EXPECT_GT(test::CountPixels(shot, label, isPurple), 30) << label.y() << ": no purple text";
    EXPECT_EQ(test::CountPixels(shot, label, isGreyOrBlack), 0) << label.y();
    EXPECT_EQ(test::CountPixels(shot, label, [&](QRgb p) { return test::Near(p, face, 2); }), 0)
        << label.y();
  }

  // The second label's text drawn alone, unclipped, in the same font and width: how far down
  // its letters reach.
  QImage alone(304, 200, QImage::Format_RGB32);
  alone.fill(Qt::white);
  {
    QPainter painter(&alone);
    painter.setFont(labelFont);
    painter.setPen(purple);
    painter.drawText(alone.rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, secondText);
  }
  const int inkBottom =
      LowestRow(alone, alone.rect(), [](QRgb p) { return p != qRgb(255, 255, 255); });
  ASSERT_GT(inkBottom, 34) << "the text should need more than the label's 34 pixels";
  ASSERT_LT(286 + inkBottom, TipWindow::kClientHeight);
  // In the dialog the letters reach just as far: the second line is whole, not cut at the
  // rectangle's bottom edge; below the rectangle there is no pink.
  const QRect below(40, 320, 304, TipWindow::kClientHeight - 320);
  EXPECT_EQ(LowestRow(shot, QRect(40, 286, 304, below.bottom() - 285), isPurpleInk),
            286 + inkBottom);
  EXPECT_GT(test::CountPixels(shot, below, isPurpleInk), 20);
  EXPECT_EQ(test::CountPixels(shot, below, isPink), 0);
}

// The columns of `area` that hold a dark pixel: the first and the last, or -1 when none does.
std::pair<int, int> InkColumns(const QImage& image, QRect area) {
  int first = -1;
  int last = -1;
  for (int x = area.left(); x <= area.right(); ++x) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      if (qGray(image.pixel(x, y)) < 96) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

// `rect` (device-independent pixels) in the device pixels of a grab at `scale`.
QRect Scaled(QRect rect, double scale) {
  return QRect(qRound(rect.x() * scale), qRound(rect.y() * scale), qRound(rect.width() * scale),
               qRound(rect.height() * scale));
}

// Run by the tests at QT_SCALE_FACTOR 1.5 and 2 (and at 1 with the others): the window is laid
// out at the scale, and what it shows is whole.
TEST(HighDpiTest, CaptionsHeadersAndBoxesAreWholeAndApartAtTheScale) {
  const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                           ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                           : 1.0;
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_DOUBLE_EQ(window.devicePixelRatio(), scale);
  const QImage shot = window.grab().toImage();
  ASSERT_EQ(shot.size(), QSize(qRound(640 * scale), qRound(362 * scale)));
  // Each caption whole, and apart from the box beside it: its last stroke ends before its own
  // rectangle does (which reaches under the box by design) and before the box begins.
  const std::pair<const char*, QWidget*> captions[] = {{"透明标签2", window.saveFolderBox()},
                                                       {"透明标签1", window.searchBox()}};
  for (const auto& [name, box] : captions) {
    SCOPED_TRACE(name);
    const QRect area = Scaled(Child<QLabel>(window, name)->geometry(), scale);
    const auto [first, last] = InkColumns(shot, area);
    ASSERT_GE(first, 0) << "no text drawn";
    EXPECT_GT(first, area.left());
    EXPECT_LT(last, area.right() - 1);
    EXPECT_LT(last, qRound(box->geometry().left() * scale) - 1);
  }
  // Each shown column's header text fits its section.
  QHeaderView* header = window.songList()->horizontalHeader();
  for (int column = 0; column < header->count(); ++column) {
    if (header->isSectionHidden(column)) continue;
    const QString text = header->model()->headerData(column, Qt::Horizontal).toString();
    EXPECT_LE(header->fontMetrics().horizontalAdvance(text), header->sectionSize(column))
        << text.toStdString();
    // And the grab shows it there, whole: ink inside the section's edges, as wide as the text
    // at the scale (an elided or unscaled text is narrower).
    const QPoint corner =
        header->mapTo(&window, QPoint(header->sectionViewportPosition(column), 0));
    const QRect section =
        Scaled(QRect(corner, QSize(header->sectionSize(column), header->height())), scale)
            .adjusted(0, qRound(2 * scale), 0, -qRound(2 * scale));
    const auto [first, last] = InkColumns(shot, section);
    ASSERT_GE(first, 0) << text.toStdString() << ": no header text drawn";
    EXPECT_GT(first, section.left()) << text.toStdString();
    EXPECT_LT(last, section.right()) << text.toStdString();
    const double width = header->fontMetrics().horizontalAdvance(text) * scale;
    EXPECT_GE(last - first + 1, width - 4 * scale) << text.toStdString();
    EXPECT_LE(last - first + 1, width + 2) << text.toStdString();
  }
}

TEST(HighDpiTest, TheTipsPinkLabelsHoldTheirWholeTextAtTheScale) {
  const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                           ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                           : 1.0;
  TipWindow tip(nullptr);
  tip.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&tip));
  const QImage shot = tip.grab().toImage();
  ASSERT_EQ(shot.size(), QSize(qRound(tip.width() * scale), qRound(tip.height() * scale)));
  const QColor pink(255, 168, 255);
  int labels = 0;
  for (QLabel* label : tip.findChildren<QLabel*>()) {
    if (label->text().isEmpty()) continue;
    ++labels;
    SCOPED_TRACE(label->text().toStdString());
    const QRect area = Scaled(label->geometry(), scale);
    EXPECT_GT(test::CountPixels(shot, area, [&](QRgb p) { return test::Near(p, pink, 2); }),
              area.width() * area.height() / 3);
    const auto [first, last] = InkColumns(shot, area);
    ASSERT_GE(first, 0) << "no text drawn";
    EXPECT_GT(first, area.left());
    EXPECT_LT(last, area.right());
  }
  EXPECT_EQ(labels, 2);
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
