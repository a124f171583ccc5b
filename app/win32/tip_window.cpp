#include "app/win32/tip_window.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/dpi_scale.h"
#include "app/win32/main_window.h"
#include "app/window_layout.h"
#include "win/com.h"
#include "win/device_context.h"
#include "win/unique_owner.h"

namespace ornivel {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr UINT kLabelTextFlags = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOCLIP | DT_NOPREFIX;

constexpr COLORREF ColourRef(const layout::Colour& colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

// The layout's labels, each with its control identifier (from kIdTipLabel1 in their order) and
// its text as UTF-16.
struct Label {
  int id;
  layout::Rect place;
  std::wstring text;
};

const std::vector<Label>& Labels() {
  static const std::vector<Label> labels = [] {
    std::vector<Label> made;
    for (const layout::tip::Label& label : layout::tip::kLabels) {
      made.push_back(
          {kIdTipLabel1 + static_cast<int>(made.size()), label.place, LayoutText(label.text)});
    }
    return made;
  }();
  return labels;
}

// What one dialog owns: the labels' font at the dialog's DPI and the decoded picture.
struct TipState {
  UINT dpi = kLayoutDpi;
  UniqueGdiObject<HFONT> labelFont;
  UniqueGdiObject<HFONT> dialogFont;  // empty at the system DPI: the stock font is used there
  ComPtr<IPicture> picture;
  HWND owner = nullptr;
};

// The layout's character height at `dpi`, normal weight, the system's face and character set.
UniqueGdiObject<HFONT> MakeLabelFont(UINT dpi) {
  return UniqueGdiObject<HFONT>(CreateFontW(-DpiScale(dpi)(layout::tip::kLabelFontPixels), 0, 0, 0,
                                            FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                            DEFAULT_QUALITY, DEFAULT_PITCH, nullptr));
}

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
int TextHeight(HWND window, HFONT font, const std::wstring& text, int width) {
  const WindowDc dc(window);
  const SelectedObject selected(dc.get(), font);
  RECT box{0, 0, width, 0};
  DrawTextW(dc.get(), text.c_str(), -1, &box, kLabelTextFlags | DT_CALCRECT);
  return box.bottom - box.top;
}

// Makes the fonts at the dialog's DPI and places the components: a label as tall as its text
// needs, at least its layout height.
void LayOut(HWND dialog, TipState& state) {
  const DpiScale scale(state.dpi);
  // The components draw in the old fonts until they are given the new ones.
  const UniqueGdiObject<HFONT> oldLabelFont =
      std::exchange(state.labelFont, MakeLabelFont(state.dpi));
  const UniqueGdiObject<HFONT> oldDialogFont =
      std::exchange(state.dialogFont, MakeGuiFontAt(state.dpi));
  SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFontOr(state.dialogFont)), FALSE);
  for (const Label& label : Labels()) {
    const layout::Rect place = scale(label.place);
    const int height =
        std::max(place.dy, TextHeight(dialog, state.labelFont.get(), label.text, place.dx));
    SetWindowPos(GetDlgItem(dialog, label.id), nullptr, place.x, place.y, place.dx, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const layout::Rect picture = scale(layout::tip::kPicture);
  SetWindowPos(GetDlgItem(dialog, kIdTipPicture), nullptr, picture.x, picture.y, picture.dx,
               picture.dy, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(dialog, nullptr, TRUE);
}

void DrawLabel(const DRAWITEMSTRUCT& item, const TipState& state, const Label& label) {
  // The label's own rectangle is filled; text taller than it runs on below, over the dialog.
  RECT fill = item.rcItem;
  fill.bottom =
      std::min(fill.bottom, fill.top + static_cast<LONG>(DpiScale(state.dpi)(label.place.dy)));
  const UniqueGdiObject<HBRUSH> brush(CreateSolidBrush(ColourRef(layout::tip::kLabelFill)));
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  FillRect(item.hDC, &fill, brush.get());
  const SelectedObject selected(item.hDC, state.labelFont.get());
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, ColourRef(layout::tip::kLabelText));
  RECT text = item.rcItem;
  DrawTextW(item.hDC, label.text.c_str(), -1, &text, kLabelTextFlags);
}

void DrawPicture(const DRAWITEMSTRUCT& item, IPicture* picture) {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  if (picture == nullptr) return;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Handle(&handle)) || handle == 0) return;
  const UniqueMemoryDc source(CreateCompatibleDC(item.hDC));
  const SelectedObject selected(source.get(),
                                reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)));
  BITMAP bitmap{};
  GetObjectW(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof bitmap, &bitmap);
  // Stretched to fill the box, without keeping the aspect ratio: smoothly on a display of more
  // than 16 bits per pixel.
  const bool smooth = GetDeviceCaps(item.hDC, BITSPIXEL) > 16;
  SetStretchBltMode(item.hDC, smooth ? HALFTONE : COLORONCOLOR);
  if (smooth) SetBrushOrgEx(item.hDC, 0, 0, nullptr);
  StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
             item.rcItem.bottom - item.rcItem.top, source.get(), 0, 0, bitmap.bmWidth,
             bitmap.bmHeight, SRCCOPY);
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
      for (const Label& label : Labels()) {
        if (static_cast<int>(item.CtlID) == label.id) {
          DrawLabel(item, *state, label);
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
    case kDpiChangedMessage: {
      const std::optional<DpiChange> change = ReadDpiChange(dialog, wParam, lParam);
      if (state == nullptr || !change) return 0;
      const RECT& place = change->place;
      SetWindowPos(dialog, nullptr, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
      state->dpi = change->dpi;
      const DpiScale scale(state->dpi);
      SetClientSize(dialog, scale(kTipClientWidth), scale(kTipClientHeight));
      LayOut(dialog, *state);
      return 0;
    }
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
  const DpiScale scale(SystemDpi());
  const layout::Rect place =
      CentredWindowPlace(scale(kTipClientWidth), scale(kTipClientHeight), kStyle, 0);
  HWND dialog =
      CreateWindowExW(0, kTipWindowClassName, LayoutText(layout::tip::kTitle).c_str(), kStyle,
                      place.x, place.y, place.dx, place.dy, owner, nullptr, instance, &made);
  // A window that could not be made freed the state if it had taken it; `made` frees it if not.
  if (dialog == nullptr) return nullptr;
  for (const Label& label : Labels()) {
    CreateWindowExW(0, L"STATIC", label.text.c_str(), WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 0, 0, 0,
                    0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(label.id)), instance,
                    nullptr);
  }
  CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 0, 0, 0, 0, dialog,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTipPicture)), instance, nullptr);
  state->dpi = WindowDpi(dialog);
  if (state->dpi != scale.dpi()) {
    const DpiScale own(state->dpi);
    SetClientSize(dialog, own(kTipClientWidth), own(kTipClientHeight));
  }
  LayOut(dialog, *state);
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
