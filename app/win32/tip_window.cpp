#include "app/win32/tip_window.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "app/win32/main_window.h"
#include "win/com.h"
#include "win/unique_owner.h"

namespace ornivel {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr COLORREF kLabelFill = RGB(255, 168, 255);
constexpr COLORREF kLabelText = RGB(128, 0, 128);
constexpr UINT kLabelTextFlags = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOCLIP | DT_NOPREFIX;

struct Label {
  int id;
  RECT place;  // left, top, width, height
  const wchar_t* text;
};

constexpr Label kLabels[] = {
    {kIdTipLabel1, {76, 8, 228, 19}, L"某的小目标，你准备贡献多少？"},
    {kIdTipLabel2,
     {40, 286, 304, 34},
     L"不打赏？！大坏蛋，人家要拿小拳拳捶你胸口，(?\?ˇ?ˇ?\?)哼！"},
};

// What one dialog owns: the labels' font and the decoded picture.
struct TipState {
  UniqueGdiObject<HFONT> labelFont;
  ComPtr<IPicture> picture;
  HWND owner = nullptr;
};

// The tip picture from the executable, decoded by the platform's picture loader; null when it
// is missing or cannot be decoded (the box then shows its background alone).
ComPtr<IPicture> LoadTipPicture(HINSTANCE instance) {
  HRSRC resource =
      FindResourceW(instance, MAKEINTRESOURCEW(ORNIVEL_TIP_PICTURE_RESOURCE), RT_RCDATA);
  if (resource == nullptr) return {};
  const DWORD size = SizeofResource(instance, resource);
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) return {};
  UniqueGlobal copy = GlobalCopy(bytes, size);
  if (!copy) return {};
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(copy.get(), TRUE, stream.Out()))) return {};
  (void)copy.Release();  // the stream frees the copy from now on
  ComPtr<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                            reinterpret_cast<void**>(picture.Out())))) {
    return {};
  }
  return picture;
}

// The height a label's text takes when wrapped to `width`.
int TextHeight(HWND window, HFONT font, const wchar_t* text, int width) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  RECT box{0, 0, width, 0};
  DrawTextW(dc, text, -1, &box, kLabelTextFlags | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return box.bottom - box.top;
}

void DrawLabel(const DRAWITEMSTRUCT& item, HFONT font, const Label& label) {
  // The label's own rectangle is filled; text taller than it runs on below, over the dialog.
  RECT fill = item.rcItem;
  fill.bottom = std::min(fill.bottom, fill.top + static_cast<LONG>(label.place.bottom));
  HBRUSH brush = CreateSolidBrush(kLabelFill);
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  FillRect(item.hDC, &fill, brush);
  DeleteObject(brush);
  HGDIOBJ old = SelectObject(item.hDC, font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, kLabelText);
  RECT text = item.rcItem;
  DrawTextW(item.hDC, label.text, -1, &text, kLabelTextFlags);
  SelectObject(item.hDC, old);
}

void DrawPicture(const DRAWITEMSTRUCT& item, IPicture* picture) {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (picture == nullptr) return;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Handle(&handle)) || handle == 0) return;
  HDC source = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(source, reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)));
  BITMAP bitmap{};
  GetObjectW(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof bitmap, &bitmap);
  // Stretched to fill the box, without keeping the aspect ratio: smoothly on a display of more
  // than 16 bits per pixel.
  const bool smooth = GetDeviceCaps(item.hDC, BITSPIXEL) > 16;
  SetStretchBltMode(item.hDC, smooth ? HALFTONE : COLORONCOLOR);
  if (smooth) SetBrushOrgEx(item.hDC, 0, 0, nullptr);
  StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
             item.rcItem.bottom - item.rcItem.top, source, 0, 0, bitmap.bmWidth, bitmap.bmHeight,
             SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

void Close(HWND dialog, TipState* state) {
  // The owner comes back before the dialog goes, so that it is activated again.
  if (state != nullptr && state->owner != nullptr) EnableWindow(state->owner, TRUE);
  DestroyWindow(dialog);
}

LRESULT CALLBACK TipProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    // The window takes the state over here, once: from now on WM_NCDESTROY frees it, and the
    // maker, whose owner is left empty, never does.
    auto* maker = static_cast<std::unique_ptr<TipState>*>(
        reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(maker->release()));
  }
  auto* state = reinterpret_cast<TipState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  switch (message) {
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (state == nullptr) break;
      if (item.CtlID == kIdTipPicture) {
        DrawPicture(item, state->picture.get());
        return TRUE;
      }
      for (const Label& label : kLabels) {
        if (static_cast<int>(item.CtlID) == label.id) {
          DrawLabel(item, state->labelFont.get(), label);
          return TRUE;
        }
      }
      break;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {  // Esc
        Close(dialog, state);
        return 0;
      }
      break;
    case WM_CLOSE:
      Close(dialog, state);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
      delete state;
      break;
    default:
      break;
  }
  return DefWindowProcW(dialog, message, wParam, lParam);
}

}  // namespace

HWND CreateTipWindow(HINSTANCE instance, HWND owner) {
  if (!RegisterProgramWindowClass(instance, kTipWindowClassName, &TipProcedure)) return nullptr;
  auto made = std::make_unique<TipState>();
  TipState* state = made.get();
  state->owner = owner;
  state->picture = LoadTipPicture(instance);
  // 16 pixels of character height, normal weight, the system's face and character set.
  state->labelFont = UniqueGdiObject<HFONT>(
      CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, nullptr));
  const RECT place = CentredWindowRect(kTipClientWidth, kTipClientHeight, kStyle, 0);
  HWND dialog = CreateWindowExW(0, kTipWindowClassName, L"   微信扫一扫，打赏作者", kStyle,
                                place.left, place.top, place.right - place.left,
                                place.bottom - place.top, owner, nullptr, instance, &made);
  // A window that could not be made freed the state if it had taken it; `made` frees it if not.
  if (dialog == nullptr) return nullptr;
  SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  for (const Label& label : kLabels) {
    const int height =
        std::max(static_cast<int>(label.place.bottom),
                 TextHeight(dialog, state->labelFont.get(), label.text, label.place.right));
    CreateWindowExW(0, L"STATIC", label.text, WS_CHILD | WS_VISIBLE | SS_OWNERDRAW,
                    label.place.left, label.place.top, label.place.right, height, dialog,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(label.id)), instance, nullptr);
  }
  CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 66, 35, 243, 243, dialog,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTipPicture)), instance, nullptr);
  ShowWindow(dialog, SW_SHOW);
  return dialog;
}

void ShowTipWindow(HINSTANCE instance, HWND owner) {
  const ComScope com;  // the picture loader's
  HWND dialog = CreateTipWindow(instance, owner);
  if (dialog == nullptr) return;
  if (owner != nullptr) EnableWindow(owner, FALSE);
  MSG message;
  while (IsWindow(dialog)) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {  // the program is ending: the outer loop must see it too
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    DispatchProgramMessage(message);
  }
  if (IsWindow(dialog)) DestroyWindow(dialog);
  if (owner != nullptr) EnableWindow(owner, TRUE);
}

}  // namespace ornivel
