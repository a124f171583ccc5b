#pragma once
// The main window of the Windows program: the song list, the search box and button, the
// save-folder box with their captions, and the hidden menu "菜单" that pops up over the list.
// Every component sits at its place in the client area, with its styles, in the default GUI font.

#include <windows.h>

#include <functional>
#include <memory>

#include "app/win32/dpi_scale.h"
#include "app/win32/program_windows.h"
#include "app/win32/resource.h"
#include "app/window_layout.h"
#include "win/com.h"

namespace ornivel {

// Control identifiers; the menu's items are numbered from kIdFirstMenuItem in the layout's
// order (layout::MenuItem).
enum : int {
  kIdSaveFolderBox = 101,
  kIdSaveFolderCaption,
  kIdSearchCaption,
  kIdSongList,
  kIdSearchBox,
  kIdSearchButton,
  kIdFirstMenuItem = 201,
};

// The command identifier of a menu item.
[[nodiscard]] constexpr int MenuCommand(layout::MenuItem item) {
  return kIdFirstMenuItem + static_cast<int>(item);
}

class MainWindow {
 public:
  // What the window's events run, each on the window thread.
  struct Handlers {
    std::function<void()> searchClicked;       // 按钮_搜索
    std::function<void()> listLeftClicked;     // 超级列表框1, once its selection has settled
    std::function<void()> copyAddressChosen;   // "复制歌曲地址"
    std::function<void()> downloadChosen;      // "下载此歌曲"
    std::function<void()> changeFolderChosen;  // "更改保存目录"
    std::function<void()> tipChosen;           // "实现小目标"
    std::function<bool()> closeAsked;          // Esc or the close box: true when it may close
    std::function<void()> destroyed;           // the window is going (the program ends)
  };

  // Makes the window hidden, centred on the primary screen, with its components and its menu.
  // Null when the window cannot be made.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance, Handlers handlers);

  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The DPI the window is laid out at.
  UINT dpi() const { return dpi_; }
  // Null once the window has been destroyed.
  HWND hwnd() const { return hwnd_; }
  HWND saveFolderBox() const { return saveFolderBox_; }
  HWND searchBox() const { return searchBox_; }
  HWND songList() const { return songList_; }
  HWND searchButton() const { return searchButton_; }
  // The hidden top-level menu; its only item is the pop-up "菜单" with the four items.
  HMENU menu() const { return menu_; }

  // Pops the menu up at the mouse cursor; a chosen item's handler runs when it has closed.
  void ShowSongListMenu();
  // Pops the menu up at `place` (screen coordinates).
  void ShowSongListMenuAt(POINT place);
  // Where the Menu key and Shift+F10 open it: at the selected row, else the list's top left.
  [[nodiscard]] POINT KeyboardMenuPlace() const;

  // Holds the list's drawing until the window thread next takes its messages, so that rows
  // added in one go (a search's 500) are drawn once instead of after every change.
  void HoldListDrawing();

  // Runs `work` on the window thread from any thread and waits for it: a SendMessage to the
  // window. False, and `work` not run, when the window is gone.
  static bool RunOnWindowThread(HWND window, const std::function<void()>& work);

 private:
  explicit MainWindow(Handlers handlers) : handlers_(std::move(handlers)) {}
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // The handler of a menu item.
  const std::function<void()>& MenuHandler(layout::MenuItem item) const;
  void CreateComponents(HINSTANCE instance);
  // Places every component, in the window's font, at the window's DPI.
  void PlaceComponents();
  // The window is on a screen of `dpi` now: it takes the `suggested` place and lays itself out
  // again at that DPI.
  void ChangeDpi(UINT dpi, const RECT& suggested);
  HFONT font() const { return GuiFontOr(font_); }
  // The focused component, kept while the window is not the active one, and given back.
  void RememberFocus();
  void RestoreFocus();

  // COM on the window's thread for as long as the window lives, made before it and ended after
  // it: screen readers' answers are marshalled into this apartment.
  ComScope com_;
  Handlers handlers_;
  HWND hwnd_ = nullptr;
  HWND saveFolderBox_ = nullptr;
  HWND saveFolderCaption_ = nullptr;
  HWND searchCaption_ = nullptr;
  HWND songList_ = nullptr;
  HWND searchBox_ = nullptr;
  HWND searchButton_ = nullptr;
  HMENU menu_ = nullptr;
  UINT dpi_ = kLayoutDpi;
  UniqueGdiObject<HFONT> font_;  // empty at the system DPI: the stock font is used there
  HWND focusedChild_ = nullptr;  // the search box until the focus first leaves it
  bool listDrawingHeld_ = false;
};

}  // namespace ornivel
