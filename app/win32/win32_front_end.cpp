#include "app/win32/win32_front_end.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/win32/program_windows.h"
#include "app/window_layout.h"
#include "text/message_pump.h"
#include "text/never_freed.h"
#include "win/com.h"
#include "win/unique_owner.h"
#include "win/wide_text.h"

namespace ornivel {
namespace {

std::atomic<DWORD> g_pumpThread{0};

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

int RowCount(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

bool HoldsCell(HWND list, int row, int column) {
  return row >= 0 && column >= 0 && column < kColumnCount && row < RowCount(list);
}

// One cell's text, of any length.
std::wstring CellText(HWND list, int row, int column) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = static_cast<std::size_t>(SendMessageW(
        list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    // A text that fills the buffer may have been cut: try again with more room.
    if (length + 1 < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 4);
  }
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// A message box owned by no window, task-modal: on the window thread it blocks the main window,
// on a worker it blocks nothing. When one closes, the system activates the next window it finds:
// on the window thread it looks before it enables the windows the box disabled, so it finds
// none of the program's; on a worker it may find another program's as well. Typing would then
// go elsewhere or nowhere. So the window that was in front when the box came up (the active one
// on the window thread, the main window `mainWindow` on a worker, which has no windows) is
// brought back in front.
int ShowMessageBox(HWND mainWindow, const std::string& text, UINT flags) {
  HWND before = GetActiveWindow();
  if (before == nullptr) before = mainWindow;
  const bool wasInFront = before != nullptr && GetForegroundWindow() == before;
  const int answer = MessageBoxW(nullptr, Wide(text).c_str(), MessageTitle(), flags | MB_TASKMODAL);
  if (wasInFront && IsWindow(before) && IsWindowEnabled(before)) {
    // Unless another thread of the program has a box in front now (a worker's question, or the
    // window thread's prompt): it stays in front until it is answered.
    HWND front = GetForegroundWindow();
    DWORD process = 0;
    const DWORD thread = front != nullptr ? GetWindowThreadProcessId(front, &process) : 0;
    wchar_t frontClass[16] = {};
    const bool anotherBox = process == GetCurrentProcessId() && thread != GetCurrentThreadId() &&
                            GetClassNameW(front, frontClass, 16) > 0 &&
                            std::wcscmp(frontClass, L"#32770") == 0;  // the class of dialogs
    if (!anotherBox && front != before) SetForegroundWindow(before);
  }
  return answer;
}

DWORD WINAPI WorkerMain(void* parameter) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  (*work)();
  return 0;
}

}  // namespace

const wchar_t* MessageTitle() {
  // A worker's message box may still show it while the process exits.
  static NeverFreed<std::wstring> title(LayoutText(layout::kMessageTitle));
  return title->c_str();
}

void InstallWin32MessagePump() {
  g_pumpThread = GetCurrentThreadId();
  SetMessagePump([] {
    if (GetCurrentThreadId() != g_pumpThread.load()) return;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {  // for the message loop, which must still see it
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      DispatchProgramMessage(message);
    }
  });
}

Win32FrontEnd::Win32FrontEnd(MainWindow& window)
    : windowThread_(GetCurrentThreadId()), hwnd_(window.hwnd()), window_(&window) {}

void Win32FrontEnd::Close() {
  hwnd_ = nullptr;
  window_ = nullptr;
}

template <typename R, typename Work>
R Win32FrontEnd::AskWindow(Work work, R closed) {
  R result = std::move(closed);
  const std::function<void()> job = [this, &result, &work] {
    if (window_ != nullptr && window_->songList() != nullptr) result = work(*window_);
  };
  if (GetCurrentThreadId() == windowThread_) {
    job();
  } else {
    // Nothing is run when the window is gone: the result stays the closed value.
    (void)MainWindow::RunOnWindowThread(hwnd_.load(), job);
  }
  return result;
}

template <typename Work>
void Win32FrontEnd::RunOnWindow(Work work) {
  (void)AskWindow<bool>(
      [&work](MainWindow& w) {
        work(w);
        return true;
      },
      false);
}

void Win32FrontEnd::DeleteAllRows() {
  RunOnWindow([](MainWindow& w) { SendMessageW(w.songList(), LVM_DELETEALLITEMS, 0, 0); });
}

int Win32FrontEnd::AppendRow() {
  return AskWindow<int>(
      [](MainWindow& w) {
        w.HoldListDrawing();  // a search adds its rows in one go: they are drawn once, after it
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = RowCount(w.songList());
        item.pszText = const_cast<wchar_t*>(L"");
        // The new row's index, or -1 when the list refused it.
        return static_cast<int>(
            SendMessageW(w.songList(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
      },
      -1);
}

void Win32FrontEnd::SetCellText(int row, int column, const std::string& text) {
  RunOnWindow([row, column, &text](MainWindow& w) {
    if (HoldsCell(w.songList(), row, column)) SetCell(w.songList(), row, column, Wide(text));
  });
}

std::string Win32FrontEnd::GetCellText(int row, int column) {
  return AskWindow<std::string>(
      [row, column](MainWindow& w) {
        return HoldsCell(w.songList(), row, column) ? Narrow(CellText(w.songList(), row, column))
                                                    : std::string();
      },
      std::string());
}

int Win32FrontEnd::SelectedRow() {
  return AskWindow<int>(
      [](MainWindow& w) {
        return static_cast<int>(
            SendMessageW(w.songList(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      },
      -1);
}

bool Win32FrontEnd::SetCellTextIfHolds(int row, int column, const std::string& text, int keyColumn,
                                       const std::string& key) {
  return AskWindow<bool>(
      [&](MainWindow& w) {
        HWND list = w.songList();
        if (!HoldsCell(list, row, column) || !HoldsCell(list, row, keyColumn) ||
            Narrow(CellText(list, row, keyColumn)) != key) {
          return false;
        }
        SetCell(list, row, column, Wide(text));
        return true;
      },
      false);
}

std::string Win32FrontEnd::SearchText() {
  return AskWindow<std::string>([](MainWindow& w) { return Narrow(WindowText(w.searchBox())); },
                                std::string());
}

void Win32FrontEnd::ShowMessage(const std::string& text, MessageIcon icon) {
  if (hwnd_.load() == nullptr) return;  // the program is ending: nobody to tell
  // Raised by the thread that needs it.
  const UINT shown = icon == MessageIcon::kError         ? MB_ICONERROR
                     : icon == MessageIcon::kInformation ? MB_ICONINFORMATION
                                                         : 0;
  (void)ShowMessageBox(hwnd_.load(), text, MB_OK | shown);
}

bool Win32FrontEnd::AskYesNo(const std::string& text) {
  if (hwnd_.load() == nullptr) return false;
  // No icon; on a worker's thread, which has no windows, it blocks no window of the program.
  return ShowMessageBox(hwnd_.load(), text, MB_YESNO) == IDYES;
}

void Win32FrontEnd::SetClipboardText(const std::string& text) {
  RunOnWindow([&text](MainWindow& w) {
    if (!OpenClipboard(w.hwnd())) return;
    EmptyClipboard();
    // Both forms: the GBK bytes for programs that read the ANSI text, UTF-16 for the others.
    const std::wstring wide = Wide(text);
    // The clipboard owns each block it takes; one it refuses is freed here.
    UniqueGlobal unicode = GlobalCopy(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    if (unicode && SetClipboardData(CF_UNICODETEXT, unicode.get()) != nullptr) {
      (void)unicode.Release();
    }
    UniqueGlobal ansi = GlobalCopy(text.c_str(), text.size() + 1);
    if (ansi && SetClipboardData(CF_TEXT, ansi.get()) != nullptr) (void)ansi.Release();
    CloseClipboard();
  });
}

void Win32FrontEnd::StartWorker(std::function<void()> work) {
  auto parameter = std::make_unique<std::function<void()>>(std::move(work));
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &WorkerMain, parameter.get(), 0, &id);
  if (thread == nullptr) return;  // no thread: the work is dropped
  parameter.release();            // the worker frees it
  CloseHandle(thread);            // detached: nobody waits for it
}

void Win32FrontEnd::ShowSaveFolder(const std::string& folder) {
  RunOnWindow(
      [&folder](MainWindow& w) { SetWindowTextW(w.saveFolderBox(), Wide(folder).c_str()); });
}

FolderChoice Win32FrontEnd::BrowseForFolder(const std::string& title) {
  return AskWindow<FolderChoice>(
      [&title](MainWindow& w) {
        const ComScope com;  // the shell's browser needs COM on its thread
        const std::wstring wideTitle = Wide(title);
        BROWSEINFOW browse{};
        HWND active = GetActiveWindow();
        browse.hwndOwner = active != nullptr ? active : w.hwnd();
        browse.lpszTitle = wideTitle.c_str();
        // Folders only, with the field to type a path.
        browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
        PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
        if (chosen == nullptr) return FolderChoice::None();
        std::vector<wchar_t> path(32768, L'\0');
        const bool hasPath = SHGetPathFromIDListEx(chosen, path.data(),
                                                   static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
        CoTaskMemFree(chosen);
        if (!hasPath) return FolderChoice::None();
        const std::u16string wide(path.data(), path.data() + std::wcslen(path.data()));
        return FolderChoice::FromUtf8Path(Utf16ToText(wide, kCodePageUtf8));
      },
      FolderChoice::None());
}

}  // namespace ornivel
