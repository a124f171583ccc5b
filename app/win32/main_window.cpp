#include "app/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/win32/accessible_name.h"
#include "app/win32/dpi_scale.h"
#include "app/window_layout.h"
#include "win/device_context.h"

namespace ornivel {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// The message that carries a worker's list operation to the window thread.
UINT RunMessage() {
  static const UINT message = RegisterWindowMessageW(L"Ornivel.RunOnWindowThread");
  return message;
}

// The jobs of this process waiting for the window thread. The message runs only a job listed
// here: any process on the desktop can send a registered message with any number in it, and
// one taken for a pointer to a job would run whatever it points at.
std::mutex g_jobsMutex;
std::vector<const std::function<void()>*> g_jobs;

bool IsQueuedJob(LPARAM lParam) {
  const std::lock_guard lock(g_jobsMutex);
  return std::find(g_jobs.begin(), g_jobs.end(),
                   reinterpret_cast<const std::function<void()>*>(lParam)) != g_jobs.end();
}

// Posted by HoldListDrawing: the list draws again once the window thread takes it.
UINT ResumeDrawingMessage() {
  static const UINT message = RegisterWindowMessageW(L"Ornivel.ResumeListDrawing");
  return message;
}

HWND MakeChild(HWND parent, HINSTANCE instance, DWORD extendedStyle, const wchar_t* className,
               const wchar_t* text, DWORD style, int id) {
  return CreateWindowExW(extendedStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                         nullptr);
}

// A single-line edit box: centred text scrolling sideways, a thin sunken border, no length
// limit.
HWND MakeEditBox(HWND parent, HINSTANCE instance, int id, DWORD extraStyle, const wchar_t* text) {
  HWND box = MakeChild(parent, instance, WS_EX_STATICEDGE, L"EDIT", text,
                       WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER | extraStyle, id);
  if (box != nullptr) SendMessageW(box, EM_SETLIMITTEXT, 0, 0);  // 0: as long as memory allows
  return box;
}

// An edit box's place in the layout at `scale`, raised when `font` is taller than the box allows.
layout::Rect EditBoxPlace(HWND parent, HFONT font, const DpiScale& scale, layout::Rect figure) {
  layout::Rect place = scale(figure);
  TEXTMETRICW metrics{};
  {
    const WindowDc dc(parent);
    const SelectedObject selected(dc.get(), font);
    GetTextMetricsW(dc.get(), &metrics);
  }
  const int needed = metrics.tmHeight + 2 * SystemMetricAt(SM_CYEDGE, scale.dpi());
  if (needed > place.dy) place.dy = needed;
  return place;
}

}  // namespace

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance, Handlers handlers) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (!RegisterProgramWindowClass(instance, kMainWindowClassName, &MainWindow::WindowProcedure)) {
    return nullptr;
  }

  std::unique_ptr<MainWindow> window(new MainWindow(std::move(handlers)));
  // The client area is the layout's at the system DPI; the outer size follows from the frame
  // around it.
  const DpiScale scale(SystemDpi());
  const layout::Rect place =
      CentredWindowPlace(scale(layout::kClientWidth), scale(layout::kClientHeight), kStyle, 0);
  HWND hwnd = CreateWindowExW(0, kMainWindowClassName, LayoutText(layout::kWindowTitle).c_str(),
                              kStyle, place.x, place.y, place.dx, place.dy, nullptr, nullptr,
                              instance, window.get());
  if (hwnd == nullptr) return nullptr;
  // Made on the primary screen, at the system DPI, unless the system says otherwise.
  window->dpi_ = WindowDpi(hwnd);
  if (window->dpi_ != scale.dpi()) {
    const DpiScale own(window->dpi_);
    SetClientSize(hwnd, own(layout::kClientWidth), own(layout::kClientHeight));
  }
  window->font_ = MakeGuiFontAt(window->dpi_);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(window->font()), FALSE);
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
  saveFolderBox_ = MakeEditBox(hwnd_, instance, kIdSaveFolderBox, ES_READONLY, L"");
  // The captions' rectangles reach under the boxes beside them (the search caption's by 3 px):
  // clipped by their siblings, they never paint over a box's border.
  const DWORD captionStyle = SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX | WS_CLIPSIBLINGS;
  saveFolderCaption_ = MakeChild(hwnd_, instance, WS_EX_TRANSPARENT, L"STATIC",
                                 LayoutText(layout::kSaveFolderCaptionText).c_str(), captionStyle,
                                 kIdSaveFolderCaption);
  searchCaption_ =
      MakeChild(hwnd_, instance, WS_EX_TRANSPARENT, L"STATIC",
                LayoutText(layout::kSearchCaptionText).c_str(), captionStyle, kIdSearchCaption);
  songList_ = MakeChild(hwnd_, instance, WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                        WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, kIdSongList);
  searchBox_ =
      MakeEditBox(hwnd_, instance, kIdSearchBox, 0, LayoutText(layout::kSearchBoxText).c_str());
  searchButton_ = MakeChild(
      hwnd_, instance, 0, L"BUTTON", LayoutText(layout::kSearchButtonText).c_str(),
      WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE, kIdSearchButton);
  if (songList_ == nullptr) return;
  PlaceComponents();
  // A reader names each box by the caption beside it.
  (void)SetAccessibleName(saveFolderBox_, LayoutText(layout::kSaveFolderCaptionText));
  (void)SetAccessibleName(searchBox_, LayoutText(layout::kSearchCaptionText));

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
  for (std::size_t i = 0; i < layout::kSongListColumns.size(); ++i) {
    std::wstring header = LayoutText(layout::kSongListColumns[i].header);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = DpiScale(dpi_)(layout::kSongListColumns[i].width);
    column.pszText = header.data();
    column.iSubItem = static_cast<int>(i);
    SendMessageW(songList_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }

  // The hidden top-level menu: never a menu bar, only popped up.
  menu_ = CreateMenu();
  HMENU items = CreatePopupMenu();
  for (const layout::MenuItem item : layout::kMenuItems) {
    AppendMenuW(items, MF_STRING, static_cast<UINT_PTR>(MenuCommand(item)),
                LayoutText(layout::MenuItemText(item)).c_str());
  }
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(items),
              LayoutText(layout::kMenuTitle).c_str());
}

void MainWindow::PlaceComponents() {
  const DpiScale scale(dpi_);
  const HFONT font = this->font();
  const std::array<std::pair<HWND, layout::Rect>, 6> places = {{
      {saveFolderBox_, EditBoxPlace(hwnd_, font, scale, layout::kSaveFolderBox)},
      {saveFolderCaption_, scale(layout::kSaveFolderCaption)},
      {searchCaption_, scale(layout::kSearchCaption)},
      {songList_, scale(layout::kSongList)},
      {searchBox_, EditBoxPlace(hwnd_, font, scale, layout::kSearchBox)},
      {searchButton_, scale(layout::kSearchButton)},
  }};
  for (const auto& [child, place] : places) {
    if (child == nullptr) continue;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(child, nullptr, place.x, place.y, place.dx, place.dy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void MainWindow::ChangeDpi(UINT dpi, const RECT& suggested) {
  const UINT old = dpi_;
  dpi_ = dpi;
  // The components draw in the old font until they are given the new one.
  const UniqueGdiObject<HFONT> oldFont = std::exchange(font_, MakeGuiFontAt(dpi_));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  // The system's rectangle is the frame at the new DPI around the old client area scaled; the
  // client area is made exactly the layout's, whatever the frame came to.
  const DpiScale scale(dpi_);
  SetClientSize(hwnd_, scale(layout::kClientWidth), scale(layout::kClientHeight));
  PlaceComponents();
  // The columns keep the widths the person gave them, at the new DPI.
  for (std::size_t i = 0; i < layout::kSongListColumns.size(); ++i) {
    const auto width = static_cast<int>(SendMessageW(songList_, LVM_GETCOLUMNWIDTH, i, 0));
    SendMessageW(songList_, LVM_SETCOLUMNWIDTH, i,
                 MAKELPARAM(MulDiv(width, static_cast<int>(dpi_), static_cast<int>(old)), 0));
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::ShowSongListMenu() {
  POINT cursor{};
  GetCursorPos(&cursor);
  ShowSongListMenuAt(cursor);
}

void MainWindow::ShowSongListMenuAt(POINT place) {
  // Either button chooses an item; the chosen item arrives as WM_COMMAND once the menu is gone.
  TrackPopupMenu(GetSubMenu(menu_, 0), TPM_RIGHTBUTTON, place.x, place.y, 0, hwnd_, nullptr);
}

POINT MainWindow::KeyboardMenuPlace() const {
  POINT place{0, 0};
  const auto row = static_cast<int>(
      SendMessageW(songList_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row >= 0) {
    SendMessageW(songList_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    RECT item{};
    item.left = LVIR_BOUNDS;
    if (SendMessageW(songList_, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item)) != 0) {
      place = {item.left, (item.top + item.bottom) / 2};
    }
  }
  ClientToScreen(songList_, &place);
  return place;
}

void MainWindow::HoldListDrawing() {
  if (listDrawingHeld_ || songList_ == nullptr) return;
  listDrawingHeld_ = true;
  SendMessageW(songList_, WM_SETREDRAW, FALSE, 0);
  PostMessageW(hwnd_, ResumeDrawingMessage(), 0, 0);
}

void MainWindow::RememberFocus() {
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(hwnd_, focus)) focusedChild_ = focus;
}

void MainWindow::RestoreFocus() {
  HWND target = focusedChild_;
  if (target == nullptr || !IsChild(hwnd_, target) || !IsWindowEnabled(target)) {
    target = searchBox_;
  }
  if (target != nullptr) SetFocus(target);
}

bool MainWindow::RunOnWindowThread(HWND window, const std::function<void()>& work) {
  if (window == nullptr) return false;
  {
    const std::lock_guard lock(g_jobsMutex);
    g_jobs.push_back(&work);
  }
  // The window procedure answers 1 when it ran the work; a window that is gone answers 0.
  const bool ran = SendMessageW(window, RunMessage(), 0, reinterpret_cast<LPARAM>(&work)) == 1;
  const std::lock_guard lock(g_jobsMutex);
  g_jobs.erase(std::find(g_jobs.begin(), g_jobs.end(), &work));
  return ran;
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

const std::function<void()>& MainWindow::MenuHandler(layout::MenuItem item) const {
  switch (item) {
    case layout::MenuItem::kCopyAddress:
      return handlers_.copyAddressChosen;
    case layout::MenuItem::kDownload:
      return handlers_.downloadChosen;
    case layout::MenuItem::kChangeFolder:
      return handlers_.changeFolderChosen;
    case layout::MenuItem::kTip:
      break;
  }
  return handlers_.tipChosen;
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == RunMessage()) {
    // Listed until its sender, blocked in SendMessage, takes it off again.
    if (lParam == 0 || !IsQueuedJob(lParam)) return 0;
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
      for (const layout::MenuItem item : layout::kMenuItems) {
        if (LOWORD(wParam) == MenuCommand(item)) return run(MenuHandler(item));
      }
      switch (LOWORD(wParam)) {
        case kIdSearchButton:
          if (HIWORD(wParam) == BN_CLICKED) return run(handlers_.searchClicked);
          break;
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
        // Enter on a selected row is a left click on it (TranslateProgramKeys lets the key
        // through to the list alone).
        if (notice->code == NM_RETURN) {
          const auto row =
              SendMessageW(songList_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
          if (row >= 0) return run(handlers_.listLeftClicked);
          return 0;
        }
      }
      break;
    }
    case WM_CONTEXTMENU:
      // The Menu key and Shift+F10 in the list (a right click has opened the menu already, on
      // NM_RCLICK): at the selected row, or at the list's top left. The keyboard's place is
      // (-1, -1) in the two halves of the low 32 bits, whatever the width of lParam.
      if (reinterpret_cast<HWND>(wParam) == songList_ && static_cast<short>(LOWORD(lParam)) == -1 &&
          static_cast<short>(HIWORD(lParam)) == -1) {
        ShowSongListMenuAt(KeyboardMenuPlace());
        return 0;
      }
      break;
    case kDpiChangedMessage:
      if (const std::optional<DpiChange> change = ReadDpiChange(hwnd_, wParam, lParam)) {
        ChangeDpi(change->dpi, change->place);
      }
      return 0;
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
    case WM_ACTIVATE:
      // As the dialog manager does: the component that had the focus when the window stopped
      // being the active one gets it back when the window is active again (after a message box,
      // the tip dialog, the folder browser or a switch to another program).
      if (LOWORD(wParam) == WA_INACTIVE) {
        RememberFocus();
      } else if (HIWORD(wParam) == 0) {  // not while minimised
        RestoreFocus();
      }
      return 0;
    case WM_CANCELMODE:  // sent first when the window is disabled (a task-modal box), which
      RememberFocus();   // may take the focus away before the window stops being active
      break;
    case WM_SETFOCUS:  // the window itself never keeps the focus
      RestoreFocus();
      return 0;
    case WM_CLOSE:
      if (handlers_.closeAsked && !handlers_.closeAsked()) return 0;
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      return run(handlers_.destroyed);
    case WM_NCDESTROY: {
      const HWND hwnd = hwnd_;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      saveFolderBox_ = saveFolderCaption_ = searchCaption_ = songList_ = searchBox_ =
          searchButton_ = focusedChild_ = nullptr;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace ornivel
