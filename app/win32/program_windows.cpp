#include "app/win32/program_windows.h"

#include <commctrl.h>

#include <cwchar>

#include "app/win32/dpi_scale.h"
#include "app/win32/resource.h"
#include "text/code_page.h"
#include "text/text_convert.h"

namespace ornivel {

HICON ProgramIcon(HINSTANCE instance, bool small) {
  const int width = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
  const int height = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(ORNIVEL_ICON_RESOURCE), IMAGE_ICON, width, height, 0));
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

std::wstring LayoutText(std::string_view utf8) {
  const std::u16string units = TextToUtf16(utf8, kCodePageUtf8);
  return std::wstring(units.begin(), units.end());
}

layout::Rect CentredWindowPlace(int width, int height, DWORD style, DWORD extendedStyle) {
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, style, FALSE, extendedStyle);
  const int outerWidth = outer.right - outer.left;
  const int outerHeight = outer.bottom - outer.top;
  return {(GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2,
          (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2, outerWidth, outerHeight};
}

bool TranslateProgramKeys(MSG& message) {
  if (message.hwnd == nullptr) return false;
  HWND root = GetAncestor(message.hwnd, GA_ROOT);
  wchar_t className[64] = {};
  if (root == nullptr || GetClassNameW(root, className, 64) == 0) return false;
  // Only the program's own windows: message boxes and the folder browser run loops of their own.
  if (std::wcscmp(className, kMainWindowClassName) != 0 &&
      std::wcscmp(className, kTipWindowClassName) != 0) {
    return false;
  }
  // Enter presses nothing in the main window. The dialog manager would press a focused push
  // button (Tab makes it the default one), so the key never reaches it.
  const bool enter = ((message.message == WM_KEYDOWN || message.message == WM_KEYUP) &&
                      message.wParam == VK_RETURN) ||
                     (message.message == WM_CHAR && message.wParam == L'\r');
  // The Menu key and Shift+F10 in the song list ask for its menu, whichever the system would
  // send of them and when; both presses and releases go no further, so it comes once.
  wchar_t targetClass[64] = {};
  const bool inList = std::wcscmp(className, kMainWindowClassName) == 0 &&
                      GetClassNameW(message.hwnd, targetClass, 64) != 0 &&
                      std::wcscmp(targetClass, WC_LISTVIEWW) == 0;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool menuKey = ((message.message == WM_KEYDOWN || message.message == WM_KEYUP) &&
                        message.wParam == VK_APPS) ||
                       ((message.message == WM_SYSKEYDOWN || message.message == WM_SYSKEYUP) &&
                        message.wParam == VK_F10 && shift);
  if (inList && menuKey) {
    if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
      SendMessageW(root, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(message.hwnd), -1);
    }
    return true;
  }
  if (enter && std::wcscmp(className, kMainWindowClassName) == 0) {
    // The song list alone has a use for it: its press reaches the list, which tells the window
    // (NM_RETURN), and the window looks the selected row up as a click would.
    if (!inList || message.message != WM_KEYDOWN) return true;
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
  }
  return IsDialogMessageW(root, &message) != FALSE;
}

void DispatchProgramMessage(MSG& message) {
  // The system sends a DPI change, never posts one: one in the queue came from another process,
  // and its pointer is nothing to follow.
  if (message.message == kDpiChangedMessage) return;
  if (TranslateProgramKeys(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace ornivel
