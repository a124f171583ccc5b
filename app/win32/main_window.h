#pragma once
// The main window of the Windows program: the song list, the search box and button, the
// save-folder box with their captions, and the hidden menu "菜单" that pops up over the list.
// Every component sits at its place in the client area, with its styles, in the default GUI font.

#include <windows.h>

#include <functional>
#include <memory>

namespace ornivel {

// The client area; the outer size follows from the frame the platform draws around it.
inline constexpr int kMainClientWidth = 640;
inline constexpr int kMainClientHeight = 362;

// The class of the tip dialog, which shares the main window's keys.
inline constexpr wchar_t kTipWindowClassName[] = L"OrnivelTipWindow";

// Control identifiers; the menu's items are numbered from kMenuFirstItem in their order.
enum : int {
  kIdSaveFolderBox = 101,
  kIdSaveFolderCaption,
  kIdSearchCaption,
  kIdSongList,
  kIdSearchBox,
  kIdSearchButton,
  kMenuCopyAddress = 201,
  kMenuDownload,
  kMenuChangeFolder,
  kMenuTip,
};

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
    std::function<void()> destroyed;           // the window is going (the program ends)
  };

  // Makes the window hidden, centred on the primary screen, with its components and its menu.
  // Null when the window cannot be made.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance, Handlers handlers);

  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

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
  void CreateComponents(HINSTANCE instance);

  Handlers handlers_;
  HWND hwnd_ = nullptr;
  HWND saveFolderBox_ = nullptr;
  HWND saveFolderCaption_ = nullptr;
  HWND searchCaption_ = nullptr;
  HWND songList_ = nullptr;
  HWND searchBox_ = nullptr;
  HWND searchButton_ = nullptr;
  HMENU menu_ = nullptr;
  bool listDrawingHeld_ = false;
};

// The program's icon group in the executable's resources, and one of its images at the size of
// the title bar (`small`) or of the taskbar and Alt+Tab; null when the executable has none.
inline constexpr int kProgramIconResource = 1;
HICON ProgramIcon(HINSTANCE instance, bool small);

// Registers a top-level window class of the program, once: the button-face background, the
// arrow cursor and the program's icon. False when it cannot be registered.
bool RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

// The window's outer rectangle for a client area of `width` × `height` with `style`, centred on
// the primary screen: left = (screen width − outer width) / 2, truncated toward zero, and so for
// the top.
RECT CentredWindowRect(int width, int height, DWORD style, DWORD extendedStyle);

// Handles the keys the program's windows share, before the message is dispatched: Esc closes the
// active window of the program (the main window or the tip dialog), Tab and Shift+Tab move the
// focus through its focus stops, Enter presses nothing. True when the message was taken.
bool TranslateProgramKeys(MSG& message);

// Delivers one message taken from the queue: the program's keys first, then the usual way.
void DispatchProgramMessage(MSG& message);

}  // namespace ornivel
