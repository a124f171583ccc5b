#include "app/qt/main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>

#include "app/qt/layout_text.h"
#include "app/window_layout.h"

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

QLabel* MakeCaption(QWidget* parent, const char* name, QRect geometry, std::string_view text) {
  auto* label = new QLabel(Text(text), parent);
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

// The signal of a menu item.
void (MainWindow::*ChosenSignal(layout::MenuItem item))() {
  switch (item) {
    case layout::MenuItem::kCopyAddress:
      return &MainWindow::copyAddressChosen;
    case layout::MenuItem::kDownload:
      return &MainWindow::downloadChosen;
    case layout::MenuItem::kChangeFolder:
      return &MainWindow::changeFolderChosen;
    case layout::MenuItem::kTip:
      break;
  }
  return &MainWindow::tipChosen;
}

}  // namespace

MainWindow::MainWindow() {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(Text(layout::kWindowTitle));
  // A caption, a system menu with the close box and a minimise box; no maximise box, no sizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(layout::kClientWidth, layout::kClientHeight);
  setBackgroundRole(QPalette::Button);  // the button-face colour
  setAutoFillBackground(true);

  // In the order of the window design; none of them overlap.
  saveFolderBox_ = MakeEditBox(this, "编辑框_保存", Geometry(layout::kSaveFolderBox));
  saveFolderBox_->setReadOnly(true);
  saveFolderCaption_ = MakeCaption(this, "透明标签2", Geometry(layout::kSaveFolderCaption),
                                   layout::kSaveFolderCaptionText);
  searchCaption_ =
      MakeCaption(this, "透明标签1", Geometry(layout::kSearchCaption), layout::kSearchCaptionText);
  songList_ = new SongTable(this);
  songList_->setGeometry(Geometry(layout::kSongList));
  searchBox_ = MakeEditBox(this, "编辑框_搜索", Geometry(layout::kSearchBox));
  searchBox_->setText(Text(layout::kSearchBoxText));
  searchButton_ = new QPushButton(Text(layout::kSearchButtonText), this);
  searchButton_->setObjectName(QString::fromUtf8("按钮_搜索"));
  searchButton_->setGeometry(Geometry(layout::kSearchButton));
  searchButton_->setAutoDefault(false);  // Enter presses nothing
  searchButton_->setDefault(false);
  searchButton_->setFocusPolicy(Qt::StrongFocus);

  // Tab cycle: 按钮_搜索 → 编辑框_搜索 → 超级列表框1 → 编辑框_保存 → 按钮_搜索.
  setTabOrder(searchButton_, searchBox_);
  setTabOrder(searchBox_, songList_);
  setTabOrder(songList_, saveFolderBox_);
  setTabOrder(saveFolderBox_, searchButton_);

  menu_ = new QMenu(Text(layout::kMenuTitle), this);
  menu_->setObjectName(QStringLiteral("SongListMenu"));
  for (const layout::MenuItem item : layout::kMenuItems) {
    connect(menu_->addAction(Text(layout::MenuItemText(item))), &QAction::triggered, this,
            ChosenSignal(item));
  }

  connect(searchButton_, &QPushButton::clicked, this, &MainWindow::searchClicked);
  connect(songList_, &SongTable::leftClicked, this, &MainWindow::listLeftClicked);
  connect(songList_, &SongTable::rightClicked, this, &MainWindow::ShowSongListMenu);
  connect(songList_, &SongTable::menuKeyPressed, this, &MainWindow::ShowSongListMenuAt);

  // What a screen reader says of each box: the caption beside it.
  saveFolderBox_->setAccessibleName(Text(layout::kSaveFolderCaptionText));
  saveFolderCaption_->setBuddy(saveFolderBox_);
  searchBox_->setAccessibleName(Text(layout::kSearchCaptionText));
  searchCaption_->setBuddy(searchBox_);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::PlaceCentred() {
  ornivel::PlaceCentred(*this, QGuiApplication::primaryScreen());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (mayClose_ && !mayClose_()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void MainWindow::ShowSongListMenu() {
  ShowSongListMenuAt(QCursor::pos());
}

void MainWindow::ShowSongListMenuAt(QPoint place) {
  menu_->popup(place);
}

}  // namespace ornivel
