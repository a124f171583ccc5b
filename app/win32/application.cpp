#include "app/win32/application.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "app/main_window_events.h"
#include "app/settings.h"
#include "app/win32/main_window.h"
#include "app/win32/tip_window.h"
#include "app/win32/win32_front_end.h"
#include "text/never_freed.h"

namespace ornivel {

int RunApplication(HINSTANCE instance) {
  std::atexit(ExitCleanup);
  InstallWin32MessagePump();
  SaveFolderStore& store = ProgramSaveFolder();
  const ProgramPaths paths = CurrentProgramPaths();

  // The handlers run only once the window exists, and the front end and its events with it.
  Win32FrontEnd* ui = nullptr;
  std::optional<MainWindowEvents> events;
  HWND mainWindow = nullptr;
  MainWindow::Handlers handlers;
  handlers.searchClicked = [&events] { events->SearchClicked(); };
  handlers.listLeftClicked = [&events] { events->ListLeftClicked(); };
  handlers.copyAddressChosen = [&events] { events->CopyAddressChosen(); };
  handlers.downloadChosen = [&events] { events->DownloadChosen(); };
  handlers.changeFolderChosen = [&events] { events->ChangeFolderChosen(); };
  handlers.tipChosen = [instance, &mainWindow] { ShowTipWindow(instance, mainWindow); };
  handlers.closeAsked = [&events] { return events->CloseAsked(); };
  handlers.destroyed = [&ui] {
    // A window that goes while it is being made ends nothing: the start-up's failure box follows.
    if (ui == nullptr) return;
    ui->Close();  // workers' list operations do nothing from now on
    PostQuitMessage(0);
  };

  auto window = MainWindow::Create(instance, std::move(handlers));
  if (!window) {
    MessageBoxW(nullptr, LayoutText(layout::kStartFailedText).c_str(), MessageTitle(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    return -1;
  }
  mainWindow = window->hwnd();
  // Workers may outlive the window, holding references to the front end.
  static NeverFreed<Win32FrontEnd> frontEnd(*window);
  ui = &*frontEnd;
  events.emplace(*ui, store, paths);

  // The created event: the save folder is in its box before the window is first shown.
  events->Created();
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  SetForegroundWindow(mainWindow);
  SetFocus(window->searchBox());
  UpdateWindow(mainWindow);
  events->Shown();

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchProgramMessage(message);
  FinishStoppedDownloads();
  return static_cast<int>(message.wParam);
}

}  // namespace ornivel
