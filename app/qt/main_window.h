#pragma once
// MainWindow: the program's one long-lived window, 640 × 362 in its client area, not
// resizable, with the song list, the search box and button, and the save-folder box.

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <utility>

#include "app/qt/song_table.h"

namespace ornivel {

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  MainWindow();

  SongTable* songList() const { return songList_; }
  QLineEdit* searchBox() const { return searchBox_; }
  QLineEdit* saveFolderBox() const { return saveFolderBox_; }
  QPushButton* searchButton() const { return searchButton_; }
  // SongListMenu: "复制歌曲地址", "下载此歌曲", "更改保存目录", "实现小目标".
  QMenu* songListMenu() const { return menu_; }

  // Places the window as the layout was drawn: its outer size (before it is shown, the client
  // area in the design's frame, 646 × 393) centred on the primary screen, the division truncated
  // toward zero.
  void PlaceCentred();

  // Asked when the window is to close (Esc or the close box): false keeps it open.
  void SetCloseQuestion(std::function<bool()> mayClose) { mayClose_ = std::move(mayClose); }

 signals:
  void searchClicked();
  void listLeftClicked();
  void copyAddressChosen();
  void downloadChosen();
  void changeFolderChosen();
  void tipChosen();

 public slots:
  // Pops SongListMenu up at the cursor; the chosen item's signal follows.
  void ShowSongListMenu();
  // Pops SongListMenu up at `place` (global), as the Menu key and Shift+F10 in the list do.
  void ShowSongListMenuAt(QPoint place);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLineEdit* saveFolderBox_;
  QLabel* saveFolderCaption_;
  QLabel* searchCaption_;
  SongTable* songList_;
  QLineEdit* searchBox_;
  QPushButton* searchButton_;
  QMenu* menu_;
  std::function<bool()> mayClose_;
};

}  // namespace ornivel
