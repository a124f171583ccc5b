#include "app/qt/application.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>

#include <cstdlib>
#include <memory>

#include "app/main_window_events.h"
#include "app/qt/layout_text.h"
#include "app/qt/main_window.h"
#include "app/qt/platform_start.h"
#include "app/qt/qt_front_end.h"
#include "app/qt/qt_translations.h"
#include "app/qt/resources.h"
#include "app/qt/tip_window.h"
#include "app/settings.h"
#include "text/never_freed.h"

namespace ornivel {
namespace {

QIcon ProgramIcon() {
  EnsureResources();
  QIcon icon;
  for (const int size : {16, 32, 48, 64, 128}) {
    icon.addFile(QStringLiteral(":/ornivel/icons/ornivel-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

void ConnectMainWindow(MainWindow& window, QtFrontEnd& frontEnd, SaveFolderStore& store,
                       const ProgramPaths& paths) {
  // Owned by the window: the events go with it.
  auto events = std::make_shared<MainWindowEvents>(frontEnd, store, paths);
  QObject::connect(&window, &MainWindow::searchClicked, [events] { events->SearchClicked(); });
  QObject::connect(&window, &MainWindow::listLeftClicked, [events] { events->ListLeftClicked(); });
  QObject::connect(&window, &MainWindow::copyAddressChosen,
                   [events] { events->CopyAddressChosen(); });
  QObject::connect(&window, &MainWindow::downloadChosen, [events] { events->DownloadChosen(); });
  QObject::connect(&window, &MainWindow::changeFolderChosen,
                   [events] { events->ChangeFolderChosen(); });
  QObject::connect(&window, &MainWindow::tipChosen, [&window] { ShowTipWindow(&window); });
  window.SetCloseQuestion([events] { return events->CloseAsked(); });
}

int RunApplication(int argc, char** argv) {
  std::atexit(ExitCleanup);
  PlatformStartGuard platformGuard;  // no display: one line on stderr and -1, not an abort
  QApplication app(argc, argv);
  platformGuard.Release();
  // Qt's own buttons and dialogs speak the desktop's language, as the program's texts do.
  QtTranslations translations;
  (void)translations.Load(QLocale::system());
  QApplication::setApplicationName(QStringLiteral("Ornivel"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.ornivel.Ornivel"));
  QApplication::setWindowIcon(ProgramIcon());
  InstallQtMessagePump();

  if (QGuiApplication::primaryScreen() == nullptr) {
    QMessageBox::critical(nullptr, Text(layout::kMessageTitle), Text(layout::kStartFailedText));
    return -1;
  }
  SaveFolderStore& store = ProgramSaveFolder();
  const ProgramPaths paths = CurrentProgramPaths();
  auto window = std::make_unique<MainWindow>();
  window->PlaceCentred();
  // Workers may outlive the window and even this function, holding references to the front end.
  static NeverFreed<QtFrontEnd> liveFrontEnd(window.get());
  QtFrontEnd* frontEnd = &*liveFrontEnd;

  ConnectMainWindow(*window, *frontEnd, store, paths);

  // The created event: the save folder is in its box before the window is first shown; what
  // it found wrong is told over the shown window.
  MainWindowEvents startEvents(*frontEnd, store, paths);
  startEvents.Created();
  window->show();
  window->activateWindow();
  startEvents.Shown();
  const int code = app.exec();
  frontEnd->Close();
  FinishStoppedDownloads();
  return code;
}

}  // namespace ornivel
