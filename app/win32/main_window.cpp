#include "app/win32/main_window.h"

#include <commctrl.h>

#include <array>
#include <cwchar>

namespace ornivel {
namespace {

constexpr wchar_t kClassName[] = L"OrnivelMainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// The message that carries a worker's list operation to the window thread.
UINT RunMessage() {
  static const UINT message = RegisterWindowMessageW(L"Ornivel.RunOnWindowThread");
  return message;
}

// Posted by HoldListDrawing: the list draws again once the window thread takes it.
UINT ResumeDrawingMessage() {
  static const UINT message = RegisterWindowMessageW(L"Ornivel.ResumeListDrawing");
  return message;
}

HFONT GuiFont() {
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HWND MakeChild(HWND parent, HINSTANCE instance, DWORD extendedStyle, const wchar_t* className,
               const wchar_t* text, DWORD style, int id, RECT place) {
  HWND child =
      CreateWindowExW(extendedStyle, className, text, WS_CHILD | WS_VISIBLE | style, place.left,
                      place.top, place.right, place.bottom, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
  return child;
}

// A single-line edit box: centred text scrolling sideways, a thin sunken border, no length
// limit. Raised when the font is taller than the box allows.
HWND MakeEditBox(HWND parent, HINSTANCE instance, int id, RECT place, DWORD extraStyle,
                 const wchar_t* text) {
  HDC dc = GetDC(parent);
  HGDIOBJ old = SelectObject(dc, GuiFont());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(parent, dc);
  const int needed = metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
  if (needed > place.bottom) place.bottom = needed;
  HWND box = MakeChild(parent, instance, WS_EX_STATICEDGE, L"EDIT", text,
                       WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER | extraStyle, id, place);
  if (box != nullptr) SendMessageW(box, EM_SETLIMITTEXT, 0, 0);  // 0: as long as memory allows
  return box;
}

struct Column {
  const wchar_t* header;
  int width;
};

constexpr std::array<Column, 6> kColumns = {{
    {L"id", 35},
    {L"歌曲名称", 150},
    {L"歌手", 100},
    {L"专辑", 150},
    {L"rid", 0},
    {L"点击歌曲获取地址", 170},
}};

constexpr std::array<const wchar_t*, 4> kMenuItems = {L"复制歌曲地址", L"下载此歌曲",
                                                      L"更改保存目录", L"实现小目标"};

}  // namespace

HICON ProgramIcon(HINSTANCE instance, bool small) {
  const int width = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
  const int height = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kProgramIconResource), IMAGE_ICON, width, height, 0));
}

bool RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name, &existing)) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = name;
  windowClass.hIcon = ProgramIcon(instance, false);
  windowClass.hIconSm = ProgramIcon(instance, true);
  return RegisterClassExW(&windowClass) != 0;
}

RECT CentredWindowRect(int width, int height, DWORD style, DWORD extendedStyle) {
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, style, FALSE, extendedStyle);
  const int outerWidth = outer.right - outer.left;
  const int outerHeight = outer.bottom - outer.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2;
  return RECT{left, top, left + outerWidth, top + outerHeight};
}

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance, Handlers handlers) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (!RegisterProgramWindowClass(instance, kClassName, &MainWindow::WindowProcedure)) {
    return nullptr;
  }

  std::unique_ptr<MainWindow> window(new MainWindow(std::move(handlers)));
  const RECT place = CentredWindowRect(kMainClientWidth, kMainClientHeight, kStyle, 0);
  HWND hwnd = CreateWindowExW(0, kClassName, L"Ornivel", kStyle, place.left, place.top,
                              place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                              instance, window.get());
  if (hwnd == nullptr) return nullptr;
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
  window->CreateComponents(instance);
  if (window->songList_ == nullptr || window->menu_ == nullptr) return nullptr;
  return window;
}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (menu_ != nullptr) DestroyMenu(menu_);
}

void MainWindow::CreateComponents(HINSTANCE instance) {
  // In the order of the window design; none of them overlap.
  saveFolderBox_ =
      MakeEditBox(hwnd_, instance, kIdSaveFolderBox, RECT{102, 321, 144, 24}, ES_READONLY, L"");
  saveFolderCaption_ = MakeChild(hwnd_, instance, WS_EX_TRANSPARENT, L"STATIC", L"下载保存目录：",
                                 SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX,
                                 kIdSaveFolderCaption, RECT{14, 321, 80, 24});
  searchCaption_ = MakeChild(hwnd_, instance, WS_EX_TRANSPARENT, L"STATIC", L"输入歌曲/歌手：",
                             SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, kIdSearchCaption,
                             RECT{258, 321, 90, 24});
  songList_ = MakeChild(hwnd_, instance, WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                        WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, kIdSongList, RECT{5, 5, 627, 299});
  searchBox_ = MakeEditBox(hwnd_, instance, kIdSearchBox, RECT{345, 321, 168, 24}, 0, L"告白气球");
  searchButton_ = MakeChild(hwnd_, instance, 0, L"BUTTON", L"搜索",
                            WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE,
                            kIdSearchButton, RECT{526, 319, 98, 26});
  if (songList_ == nullptr) return;

  // Focus stops follow the order of the windows: the last made comes first, so Tab goes
  // 按钮_搜索 → 编辑框_搜索 → 超级列表框1 → 编辑框_保存 → 按钮_搜索.
  for (HWND child :
       {saveFolderBox_, saveFolderCaption_, searchCaption_, songList_, searchBox_, searchButton_}) {
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  const DWORD extended =
      LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP;
  SendMessageW(songList_, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  SendMessageW(songList_, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  SendMessageW(songList_, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageW(songList_, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[i].width;
    column.pszText = const_cast<wchar_t*>(kColumns[i].header);
    column.iSubItem = static_cast<int>(i);
    SendMessageW(songList_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }

  // The hidden top-level menu: never a menu bar, only popped up.
  menu_ = CreateMenu();
  HMENU items = CreatePopupMenu();
  for (std::size_t i = 0; i < kMenuItems.size(); ++i) {
    AppendMenuW(items, MF_STRING, kMenuCopyAddress + i, kMenuItems[i]);
  }
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(items), L"菜单");
}

void MainWindow::ShowSongListMenu() {
  POINT cursor{};
  GetCursorPos(&cursor);
  // Either button chooses an item; the chosen item arrives as WM_COMMAND once the menu is gone.
  TrackPopupMenu(GetSubMenu(menu_, 0), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd_, nullptr);
}

void MainWindow::HoldListDrawing() {
  if (listDrawingHeld_ || songList_ == nullptr) return;
  listDrawingHeld_ = true;
  SendMessageW(songList_, WM_SETREDRAW, FALSE, 0);
  PostMessageW(hwnd_, ResumeDrawingMessage(), 0, 0);
}

bool MainWindow::RunOnWindowThread(HWND window, const std::function<void()>& work) {
  if (window == nullptr) return false;
  // The window procedure answers 1 when it ran the work; a window that is gone answers 0.
  return SendMessageW(window, RunMessage(), 0, reinterpret_cast<LPARAM>(&work)) == 1;
}

LRESULT CALLBACK MainWindow::WindowProcedure(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return window->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == RunMessage() && lParam != 0) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 1;
  }
  if (message == ResumeDrawingMessage()) {
    listDrawingHeld_ = false;
    SendMessageW(songList_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(songList_, nullptr, TRUE);
    return 0;
  }
  auto run = [](const std::function<void()>& handler) {
    if (handler) handler();
    return 0;
  };
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdSearchButton:
          if (HIWORD(wParam) == BN_CLICKED) return run(handlers_.searchClicked);
          break;
        case kMenuCopyAddress:
          return run(handlers_.copyAddressChosen);
        case kMenuDownload:
          return run(handlers_.downloadChosen);
        case kMenuChangeFolder:
          return run(handlers_.changeFolderChosen);
        case kMenuTip:
          return run(handlers_.tipChosen);
        case IDCANCEL:  // Esc
          PostMessageW(hwnd_, WM_CLOSE, 0, 0);
          return 0;
        default:
          break;  // IDOK (Enter) and the boxes' notifications: nothing
      }
      break;
    case WM_NOTIFY: {
      const auto* notice = reinterpret_cast<const NMHDR*>(lParam);
      if (notice->hwndFrom == songList_) {
        // NM_CLICK comes with the button's release, after the list has set its selection.
        if (notice->code == NM_CLICK) return run(handlers_.listLeftClicked);
        if (notice->code == NM_RCLICK) {
          ShowSongListMenu();
          return 0;
        }
      }
      break;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      const HWND control = reinterpret_cast<HWND>(lParam);
      SetTextColor(dc, RGB(0, 0, 0));
      if (control == saveFolderBox_) {  // read-only: black on white like the other box
        SetBkColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
      }
      // The captions: their text over the window's own background.
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkColor(dc, RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    }
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      return run(handlers_.destroyed);
    case WM_NCDESTROY: {
      const HWND hwnd = hwnd_;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      saveFolderBox_ = saveFolderCaption_ = searchCaption_ = songList_ = searchBox_ =
          searchButton_ = nullptr;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

bool TranslateProgramKeys(MSG& message) {
  if (message.hwnd == nullptr) return false;
  HWND root = GetAncestor(message.hwnd, GA_ROOT);
  wchar_t className[64] = {};
  if (root == nullptr || GetClassNameW(root, className, 64) == 0) return false;
  // Only the program's own windows: message boxes and the folder browser run loops of their own.
  if (std::wcscmp(className, kClassName) != 0 && std::wcscmp(className, kTipWindowClassName) != 0) {
    return false;
  }
  return IsDialogMessageW(root, &message) != FALSE;
}

void DispatchProgramMessage(MSG& message) {
  if (TranslateProgramKeys(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace ornivel
