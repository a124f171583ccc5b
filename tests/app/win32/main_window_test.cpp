// The Windows main window and tip dialog as they are made, read back through the platform: the
// place and size of every component, styles, texts, columns, the menu, the keys, the list
// operations from workers and after the window is gone, and the pixels a person sees.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/main_window_events.h"
#include "app/settings.h"
#include "app/win32/tip_window.h"
#include "app/win32/win32_front_end.h"
#include "service/song_download.h"
#include "service/song_list.h"
#include "tests/support/child_process.h"
#include "tests/support/environment.h"
#include "tests/support/gbk.h"
#include "tests/support/gbk_path.h"
#include "tests/support/song_bytes.h"
#include "tests/support/song_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "win/com.h"
#include "win/device_context.h"
#include "win/wide_text.h"

namespace ornivel {
namespace {

using test::Gbk;
using Clock = std::chrono::steady_clock;

// Delivers the thread's messages, as the program's loop does, until `done` or 10 s (times the
// time scale) have passed.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(10) * test::TimeScale();
  while (!done()) {
    if (Clock::now() > deadline) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchProgramMessage(message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds time) {
  const auto end = Clock::now() + time;
  (void)PumpUntil([end] { return Clock::now() >= end; });
}

// A key pressed while `target` has the focus, delivered through the program's loop.
void PressKey(HWND target, WPARAM key) {
  MSG down{target, WM_KEYDOWN, key, 1, static_cast<DWORD>(GetMessageTime()), {}};
  DispatchProgramMessage(down);
  MSG up{
      target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001), static_cast<DWORD>(GetMessageTime()),
      {}};
  DispatchProgramMessage(up);
}

void SetShift(bool pressed) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = pressed ? 0x80 : 0;
  SetKeyboardState(keys);
}

// `child`'s rectangle in its parent's client area: left, top, width, height.
std::vector<long> PlaceInParent(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring Text(HWND window) {
  wchar_t buffer[256] = {};
  GetWindowTextW(window, buffer, 256);
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return buffer;
}

LONG_PTR Style(HWND window) {
  return GetWindowLongPtrW(window, GWL_STYLE);
}
LONG_PTR ExStyle(HWND window) {
  return GetWindowLongPtrW(window, GWL_EXSTYLE);
}

bool Has(LONG_PTR style, LONG_PTR bits) {
  return (style & bits) == bits;
}

// What the screen shows over `window`'s client area, taken in one copy as a person would see it.
class ScreenShot {
 public:
  explicit ScreenShot(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    const WindowDc screen(nullptr);
    const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    const UniqueGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.get(), width_, height_));
    {
      const SelectedObject selected(memory.get(), bitmap.get());
      BitBlt(memory.get(), 0, 0, width_, height_, screen.get(), origin.x, origin.y, SRCCOPY);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height_), pixels_.data(), &info,
              DIB_RGB_COLORS);
  }

  COLORREF At(POINT point) const {
    const DWORD bgr = pixels_[static_cast<std::size_t>(point.y) * width_ + point.x];
    return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
  }

  // How many pixels of `rect` come within `tolerance` of `colour` in each channel (text is
  // drawn smoothed, so most of its pixels are mixed with the background).
  int Count(RECT rect, COLORREF colour, int tolerance = 110) const {
    int count = 0;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
      for (LONG x = rect.left; x < rect.right; ++x) {
        const COLORREF c = At(POINT{x, y});
        if (std::abs(GetRValue(c) - GetRValue(colour)) <= tolerance &&
            std::abs(GetGValue(c) - GetGValue(colour)) <= tolerance &&
            std::abs(GetBValue(c) - GetBValue(colour)) <= tolerance) {
          ++count;
        }
      }
    }
    return count;
  }

 private:
  int width_ = 0, height_ = 0;
  std::vector<DWORD> pixels_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainWindow::Handlers handlers;
    handlers.searchClicked = [this] { ++searches_; };
    handlers.listLeftClicked = [this] { ++leftClicks_; };
    handlers.destroyed = [this] {
      ++destroyed_;
      if (frontEnd_) frontEnd_->Close();
    };
    window_ = MainWindow::Create(GetModuleHandleW(nullptr), std::move(handlers));
    ASSERT_NE(window_, nullptr);
    frontEnd_ = std::make_unique<Win32FrontEnd>(*window_);
  }

  void TearDown() override {
    window_.reset();
    PumpFor(std::chrono::milliseconds(0));
  }

  void Show() {
    ShowWindow(window_->hwnd(), SW_SHOWNORMAL);
    SetForegroundWindow(window_->hwnd());
    UpdateWindow(window_->hwnd());
    PumpFor(std::chrono::milliseconds(300) * test::TimeScale());  // until the X server drew it
  }

  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<Win32FrontEnd> frontEnd_;
  int searches_ = 0;
  int leftClicks_ = 0;
  int destroyed_ = 0;
};

TEST_F(MainWindowTest, FrameClientAreaAndPlaceOnTheScreen) {
  HWND hwnd = window_->hwnd();
  EXPECT_EQ(Text(hwnd), L"Ornivel");
  EXPECT_FALSE(IsWindowVisible(hwnd));  // made hidden; shown once the save folder is in its box
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 362);
  RECT outer;
  GetWindowRect(hwnd, &outer);
  const long width = outer.right - outer.left, height = outer.bottom - outer.top;
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  const LONG_PTR style = Style(hwnd);
  EXPECT_TRUE(Has(style, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN));
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD | WS_POPUP));
  EXPECT_EQ(GetMenu(hwnd), nullptr);  // no menu bar: the menu only pops up
  EXPECT_EQ(GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
}

TEST_F(MainWindowTest, EveryComponentAtItsPlaceWithItsStylesFontAndText) {
  struct Expected {
    HWND window;
    std::wstring className;
    std::vector<long> place;
    std::wstring text;
    LONG_PTR style, absentStyle, exStyle;
  };
  const HWND saveCaption = GetDlgItem(window_->hwnd(), kIdSaveFolderCaption);
  const HWND searchCaption = GetDlgItem(window_->hwnd(), kIdSearchCaption);
  // clang-format off
  const std::vector<Expected> components = {
      {window_->saveFolderBox(), L"Edit", {102, 321, 144, 24}, L"",
       WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER | ES_READONLY, ES_MULTILINE, WS_EX_STATICEDGE},
      {saveCaption, L"Static", {14, 321, 80, 24}, L"下载保存目录：",
       SS_CENTERIMAGE, WS_TABSTOP, WS_EX_TRANSPARENT},
      {searchCaption, L"Static", {258, 321, 90, 24}, L"输入歌曲/歌手：",
       SS_CENTERIMAGE, WS_TABSTOP, WS_EX_TRANSPARENT},
      {window_->songList(), L"SysListView32", {5, 5, 627, 299}, L"",
       WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL,
       LVS_SHOWSELALWAYS | LVS_EDITLABELS | LVS_SORTASCENDING, WS_EX_CLIENTEDGE},
      {window_->searchBox(), L"Edit", {345, 321, 168, 24}, L"告白气球",
       WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER, ES_READONLY | ES_MULTILINE, WS_EX_STATICEDGE},
      {window_->searchButton(), L"Button", {526, 319, 98, 26}, L"搜索",
       WS_TABSTOP | BS_CENTER | BS_VCENTER | BS_MULTILINE, BS_DEFPUSHBUTTON, 0},
  };
  // clang-format on
  for (const Expected& c : components) {
    SCOPED_TRACE(testing::Message() << "component at " << c.place[0] << "," << c.place[1]);
    ASSERT_NE(c.window, nullptr);
    EXPECT_EQ(ClassOf(c.window), c.className);
    EXPECT_EQ(PlaceInParent(c.window), c.place);
    EXPECT_EQ(Text(c.window), c.text);
    EXPECT_TRUE(Has(Style(c.window), c.style | WS_VISIBLE)) << std::hex << Style(c.window);
    EXPECT_EQ(Style(c.window) & c.absentStyle, 0) << std::hex << Style(c.window);
    EXPECT_TRUE(Has(ExStyle(c.window), c.exStyle)) << std::hex << ExStyle(c.window);
    EXPECT_TRUE(IsWindowEnabled(c.window));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(c.window, WM_GETFONT, 0, 0)),
              GetStockObject(DEFAULT_GUI_FONT));
  }
  // No length limit on the boxes.
  EXPECT_GE(SendMessageW(window_->searchBox(), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
}

TEST_F(MainWindowTest, ListColumnsAndExtendedStyles) {
  HWND list = window_->songList();
  EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
            LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP);
  EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(SendMessageW(list, LVM_GETTEXTBKCOLOR, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), RGB(0, 0, 0));
  const std::vector<std::pair<std::wstring, int>> expected = {
      {L"id", 35},    {L"歌曲名称", 150}, {L"歌手", 100},
      {L"专辑", 150}, {L"rid", 0},        {L"点击歌曲获取地址", 170}};
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 6);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    wchar_t text[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = text;
    column.cchTextMax = 64;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(std::wstring(text), expected[i].first);
    EXPECT_EQ(column.cx, expected[i].second);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
  }
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
  EXPECT_EQ(frontEnd_->SelectedRow(), -1);
}

TEST_F(MainWindowTest, HiddenMenuHoldsTheFourItemsEnabled) {
  HMENU menu = window_->menu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 1);
  wchar_t text[64] = {};
  GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(text), L"菜单");
  HMENU items = GetSubMenu(menu, 0);
  const std::vector<std::wstring> expected = {L"复制歌曲地址", L"下载此歌曲", L"更改保存目录",
                                              L"实现小目标"};
  ASSERT_EQ(GetMenuItemCount(items), 4);
  for (int i = 0; i < 4; ++i) {
    GetMenuStringW(items, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), expected[i]);
    EXPECT_EQ(GetMenuState(items, static_cast<UINT>(i), MF_BYPOSITION) &
                  (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR),
              0u);
    EXPECT_EQ(GetMenuItemID(items, i),
              static_cast<UINT>(MenuCommand(layout::kMenuItems[static_cast<std::size_t>(i)])));
  }
}

TEST_F(MainWindowTest, TabCyclesTheFocusStopsAndEnterPressesNothing) {
  Show();
  SetFocus(window_->searchButton());
  const std::vector<HWND> cycle = {window_->searchBox(), window_->songList(),
                                   window_->saveFolderBox(), window_->searchButton()};
  SetShift(false);
  for (HWND next : cycle) {
    PressKey(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), next) << ClassOf(GetFocus()).size();
  }
  SetShift(true);  // backwards
  for (auto it = cycle.rbegin() + 1; it != cycle.rend(); ++it) {
    PressKey(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), *it);
  }
  SetShift(false);
  // Tab leaves the list, rows or not.
  for (int i = 0; i < 500; ++i) frontEnd_->SetCellText(frontEnd_->AppendRow(), 1, "row");
  SetFocus(window_->songList());
  PressKey(window_->songList(), VK_TAB);
  EXPECT_EQ(GetFocus(), window_->saveFolderBox());

  SetFocus(window_->searchBox());
  PressKey(window_->searchBox(), VK_RETURN);
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(searches_, 0);
  EXPECT_EQ(GetFocus(), window_->searchBox());
  EXPECT_TRUE(IsWindow(window_->hwnd()));
  // Nor once Tab has reached the button, which the dialog manager makes the default one.
  for (int i = 0; i < 3; ++i) PressKey(GetFocus(), VK_TAB);
  ASSERT_EQ(GetFocus(), window_->searchButton());
  PressKey(window_->searchButton(), VK_RETURN);
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(searches_, 0);
  // The button runs the search.
  SendMessageW(window_->searchButton(), BM_CLICK, 0, 0);
  EXPECT_EQ(searches_, 1);
}

TEST_F(MainWindowTest, EscClosesTheWindowAndTheListOperationsThenDoNothing) {
  Show();
  ASSERT_EQ(frontEnd_->AppendRow(), 0);
  HWND hwnd = window_->hwnd();
  PressKey(window_->searchBox(), VK_ESCAPE);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }));
  EXPECT_EQ(destroyed_, 1);
  EXPECT_EQ(window_->hwnd(), nullptr);
  // From the window thread and from a worker alike: nothing happens, empty results.
  EXPECT_EQ(frontEnd_->AppendRow(), -1);
  EXPECT_EQ(frontEnd_->GetCellText(0, 0), "");
  EXPECT_EQ(frontEnd_->SelectedRow(), -1);
  int workerRow = 0;
  std::string workerText = "unset";
  std::thread worker([&] {
    workerRow = frontEnd_->AppendRow();
    frontEnd_->SetCellText(0, 1, "x");
    workerText = frontEnd_->GetCellText(0, 1);
  });
  worker.join();
  EXPECT_EQ(workerRow, -1);
  EXPECT_EQ(workerText, "");
}

TEST_F(MainWindowTest, WorkersListOperationsAreCarriedOutOnTheWindowThread) {
  // 500 rows from a worker, as a search fills them, while the window thread delivers messages.
  std::atomic<bool> done{false};
  std::vector<std::string> readBack;
  int selected = -2;
  bool wroteIfHeld = false, wroteIfNotHeld = true;
  std::thread worker([&] {
    frontEnd_->DeleteAllRows();
    for (int i = 0; i < 500; ++i) {
      const int row = frontEnd_->AppendRow();
      frontEnd_->SetCellText(row, kColumnNumber, std::to_string(row + 1));
      frontEnd_->SetCellText(row, kColumnTitle, Gbk("告白气球 ") + std::to_string(row));
      frontEnd_->SetCellText(row, kColumnIdentifier, "MUSIC_" + std::to_string(row));
    }
    frontEnd_->SetCellText(500, 1, "no such row");
    frontEnd_->SetCellText(0, 6, "no such column");
    readBack = {frontEnd_->GetCellText(0, kColumnNumber), frontEnd_->GetCellText(499, kColumnTitle),
                frontEnd_->GetCellText(250, kColumnIdentifier), frontEnd_->GetCellText(500, 0),
                frontEnd_->GetCellText(0, 6)};
    selected = frontEnd_->SelectedRow();
    wroteIfHeld = frontEnd_->SetCellTextIfHolds(7, kColumnAddress, "http://a/b.mp3",
                                                kColumnIdentifier, "MUSIC_7");
    wroteIfNotHeld = frontEnd_->SetCellTextIfHolds(8, kColumnAddress, "http://a/c.mp3",
                                                   kColumnIdentifier, "MUSIC_7");
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  // The work itself, not only the list's messages, runs on the window thread.
  DWORD ranOn = 0;
  std::thread probe([&] {
    (void)MainWindow::RunOnWindowThread(window_->hwnd(),
                                        [&ranOn] { ranOn = GetCurrentThreadId(); });
  });
  ASSERT_TRUE(PumpUntil([&] { return ranOn != 0; }));
  probe.join();
  EXPECT_EQ(ranOn, GetCurrentThreadId());
  // The same message from elsewhere (any process can send a registered message) runs nothing:
  // neither a job nobody queued nor a number that points at no job.
  const UINT runMessage = RegisterWindowMessageW(L"Ornivel.RunOnWindowThread");
  bool strayRan = false;
  const std::function<void()> stray = [&strayRan] { strayRan = true; };
  EXPECT_EQ(SendMessageW(window_->hwnd(), runMessage, 0, reinterpret_cast<LPARAM>(&stray)), 0);
  EXPECT_EQ(SendMessageW(window_->hwnd(), runMessage, 0, static_cast<LPARAM>(0x41414141)), 0);
  EXPECT_FALSE(strayRan);
  EXPECT_EQ(SendMessageW(window_->songList(), LVM_GETITEMCOUNT, 0, 0), 500);
  EXPECT_EQ(readBack, (std::vector<std::string>{"1", Gbk("告白气球 499"), "MUSIC_250", "", ""}));
  EXPECT_EQ(selected, -1);
  EXPECT_TRUE(wroteIfHeld);
  EXPECT_FALSE(wroteIfNotHeld);
  EXPECT_EQ(frontEnd_->GetCellText(7, kColumnAddress), "http://a/b.mp3");
  EXPECT_EQ(frontEnd_->GetCellText(8, kColumnAddress), "");

  // A long cell comes back whole; the selection is the list's.
  const std::string longText(5000, 'x');
  frontEnd_->SetCellText(3, kColumnAddress, longText);
  EXPECT_EQ(frontEnd_->GetCellText(3, kColumnAddress), longText);
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageW(window_->songList(), LVM_SETITEMSTATE, 42, reinterpret_cast<LPARAM>(&state));
  EXPECT_EQ(frontEnd_->SelectedRow(), 42);
  frontEnd_->DeleteAllRows();
  EXPECT_EQ(frontEnd_->SelectedRow(), -1);
  EXPECT_EQ(frontEnd_->GetCellText(0, 0), "");
}

TEST_F(MainWindowTest, ClipboardHoldsTheAddressAsGbkAndAsUnicode) {
  const std::string address = Gbk("http://127.0.0.1/resource/周杰伦.mp3");
  frontEnd_->SetClipboardText(address);
  ASSERT_TRUE(OpenClipboard(window_->hwnd()));
  HANDLE ansi = GetClipboardData(CF_TEXT);
  HANDLE unicode = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(ansi, nullptr);
  ASSERT_NE(unicode, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(ansi))), address);
  GlobalUnlock(ansi);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(unicode))),
            L"http://127.0.0.1/resource/周杰伦.mp3");
  GlobalUnlock(unicode);
  CloseClipboard();
}

TEST_F(MainWindowTest, WhatThePersonSeesCaptionsBoxesAndRows) {
  frontEnd_->ShowSaveFolder(Gbk("C:\\音乐"));
  EXPECT_EQ(Text(window_->saveFolderBox()), L"C:\\音乐");
  for (int i = 0; i < 3; ++i) frontEnd_->SetCellText(frontEnd_->AppendRow(), 1, "WWWWWWWW");
  Show();
  const ScreenShot shot(window_->hwnd());
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  // The window's own background between the components, and under the captions' letters.
  EXPECT_EQ(shot.At(POINT{320, 312}), face);
  EXPECT_EQ(shot.At(POINT{15, 322}), face);
  EXPECT_EQ(shot.At(POINT{259, 343}), face);
  // The captions' text is drawn, in black.
  EXPECT_GT(shot.Count(RECT{14, 321, 94, 345}, RGB(0, 0, 0)), 20);
  EXPECT_GT(shot.Count(RECT{258, 321, 348, 345}, RGB(0, 0, 0)), 20);
  // Both boxes are white inside, with dark text: the read-only one as well.
  EXPECT_EQ(shot.At(POINT{106, 324}), RGB(255, 255, 255));
  EXPECT_EQ(shot.At(POINT{349, 324}), RGB(255, 255, 255));
  EXPECT_GT(shot.Count(RECT{103, 323, 245, 343}, RGB(0, 0, 0)), 20);
  EXPECT_GT(shot.Count(RECT{346, 323, 512, 343}, RGB(0, 0, 0)), 20);
  // The list: white, with its rows' text.
  EXPECT_EQ(shot.At(POINT{600, 290}), RGB(255, 255, 255));
  EXPECT_GT(shot.Count(RECT{45, 25, 180, 80}, RGB(0, 0, 0)), 30);
  // The search box's left border is whole: the caption beside it, whose rectangle reaches 3 px
  // under the box, paints nothing over it.
  const COLORREF border = shot.At(POINT{430, 321});  // the box's top edge
  EXPECT_NE(border, face);
  for (LONG y = 322; y < 344; ++y) EXPECT_EQ(shot.At(POINT{345, y}), border) << "row " << y;
}

// A timer procedure (stdcall on i686): closes the message box the test raised, once it is up.
void CALLBACK CloseTheMessageBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowW(L"#32770", MessageTitle());  // the class of dialogs
  if (box == nullptr) return;                         // not up yet: the next tick
  KillTimer(nullptr, id);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// Shows a prompt's message box on the window thread and waits until the timer has closed it.
void ShowAndCloseAMessageBox(Win32FrontEnd& frontEnd) {
  ASSERT_NE(SetTimer(nullptr, 0, 50, &CloseTheMessageBox), 0u);
  frontEnd.ShowMessage("a prompt", MessageIcon::kInformation);
  PumpFor(std::chrono::milliseconds(200) * test::TimeScale());
}

TEST_F(MainWindowTest, TheFocusComesBackWhenTheWindowIsActiveAgain) {
  for (int i = 0; i < 500; ++i) {
    frontEnd_->SetCellText(frontEnd_->AppendRow(), kColumnTitle, "row " + std::to_string(i));
  }
  LVITEMW state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window_->songList(), LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
  Show();
  HWND other =
      CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                      100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  for (HWND component : {window_->songList(), window_->searchButton()}) {
    SCOPED_TRACE(ClassOf(component));
    SetFocus(component);
    ShowAndCloseAMessageBox(*frontEnd_);
    EXPECT_EQ(GetFocus(), component);
    // Another window comes to the front, then the program's again (as with Alt+Tab).
    SetForegroundWindow(other);
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(GetActiveWindow(), other);
    SetForegroundWindow(window_->hwnd());
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(GetFocus(), component);
  }
  DestroyWindow(other);

  // What the person sees after a prompt: the list has the focus and its selected row shows.
  SetFocus(window_->songList());
  ShowAndCloseAMessageBox(*frontEnd_);
  EXPECT_EQ(GetFocus(), window_->songList());
  RECT row{};
  row.left = LVIR_BOUNDS;
  ASSERT_TRUE(
      SendMessageW(window_->songList(), LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)));
  MapWindowPoints(window_->songList(), window_->hwnd(), reinterpret_cast<POINT*>(&row), 2);
  row.right = std::min<LONG>(row.right, 600);
  const ScreenShot shot(window_->hwnd());
  EXPECT_GT(shot.Count(row, GetSysColor(COLOR_HIGHLIGHT), 8), (row.right - row.left) * 4);
  // Typing reaches the component again.
  SetFocus(window_->searchBox());
  ShowAndCloseAMessageBox(*frontEnd_);
  SetWindowTextW(window_->searchBox(), L"");
  MSG typed{GetFocus(), WM_CHAR, L'z', 1, 0, {}};
  DispatchProgramMessage(typed);
  EXPECT_EQ(Text(window_->searchBox()), L"z");
}

// A worker's question (a download whose file exists) closes while the window thread goes on:
// the system activates whatever window it finds next, here another program's. The program's
// window is in front again afterwards, with the focus where it was.
TEST_F(MainWindowTest, AWorkersQuestionGivesTheWindowBackWithItsFocus) {
  for (int i = 0; i < 500; ++i) frontEnd_->AppendRow();
  Show();
  HWND other =
      CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                      100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(window_->hwnd());
  PumpFor(std::chrono::milliseconds(200));
  for (HWND component : {window_->songList(), window_->searchBox()}) {
    SCOPED_TRACE(ClassOf(component));
    SetFocus(component);
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = frontEnd_->AskYesNo("go on?") ? 1 : 0; });
    HWND box = nullptr;
    EXPECT_TRUE(
        PumpUntil([&box] { return (box = FindWindowW(L"#32770", MessageTitle())) != nullptr; }));
    PumpFor(std::chrono::milliseconds(100));
    if (box != nullptr) PostMessageW(box, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(PumpUntil([&answer] { return answer.load() != -1; }));
    worker.join();
    EXPECT_EQ(answer.load(), 1);
    PumpFor(std::chrono::milliseconds(200) * test::TimeScale());
    EXPECT_EQ(GetForegroundWindow(), window_->hwnd());
    EXPECT_EQ(GetFocus(), component);
  }
  // Typing reaches the search box.
  SetWindowTextW(window_->searchBox(), L"");
  MSG typed{GetFocus(), WM_CHAR, L'z', 1, 0, {}};
  DispatchProgramMessage(typed);
  EXPECT_EQ(Text(window_->searchBox()), L"z");
  DestroyWindow(other);
}

class TipWindowTest : public ::testing::Test {};

TEST_F(TipWindowTest, FreshDialogEachTimeWithItsComponentsAndEscClosesOnlyIt) {
  HWND first = CreateTipWindow(GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Text(first), L"   微信扫一扫，打赏作者");
  RECT client;
  GetClientRect(first, &client);
  EXPECT_EQ(client.right, kTipClientWidth);
  EXPECT_EQ(client.bottom, kTipClientHeight);
  const HWND label1 = GetDlgItem(first, kIdTipLabel1);
  const HWND label2 = GetDlgItem(first, kIdTipLabel2);
  const HWND picture = GetDlgItem(first, kIdTipPicture);
  ASSERT_NE(label1, nullptr);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(PlaceInParent(picture), (std::vector<long>{66, 35, 243, 243}));
  EXPECT_EQ(PlaceInParent(label1)[0], 76);
  EXPECT_EQ(PlaceInParent(label1)[1], 8);
  EXPECT_EQ(PlaceInParent(label1)[2], 228);
  EXPECT_EQ(PlaceInParent(label2)[0], 40);
  EXPECT_EQ(PlaceInParent(label2)[1], 286);
  EXPECT_EQ(Text(label1), L"某的小目标，你准备贡献多少？");
  EXPECT_EQ(Text(label2), L"不打赏？！大坏蛋，人家要拿小拳拳捶你胸口，(?\?ˇ?ˇ?\?)哼！");
  for (HWND child : {label1, label2, picture}) EXPECT_FALSE(Style(child) & WS_TABSTOP);

  // What the person sees: pink labels with purple text, and the picture filling its box.
  SetForegroundWindow(first);
  UpdateWindow(first);
  PumpFor(std::chrono::milliseconds(300));
  const ScreenShot shot(first);
  EXPECT_EQ(shot.At(POINT{77, 9}), RGB(255, 168, 255));
  EXPECT_EQ(shot.At(POINT{341, 317}), RGB(255, 168, 255));
  EXPECT_GT(shot.Count(RECT{76, 8, 304, 27}, RGB(128, 0, 128)), 20);
  EXPECT_GT(shot.Count(RECT{40, 286, 344, 320}, RGB(128, 0, 128)), 20);
  // The picture fills its box: no pixel of the box's own background at its corners or middle.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (const POINT at :
       {POINT{66, 35}, POINT{308, 35}, POINT{66, 277}, POINT{308, 277}, POINT{187, 156}}) {
    EXPECT_NE(shot.At(at), face) << at.x << "," << at.y;
  }

  PressKey(label1, VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(first); }));
  HWND second = CreateTipWindow(GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  DestroyWindow(second);
}

// Whether the pop-up menu was open when the timer below ran, which then closed it.
bool g_menuWasOpen = false;

void CALLBACK CloseTheMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_menuWasOpen = FindWindowW(L"#32768", nullptr) != nullptr;  // the class of menu windows
  EndMenu();
}

TEST_F(MainWindowTest, ListClicksRunTheLookupAndOpenTheMenu) {
  Show();
  NMHDR notice{window_->songList(), static_cast<UINT_PTR>(kIdSongList),
               static_cast<UINT>(NM_CLICK)};
  SendMessageW(window_->hwnd(), WM_NOTIFY, kIdSongList, reinterpret_cast<LPARAM>(&notice));
  EXPECT_EQ(leftClicks_, 1);
  // A right click pops the menu up (on an empty list too) and returns once it is closed.
  g_menuWasOpen = false;
  ASSERT_NE(SetTimer(nullptr, 0, 300, &CloseTheMenu), 0u);
  notice.code = static_cast<UINT>(NM_RCLICK);
  SendMessageW(window_->hwnd(), WM_NOTIFY, kIdSongList, reinterpret_cast<LPARAM>(&notice));
  EXPECT_TRUE(g_menuWasOpen);
  EXPECT_EQ(leftClicks_, 1);
  EXPECT_EQ(searches_, 0);
}

RECT g_menuPlace{};

void CALLBACK NoteAndCloseTheMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  const HWND menu = FindWindowW(L"#32768", nullptr);
  g_menuWasOpen = menu != nullptr && IsWindowVisible(menu);
  if (g_menuWasOpen) GetWindowRect(menu, &g_menuPlace);
  EndMenu();
}

// A system key (F10) pressed while `target` has the focus, delivered through the program's loop.
void PressSystemKey(HWND target, WPARAM key) {
  MSG down{target, WM_SYSKEYDOWN, key, 1, static_cast<DWORD>(GetMessageTime()), {}};
  DispatchProgramMessage(down);
  MSG up{target,
         WM_SYSKEYUP,
         key,
         static_cast<LPARAM>(0xC0000001),
         static_cast<DWORD>(GetMessageTime()),
         {}};
  DispatchProgramMessage(up);
}

TEST_F(MainWindowTest, TheMenuKeyAndShiftF10OpenTheMenuAtTheRowAndEnterLooksItUp) {
  Show();
  for (int row = 0; row < 500; ++row) {
    frontEnd_->SetCellText(frontEnd_->AppendRow(), kColumnNumber, std::to_string(row + 1));
  }
  PumpFor(std::chrono::milliseconds(200));  // the rows drawn, as a person sees them first
  const HWND list = window_->songList();
  SetFocus(list);
  const auto select = [&](int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = row >= 0 ? state.stateMask : 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row >= 0 ? row : -1),
                 reinterpret_cast<LPARAM>(&state));
  };
  // The place a menu opened from the keyboard should take: beside row `row`, scrolled into view.
  const auto rowPlace = [&](int row) {
    RECT item{};
    item.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    POINT place{item.left, (item.top + item.bottom) / 2};
    ClientToScreen(list, &place);
    return place;
  };
  select(300);  // far below what the list shows
  for (const bool shiftF10 : {false, true}) {
    SCOPED_TRACE(shiftF10 ? "Shift+F10" : "Menu key");
    g_menuWasOpen = false;
    ASSERT_NE(SetTimer(nullptr, 0, 300, &NoteAndCloseTheMenu), 0u);
    if (shiftF10) {
      SetShift(true);
      PressSystemKey(list, VK_F10);
      SetShift(false);
    } else {
      PressKey(list, VK_APPS);
    }
    PumpFor(std::chrono::milliseconds(600));
    ASSERT_TRUE(g_menuWasOpen);
    const POINT expected = rowPlace(300);
    EXPECT_EQ(g_menuPlace.left, expected.x);
    EXPECT_EQ(g_menuPlace.top, expected.y);
  }
  // No row selected: at the list's top left.
  select(-1);
  g_menuWasOpen = false;
  ASSERT_NE(SetTimer(nullptr, 0, 300, &NoteAndCloseTheMenu), 0u);
  PressKey(list, VK_APPS);
  PumpFor(std::chrono::milliseconds(600));
  ASSERT_TRUE(g_menuWasOpen);
  POINT corner{0, 0};
  ClientToScreen(list, &corner);
  EXPECT_EQ(g_menuPlace.left, corner.x);
  EXPECT_EQ(g_menuPlace.top, corner.y);
  // As Windows itself sends it: (-1, -1) in the low 32 bits alone, no -1 in a 64-bit lParam.
  g_menuWasOpen = false;
  ASSERT_NE(SetTimer(nullptr, 0, 300, &NoteAndCloseTheMenu), 0u);
  SendMessageW(window_->hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list),
               static_cast<LPARAM>(MAKELPARAM(-1, -1)));
  PumpFor(std::chrono::milliseconds(300));
  ASSERT_TRUE(g_menuWasOpen);
  EXPECT_EQ(g_menuPlace.left, corner.x);
  EXPECT_EQ(g_menuPlace.top, corner.y);

  // Enter on a selected row is a left click; on no row, or in another component, nothing.
  EXPECT_EQ(leftClicks_, 0);
  PressKey(list, VK_RETURN);
  EXPECT_EQ(leftClicks_, 0);
  select(2);
  PressKey(list, VK_RETURN);
  EXPECT_EQ(leftClicks_, 1);
  SetFocus(window_->searchBox());
  PressKey(window_->searchBox(), VK_RETURN);
  EXPECT_EQ(leftClicks_, 1);
  EXPECT_EQ(searches_, 0);
}

// What the timer below saw once the tip dialog's own loop ran.
HWND g_tipOwner = nullptr;
HWND g_tipDialog = nullptr;
bool g_tipOwnerWasDisabled = false;

// A timer procedure (stdcall on i686): sees whether the owner is disabled, then presses Esc in
// the dialog.
void CALLBACK LookAtTheTipAndPressEsc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_tipDialog = FindWindowW(kTipWindowClassName, nullptr);
  g_tipOwnerWasDisabled = !IsWindowEnabled(g_tipOwner);
  if (g_tipDialog != nullptr) PostMessageW(g_tipDialog, WM_KEYDOWN, VK_ESCAPE, 1);
}

TEST_F(MainWindowTest, TipDialogDisablesTheMainWindowUntilItIsClosed) {
  Show();
  HWND owner = window_->hwnd();
  g_tipOwner = owner;
  g_tipDialog = nullptr;
  g_tipOwnerWasDisabled = false;
  SetFocus(window_->songList());
  ASSERT_NE(SetTimer(nullptr, 0, 200, &LookAtTheTipAndPressEsc), 0u);
  ShowTipWindow(GetModuleHandleW(nullptr), owner);
  PumpFor(std::chrono::milliseconds(200) * test::TimeScale());
  EXPECT_EQ(GetFocus(), window_->songList());  // where it was before the dialog
  EXPECT_NE(g_tipDialog, nullptr);
  EXPECT_TRUE(g_tipOwnerWasDisabled);
  EXPECT_FALSE(IsWindow(g_tipDialog));
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(IsWindow(owner));  // Esc closed only the dialog
  EXPECT_EQ(destroyed_, 0);
}

// A box of the program's is modal on the window's thread: another thread waits for it, reads
// its text into `text` and presses `button`.
std::thread AnswerBox(int button, std::wstring* text) {
  return std::thread([button, text] {
    HWND box = nullptr;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((box = FindWindowW(L"#32770", MessageTitle())) == nullptr &&
           std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (box == nullptr) return;
    wchar_t buffer[512] = {};
    GetDlgItemTextW(box, 0xFFFF, buffer, 512);  // the box's text
    *text = buffer;
    PostMessageW(box, WM_COMMAND, button, 0);
  });
}

// The text of a window, as the platform gives it back.
std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

// The save-folder box and a browser that gives back one folder.
class ChosenFolder final : public SaveFolderWindow {
 public:
  ChosenFolder(Win32FrontEnd& ui, std::string folder) : ui_(ui), folder_(std::move(folder)) {}
  void ShowSaveFolder(const std::string& folder) override { ui_.ShowSaveFolder(folder); }
  FolderChoice BrowseForFolder(const std::string&) override {
    return FolderChoice::Folder(folder_);
  }

 private:
  Win32FrontEnd& ui_;
  std::string folder_;
};

TEST(MainWindowSettingsTest, AGoneFolderAndASettingsFileThatCannotBeWrittenAreTold) {
  const std::filesystem::path folder = test::FreshTestFolder("win32-settings");
  const std::filesystem::path gone = folder / "gone";
  ProgramPaths paths;
  paths.programDirectory = paths.defaultSaveFolder = test::GbkPath(folder);
  paths.settingsFile = test::GbkPath(folder / "yyst.ini");
  const std::string content = "[a]\r\na=" + test::GbkPath(gone) + "\r\n";
  std::ofstream(folder / "yyst.ini", std::ios::binary) << content;
  SaveFolderStore store;
  MainWindow::Handlers handlers;
  std::unique_ptr<MainWindow> window = MainWindow::Create(GetModuleHandleW(nullptr), handlers);
  ASSERT_NE(window, nullptr);
  Win32FrontEnd ui(*window);
  MainWindowEvents events(ui, store, paths);
  events.Created();
  ShowWindow(window->hwnd(), SW_SHOWNORMAL);
  UpdateWindow(window->hwnd());
  PumpFor(std::chrono::milliseconds(200));

  // At start, over the shown window: the folder is not there, and the box still shows it.
  std::wstring told;
  std::thread ok = AnswerBox(IDOK, &told);
  events.Shown();
  ok.join();
  EXPECT_EQ(told, Wide(SaveFolderMissingMessage(test::GbkPath(gone))));
  EXPECT_EQ(WindowText(window->saveFolderBox()), Wide(test::GbkPath(gone)));

  // A download into it says so in its row, without asking the server.
  const int row = ui.AppendRow();
  ui.SetCellText(row, kColumnTitle, "Title");
  ui.SetCellText(row, kColumnSinger, "Singer");
  ui.SetCellText(row, kColumnIdentifier, "MUSIC_7002");
  ui.SetCellText(row, kColumnAddress, "http://127.0.0.1:9/resource/a.mp3");
  LVITEMW state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window->songList(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  events.DownloadChosen();
  EXPECT_TRUE(PumpUntil([&] {
    return ui.GetCellText(row, kColumnAddress) == Gbk("下载失败：保存目录不存在");
  })) << ui.GetCellText(row, kColumnAddress);

  // A read-only settings file: the chosen folder is refused with the reason, nothing changes.
  ASSERT_TRUE(SetFileAttributesW((folder / "yyst.ini").wstring().c_str(), FILE_ATTRIBUTE_READONLY));
  ChosenFolder browser(ui, test::GbkPath(folder));
  told.clear();
  ok = AnswerBox(IDOK, &told);
  ChooseSaveFolder(browser, ui, store, paths);
  ok.join();
  EXPECT_EQ(told, Wide(SettingsUnwritableMessage(FileError::kNoPermission)));
  EXPECT_EQ(store.Get(), test::GbkPath(gone));
  EXPECT_EQ(WindowText(window->saveFolderBox()), Wide(test::GbkPath(gone)));
  EXPECT_EQ(test::FileText(folder / "yyst.ini"), content);
  SetFileAttributesW((folder / "yyst.ini").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  // Writable again: the same choice is kept, and read back at the next start.
  ChooseSaveFolder(browser, ui, store, paths);
  EXPECT_EQ(WindowText(window->saveFolderBox()), Wide(test::GbkPath(folder)));
  EXPECT_EQ(CurrentSaveFolder(paths), test::GbkPath(folder));

  ui.Close();
  window.reset();
  std::filesystem::remove_all(folder);
}

// The window as the program wires it, closed while a download of a slow song runs.
TEST(MainWindowCloseTest, ClosingWhileADownloadRunsAsksFirstAndYesKeepsThePartForLater) {
  const std::string song = test::RandomBytes((3 << 20) + 99, 5);
  test::SongServer server([&](const std::string&) {
    test::SongReply reply;
    reply.head =
        "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nETag: \"v1\"\r\n"
        "Content-Length: " +
        std::to_string(song.size()) + "\r\n\r\n";
    reply.body = song;
    reply.pieces.assign(song.size() / 16384, 16384);
    reply.pieces.push_back(song.size() % 16384);
    reply.pause = std::chrono::milliseconds(20);  // about four seconds in all
    return reply;
  });
  const std::filesystem::path folder = test::FreshTestFolder("win32-close");
  SaveFolderStore store;
  store.Set(test::GbkPath(folder));
  const ProgramPaths paths{};
  MainWindowEvents* events = nullptr;
  Win32FrontEnd* frontEnd = nullptr;
  int destroyed = 0;
  MainWindow::Handlers handlers;
  handlers.closeAsked = [&] { return events->CloseAsked(); };
  handlers.destroyed = [&] {
    ++destroyed;
    frontEnd->Close();
  };
  std::unique_ptr<MainWindow> window = MainWindow::Create(GetModuleHandleW(nullptr), handlers);
  ASSERT_NE(window, nullptr);
  Win32FrontEnd ui(*window);
  frontEnd = &ui;
  MainWindowEvents wired(ui, store, paths);
  events = &wired;
  const HWND hwnd = window->hwnd();
  ShowWindow(hwnd, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd);
  PumpFor(std::chrono::milliseconds(200));

  const int row = ui.AppendRow();
  ui.SetCellText(row, kColumnTitle, test::Gbk("晴天"));
  ui.SetCellText(row, kColumnSinger, test::Gbk("周杰伦"));
  ui.SetCellText(row, kColumnIdentifier, "MUSIC_7001");
  ui.SetCellText(row, kColumnAddress, server.url("/resource/a.mp3"));
  LVITEMW state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window->songList(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  wired.DownloadChosen();
  ASSERT_TRUE(PumpUntil([&] {
    return ui.GetCellText(row, kColumnAddress).rfind(DownloadingStatus() + " ", 0) == 0;
  })) << ui.GetCellText(row, kColumnAddress);

  std::wstring asked;
  std::thread no = AnswerBox(IDNO, &asked);
  PressKey(window->searchBox(), VK_ESCAPE);
  PumpFor(std::chrono::milliseconds(100));
  no.join();
  EXPECT_EQ(asked, Wide(QuitWhileDownloadingQuestion()));
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(RunningDownloads(), 1);

  asked.clear();
  std::thread yes = AnswerBox(IDYES, &asked);
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }));
  yes.join();
  EXPECT_EQ(asked, Wide(QuitWhileDownloadingQuestion()));
  EXPECT_EQ(destroyed, 1);
  FinishStoppedDownloads();  // as the program does once its window has gone
  EXPECT_EQ(RunningDownloads(), 0);
  const std::filesystem::path part = folder / "MUSIC_7001.1.part";
  ASSERT_TRUE(std::filesystem::exists(part));
  EXPECT_TRUE(std::filesystem::exists(folder / "MUSIC_7001.1.part.resume"));
  const auto kept = static_cast<std::size_t>(std::filesystem::file_size(part));
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, song.size());
  EXPECT_TRUE(test::FileText(part) == song.substr(0, kept));
  window.reset();
  std::filesystem::remove_all(folder);
}

// ---- The windows at other DPIs ----

// A figure of today's layout at `dpi`, rounded as the layout's scaling rounds (MulDiv: half away
// from zero).
long AtDpi(long figure, UINT dpi) {
  return MulDiv(static_cast<int>(figure), static_cast<int>(dpi), 96);
}
std::vector<long> AtDpi(std::vector<long> place, UINT dpi) {
  for (long& figure : place) figure = AtDpi(figure, dpi);
  return place;
}

LOGFONTW FontOf(HWND window) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

// The main window laid out at `dpi`: its client area, every component's place, the columns and
// the font, today's figures times dpi/96.
void ExpectMainWindowAt(const MainWindow& window, UINT dpi) {
  SCOPED_TRACE(testing::Message() << "at " << dpi << " DPI");
  EXPECT_EQ(window.dpi(), dpi);
  RECT client;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, AtDpi(640, dpi));
  EXPECT_EQ(client.bottom, AtDpi(362, dpi));
  const HWND saveCaption = GetDlgItem(window.hwnd(), kIdSaveFolderCaption);
  const HWND searchCaption = GetDlgItem(window.hwnd(), kIdSearchCaption);
  const std::vector<std::pair<HWND, std::vector<long>>> places = {
      {window.saveFolderBox(), {102, 321, 144, 24}}, {saveCaption, {14, 321, 80, 24}},
      {searchCaption, {258, 321, 90, 24}},           {window.songList(), {5, 5, 627, 299}},
      {window.searchBox(), {345, 321, 168, 24}},     {window.searchButton(), {526, 319, 98, 26}},
  };
  LOGFONTW stock{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
  const long fontHeight =
      MulDiv(stock.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  for (const auto& [child, place] : places) {
    EXPECT_EQ(PlaceInParent(child), AtDpi(place, dpi)) << "at " << place[0] << "," << place[1];
    EXPECT_EQ(FontOf(child).lfHeight, fontHeight);
    EXPECT_EQ(std::wstring(FontOf(child).lfFaceName), std::wstring(stock.lfFaceName));
  }
  const long widths[] = {35, 150, 100, 150, 0, 170};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(SendMessageW(window.songList(), LVM_GETCOLUMNWIDTH, i, 0), AtDpi(widths[i], dpi))
        << "column " << i;
  }
}

// The dark ink `shot` shows inside `area`: its bounding box, empty when there is none.
RECT InkBox(const ScreenShot& shot, RECT area) {
  RECT ink{area.right, area.bottom, area.left, area.top};
  for (LONG y = area.top; y < area.bottom; ++y) {
    for (LONG x = area.left; x < area.right; ++x) {
      const COLORREF c = shot.At(POINT{x, y});
      if (GetRValue(c) < 110 && GetGValue(c) < 110 && GetBValue(c) < 110) {
        ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1),
               std::max(ink.bottom, y + 1)};
      }
    }
  }
  return ink;
}

// A caption as the person sees it at `dpi`: its text whole in the part of its rectangle left
// visible beside the box it names (`visibleRight`), in glyphs of the scaled height.
void ExpectCaptionWhole(const ScreenShot& shot, HWND caption, long visibleRight, UINT dpi) {
  const std::vector<long> place = PlaceInParent(caption);
  const RECT area{place[0], place[1], visibleRight, place[1] + place[3]};
  const RECT ink = InkBox(shot, area);
  const std::wstring text = Text(caption);
  SIZE extent{};
  {
    const WindowDc dc(caption);
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HFONT>(SendMessageW(caption, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  }
  SCOPED_TRACE(testing::Message() << "caption at " << place[0] << " DPI " << dpi << ": ink "
                                  << ink.left << ".." << ink.right << " x " << ink.top << ".."
                                  << ink.bottom << ", text " << extent.cx << " wide");
  ASSERT_LT(ink.left, ink.right);
  // Nothing of the text reaches the edges where it would be cut (its advance may: the last
  // glyph, "：", is blank in its right half).
  EXPECT_LT(ink.right, area.right);
  EXPECT_GT(ink.top, area.top);
  EXPECT_LT(ink.bottom, area.bottom);
  // All of it drawn, at the scaled size.
  EXPECT_GE(ink.right - ink.left, extent.cx * 8 / 10);
  EXPECT_GE(ink.bottom - ink.top, AtDpi(8, dpi));
}

// The tip dialog laid out at `dpi`.
void ExpectTipDialogAt(HWND dialog, UINT dpi) {
  SCOPED_TRACE(testing::Message() << "tip dialog at " << dpi << " DPI");
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, AtDpi(kTipClientWidth, dpi));
  EXPECT_EQ(client.bottom, AtDpi(kTipClientHeight, dpi));
  EXPECT_EQ(PlaceInParent(GetDlgItem(dialog, kIdTipPicture)), AtDpi({66, 35, 243, 243}, dpi));
  const std::vector<long> label1 = PlaceInParent(GetDlgItem(dialog, kIdTipLabel1));
  const std::vector<long> label2 = PlaceInParent(GetDlgItem(dialog, kIdTipLabel2));
  EXPECT_EQ((std::vector<long>{label1[0], label1[1], label1[2]}), AtDpi({76, 8, 228}, dpi));
  EXPECT_EQ((std::vector<long>{label2[0], label2[1]}), AtDpi({40, 286}, dpi));
  // The pink fill is as tall as the layout's label at this DPI, wherever the text runs on.
  EXPECT_GE(label1[3], AtDpi(layout::tip::kLabels[0].place.dy, dpi));
}

// Run by the test below in a process of its own, started at the DPI it names.
constexpr char kDpiVariable[] = "ORNIVEL_TEST_DPI";

TEST(HighDpiChild, DISABLED_BothWindowsAtTheScreensDpi) {
  const char* asked = std::getenv(kDpiVariable);
  ASSERT_NE(asked, nullptr) << "run by HighDpiTest with " << kDpiVariable << " set";
  const auto dpi = static_cast<UINT>(std::atoi(asked));
  ASSERT_EQ(SystemDpi(), dpi) << "the screen is not at the DPI asked for";

  std::unique_ptr<MainWindow> window = MainWindow::Create(GetModuleHandleW(nullptr), {});
  ASSERT_NE(window, nullptr);
  ExpectMainWindowAt(*window, dpi);
  ShowWindow(window->hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(window->hwnd());
  UpdateWindow(window->hwnd());
  PumpFor(std::chrono::milliseconds(300) * test::TimeScale());
  const ScreenShot shot(window->hwnd());
  ExpectCaptionWhole(shot, GetDlgItem(window->hwnd(), kIdSaveFolderCaption),
                     PlaceInParent(window->saveFolderBox())[0], dpi);
  ExpectCaptionWhole(shot, GetDlgItem(window->hwnd(), kIdSearchCaption),
                     PlaceInParent(window->searchBox())[0], dpi);
  window.reset();

  HWND tip = CreateTipWindow(GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(tip, nullptr);
  ExpectTipDialogAt(tip, dpi);
  {
    // The labels' text, in purple, is drawn in characters of the scaled height.
    SetForegroundWindow(tip);
    UpdateWindow(tip);
    PumpFor(std::chrono::milliseconds(300) * test::TimeScale());
    const ScreenShot tipShot(tip);
    const std::vector<long> label = PlaceInParent(GetDlgItem(tip, kIdTipLabel1));
    long purpleRows = 0;
    for (LONG y = label[1]; y < label[1] + label[3]; ++y) {
      if (tipShot.Count(RECT{label[0], y, label[0] + label[2], y + 1}, RGB(128, 0, 128), 60) > 0) {
        ++purpleRows;
      }
    }
    EXPECT_GE(purpleRows, AtDpi(layout::tip::kLabelFontPixels * 7 / 10, dpi));
  }
  DestroyWindow(tip);
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The user's screen DPI as Wine reads it when a process starts; given back as it was.
class ScreenDpiSetting {
 public:
  ScreenDpiSetting() {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof saved_;
    had_ = key_ != nullptr &&
           RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&saved_),
                            &size) == ERROR_SUCCESS;
  }
  ~ScreenDpiSetting() {
    if (key_ == nullptr) return;
    if (had_) {
      Set(saved_);
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }
  ScreenDpiSetting(const ScreenDpiSetting&) = delete;
  ScreenDpiSetting& operator=(const ScreenDpiSetting&) = delete;

  bool Set(DWORD dpi) const {
    return key_ != nullptr &&
           RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                          sizeof dpi) == ERROR_SUCCESS;
  }

 private:
  HKEY key_ = nullptr;
  DWORD saved_ = 0;
  bool had_ = false;
};

TEST(HighDpiTest, At144And192DpiEveryFigureIsTodaysTimesOneAndAHalfAndTwo) {
  // Windows takes a new screen DPI at the next log-on; Wine when a process starts.
  if (!UnderWine()) GTEST_SKIP() << "the screen's DPI can be changed for a test under Wine alone";
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const ScreenDpiSetting setting;
  for (const DWORD dpi : {144u, 192u}) {
    SCOPED_TRACE(testing::Message() << dpi << " DPI");
    ASSERT_TRUE(setting.Set(dpi));
    test::SetEnvironment(kDpiVariable, std::to_string(dpi));
    const test::ChildRun run =
        test::RunChild(self, {"--gtest_also_run_disabled_tests",
                              "--gtest_filter=HighDpiChild.DISABLED_BothWindowsAtTheScreensDpi"});
    test::UnsetEnvironment(kDpiVariable);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test"), std::string::npos) << run.out;
  }
}

TEST_F(MainWindowTest, MovedToAScreenOfAnotherDpiTheWindowLaysItselfOutAgain) {
  const HWND hwnd = window_->hwnd();
  const UINT system = window_->dpi();
  // The person widened a column first: it keeps its width, at the new DPI.
  SendMessageW(window_->songList(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(200, 0));
  RECT outer;
  GetWindowRect(hwnd, &outer);
  for (const UINT dpi : {192u, 144u, system}) {
    // As the system suggests it: the frame at the new DPI around the client area scaled.
    RECT suggested{outer.left, outer.top, outer.left + AtDpi(700, dpi),
                   outer.top + AtDpi(420, dpi)};
    SendMessageW(hwnd, kDpiChangedMessage, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT now;
    GetWindowRect(hwnd, &now);
    EXPECT_EQ(now.left, suggested.left);
    EXPECT_EQ(now.top, suggested.top);
    const auto widened =
        static_cast<long>(SendMessageW(window_->songList(), LVM_GETCOLUMNWIDTH, 1, 0));
    EXPECT_NEAR(widened, AtDpi(200, dpi), 1) << dpi;  // rounded once for each move
    SendMessageW(window_->songList(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(AtDpi(150, dpi), 0));
    ExpectMainWindowAt(*window_, dpi);
    SendMessageW(window_->songList(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(widened, 0));
  }
  // Back at the system DPI: the stock font again, nothing of the others left.
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window_->searchBox(), WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));
}

TEST(TipWindowDpiTest, MovedToAScreenOfAnotherDpiTheDialogLaysItselfOutAgain) {
  HWND tip = CreateTipWindow(GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(tip, nullptr);
  const UINT system = WindowDpi(tip);
  ExpectTipDialogAt(tip, system);
  for (const UINT dpi : {192u, 144u, system}) {
    RECT suggested;
    GetWindowRect(tip, &suggested);
    SendMessageW(tip, kDpiChangedMessage, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    ExpectTipDialogAt(tip, dpi);
  }
  DestroyWindow(tip);
}

TEST_F(MainWindowTest, ADpiChangeFromAnotherThreadOrOfNoScreensDpiIsNotBelieved) {
  const HWND hwnd = window_->hwnd();
  const UINT system = window_->dpi();
  RECT before;
  GetWindowRect(hwnd, &before);
  RECT elsewhere{-30000, -30000, 100, 100};
  // No screen has these DPIs: nothing changes.
  for (const UINT dpi : {0u, 1u, 47u, 961u, 65535u}) {
    SendMessageW(hwnd, kDpiChangedMessage, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&elsewhere));
    EXPECT_EQ(window_->dpi(), system) << dpi;
  }
  ExpectMainWindowAt(*window_, system);
  // Sent from another thread, with a pointer that points at nothing: the DPI is taken, the
  // pointer never read, and the window keeps its place.
  std::atomic<bool> sent{false};
  std::thread other([&] {
    SendMessageW(hwnd, kDpiChangedMessage, MAKEWPARAM(192, 192), static_cast<LPARAM>(0x10));
    sent = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return sent.load(); }));
  other.join();
  ExpectMainWindowAt(*window_, 192);
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);

  // Sent on the window's thread with a rectangle that cannot be read (nothing, a page given
  // back, memory of no one) or that no window can take: nothing changes.
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(VirtualFree(page, 0, MEM_RELEASE));
  RECT inverted{after.right, after.bottom, after.left, after.top};
  RECT beyond{40000, 40000, 41000, 41000};
  const LPARAM unusable[] = {0, 0x10, reinterpret_cast<LPARAM>(page),
                             reinterpret_cast<LPARAM>(&inverted),
                             reinterpret_cast<LPARAM>(&beyond)};
  for (const LPARAM place : unusable) {
    SendMessageW(hwnd, kDpiChangedMessage, MAKEWPARAM(144, 144), place);
    EXPECT_EQ(window_->dpi(), 192u) << place;
  }
  ExpectMainWindowAt(*window_, 192);
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  // Posted, whatever it holds, it is dropped by the program's loop; the same message sent, as
  // the system sends it, is believed.
  RECT fine = after;
  for (const LPARAM place : {unusable[1], reinterpret_cast<LPARAM>(&fine)}) {
    ASSERT_TRUE(PostMessageW(hwnd, kDpiChangedMessage, MAKEWPARAM(system, system), place));
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_EQ(window_->dpi(), 192u) << place;
  }
  SendMessageW(hwnd, kDpiChangedMessage, MAKEWPARAM(system, system),
               reinterpret_cast<LPARAM>(&fine));
  ExpectMainWindowAt(*window_, system);
}

TEST(ProgramIconTest, TheIconGroupHoldsEverySizeFrom16To256) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(ORNIVEL_ICON_RESOURCE), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(self, found)));
  ASSERT_NE(group, nullptr);
  // GRPICONDIR: reserved, type, count; then 14-byte entries whose first byte is the width (0 for
  // 256).
  const int count = group[4] | (group[5] << 8);
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i) {
    const int width = group[6 + 14 * i];
    sizes.push_back(width == 0 ? 256 : width);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));
  // Each loads at its size: the 256 from its PNG.
  for (const int size : sizes) {
    const HICON icon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(ORNIVEL_ICON_RESOURCE),
                                                     IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

// IAccessible's identifier (the import library's symbol is no data).
constexpr IID kAccessibleInterface = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a screen reader is told of `component` by its accessible object: its name, its role, its
// value, and the window it says it is.
struct Announced {
  std::wstring name, value;
  long role = 0;
  HWND window = nullptr;
};

std::wstring Take(BSTR text) {
  if (text == nullptr) return L"";
  std::wstring taken(text, SysStringLen(text));
  SysFreeString(text);
  return taken;
}

// Asked as a screen reader asks, from a thread of its own in an apartment of its own, while the
// component's thread takes its messages: the answer is marshalled between the two.
Announced Announce(HWND component) {
  Announced announced;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    // Done only once the reader has let go of the object and of COM: both take the window
    // thread's messages.
    {
      const ComScope com;
      ComPtr<IAccessible> object;
      const HRESULT made =
          AccessibleObjectFromWindow(component, static_cast<DWORD>(OBJID_CLIENT),
                                     kAccessibleInterface, reinterpret_cast<void**>(object.Out()));
      if (FAILED(made)) {
        announced.name = L"(no accessible object: " + std::to_wstring(made) + L")";
      } else {
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if (object.get()->get_accName(self, &text) == S_OK) announced.name = Take(text);
        text = nullptr;
        if (object.get()->get_accValue(self, &text) == S_OK) announced.value = Take(text);
        VARIANT role;
        VariantInit(&role);
        if (object.get()->get_accRole(self, &role) == S_OK && role.vt == VT_I4) {
          announced.role = role.lVal;
        }
        // The window the object says it is, where readers first look for it.
        ComPtr<IOleWindow> window;
        if (SUCCEEDED(object.get()->QueryInterface(IID_IOleWindow,
                                                   reinterpret_cast<void**>(window.Out())))) {
          window.get()->GetWindow(&announced.window);
        }
      }
    }
    done = true;
  });
  const bool answered = PumpUntil([&] { return done.load(); });
  EXPECT_TRUE(answered);
  // A reader still waiting on the window's thread is let finish (ctest's time limit ends a reader
  // that never does): joined without messages, the two would wait for each other.
  while (!done) (void)PumpUntil([&] { return done.load(); });
  reader.join();
  return announced;
}

// The window's thread holds no COM of the test's own: the window keeps its own apartment.
TEST_F(MainWindowTest, AScreenReaderNamesTheBoxesByTheirCaptionsAndTheButtonByItsText) {
  SetWindowTextW(window_->saveFolderBox(), L"C:\\音乐");
  const Announced search = Announce(window_->searchBox());
  EXPECT_EQ(search.name, L"输入歌曲/歌手：");
  // Everything else is the standard object's: an editable text holding the box's contents, the
  // box's own window (which readers map their focus events to).
  EXPECT_EQ(search.role, ROLE_SYSTEM_TEXT);
  EXPECT_EQ(search.value, L"告白气球");
  EXPECT_EQ(search.window, window_->searchBox());
  const Announced folder = Announce(window_->saveFolderBox());
  EXPECT_EQ(folder.name, L"下载保存目录：");
  EXPECT_EQ(folder.role, ROLE_SYSTEM_TEXT);
  EXPECT_EQ(folder.value, L"C:\\音乐");
  EXPECT_EQ(folder.window, window_->saveFolderBox());
  EXPECT_EQ(Announce(window_->searchButton()).name, L"搜索");
  // The name goes with the box: a window made again names its boxes as well.
  window_.reset();
  window_ = MainWindow::Create(GetModuleHandleW(nullptr), {});
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(Announce(window_->searchBox()).name, L"输入歌曲/歌手：");
}

TEST(TipWindowAccessibilityTest, AScreenReaderReadsTheTipsTexts) {
  HWND tip = CreateTipWindow(GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(tip, nullptr);
  for (const int id : {kIdTipLabel1, kIdTipLabel2}) {
    const HWND label = GetDlgItem(tip, id);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(Announce(label).name, Text(label)) << id;
    EXPECT_FALSE(Text(label).empty());
  }
  DestroyWindow(tip);
}

}  // namespace
}  // namespace ornivel
