#include "app/win32/application.h"

#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "app/win32/main_window.h"
#include "app/win32/tip_window.h"
#include "app/win32/win32_front_end.h"
#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"

namespace ornivel {
namespace {

// Both live until the process ends: workers still running at exit may hold references to them.
SaveFolderStore* g_saveFolder = nullptr;
Win32FrontEnd* g_frontEnd = nullptr;

}  // namespace

void ExitCleanup() {
  if (g_saveFolder != nullptr) g_saveFolder->Set(std::string());
}

int RunApplication(HINSTANCE instance) {
  std::atexit(ExitCleanup);
  InstallWin32MessagePump();
  g_saveFolder = new SaveFolderStore();
  SaveFolderStore& store = *g_saveFolder;
  const ProgramPaths paths = CurrentProgramPaths();

  // The handlers run only once the window exists, and the front end with it.
  Win32FrontEnd* ui = nullptr;
  HWND mainWindow = nullptr;
  MainWindow::Handlers handlers;
  handlers.searchClicked = [&ui] { SearchSongs(*ui, *ui); };
  handlers.listLeftClicked = [&ui] { StartAddressLookup(*ui, *ui); };
  handlers.copyAddressChosen = [&ui] { CopySongAddress(*ui, *ui); };
  // Each download takes its own copy of the save folder when it starts.
  handlers.downloadChosen = [&ui, &store] { StartDownload(*ui, *ui, *ui, store.Get()); };
  handlers.changeFolderChosen = [&ui, &store, &paths] { ChooseSaveFolder(*ui, *ui, store, paths); };
  handlers.tipChosen = [instance, &mainWindow] { ShowTipWindow(instance, mainWindow); };
  handlers.destroyed = [&ui] {
    // A window that goes while it is being made ends nothing: the start-up's failure box follows.
    if (ui == nullptr) return;
    ui->Close();  // workers' list operations do nothing from now on
    PostQuitMessage(0);
  };

  auto window = MainWindow::Create(instance, std::move(handlers));
  if (!window) {
    MessageBoxW(nullptr, L"载入启动窗口失败", kMessageTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
    return -1;
  }
  mainWindow = window->hwnd();
  // Workers may outlive the window: the front end is never freed.
  g_frontEnd = new Win32FrontEnd(*window);
  ui = g_frontEnd;

  // The created event: the save folder is in its box before the window is first shown.
  LoadSaveFolder(*ui, store, paths);
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  SetForegroundWindow(mainWindow);
  SetFocus(window->searchBox());
  UpdateWindow(mainWindow);

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchProgramMessage(message);
  return static_cast<int>(message.wParam);
}

}  // namespace ornivel
