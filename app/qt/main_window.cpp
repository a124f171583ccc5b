#include "app/qt/main_window.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>

namespace ornivel {
namespace {

QLineEdit* MakeEditBox(QWidget* parent, const char* name, QRect geometry) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(geometry);
  box->setAlignment(Qt::AlignCenter);
  box->setMaxLength(32767 * 1024);  // as good as no limit
  box->setFrame(true);
  box->setFocusPolicy(Qt::StrongFocus);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  box->setPalette(palette);
  return box;
}

QLabel* MakeCaption(QWidget* parent, const char* name, QRect geometry, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setAttribute(Qt::WA_TranslucentBackground);  // the window's background shows through
  label->setAutoFillBackground(false);
  // Black text of its own; inherited from the window, it would take the button text's colour.
  label->setForegroundRole(QPalette::WindowText);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

}  // namespace

MainWindow::MainWindow() {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("Ornivel"));
  // A caption, a system menu with the close box and a minimise box; no maximise box, no sizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setBackgroundRole(QPalette::Button);  // the button-face colour
  setAutoFillBackground(true);

  // In the order of the window design; none of them overlap.
  saveFolderBox_ = MakeEditBox(this, "编辑框_保存", QRect(102, 321, 144, 24));
  saveFolderBox_->setReadOnly(true);
  saveFolderCaption_ = MakeCaption(this, "透明标签2", QRect(14, 321, 80, 24), "下载保存目录：");
  searchCaption_ = MakeCaption(this, "透明标签1", QRect(258, 321, 90, 24), "输入歌曲/歌手：");
  songList_ = new SongTable(this);
  songList_->setGeometry(5, 5, 627, 299);
  searchBox_ = MakeEditBox(this, "编辑框_搜索", QRect(345, 321, 168, 24));
  searchBox_->setText(QString::fromUtf8("告白气球"));
  searchButton_ = new QPushButton(QString::fromUtf8("搜索"), this);
  searchButton_->setObjectName(QString::fromUtf8("按钮_搜索"));
  searchButton_->setGeometry(526, 319, 98, 26);
  searchButton_->setAutoDefault(false);  // Enter presses nothing
  searchButton_->setDefault(false);
  searchButton_->setFocusPolicy(Qt::StrongFocus);

  // Tab cycle: 按钮_搜索 → 编辑框_搜索 → 超级列表框1 → 编辑框_保存 → 按钮_搜索.
  setTabOrder(searchButton_, searchBox_);
  setTabOrder(searchBox_, songList_);
  setTabOrder(songList_, saveFolderBox_);
  setTabOrder(saveFolderBox_, searchButton_);

  menu_ = new QMenu(QString::fromUtf8("菜单"), this);
  menu_->setObjectName(QStringLiteral("SongListMenu"));
  connect(menu_->addAction(QString::fromUtf8("复制歌曲地址")), &QAction::triggered, this,
          &MainWindow::copyAddressChosen);
  connect(menu_->addAction(QString::fromUtf8("下载此歌曲")), &QAction::triggered, this,
          &MainWindow::downloadChosen);
  connect(menu_->addAction(QString::fromUtf8("更改保存目录")), &QAction::triggered, this,
          &MainWindow::changeFolderChosen);
  connect(menu_->addAction(QString::fromUtf8("实现小目标")), &QAction::triggered, this,
          &MainWindow::tipChosen);

  connect(searchButton_, &QPushButton::clicked, this, &MainWindow::searchClicked);
  connect(songList_, &SongTable::leftClicked, this, &MainWindow::listLeftClicked);
  connect(songList_, &SongTable::rightClicked, this, &MainWindow::ShowSongListMenu);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::PlaceCentred() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  move(area.x() + (area.width() - kOuterWidth) / 2, area.y() + (area.height() - kOuterHeight) / 2);
}

void MainWindow::ShowSongListMenu() {
  menu_->popup(QCursor::pos());
}

}  // namespace ornivel
