#include "app/qt/application.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>

#include <cstdlib>
#include <memory>

#include "app/qt/main_window.h"
#include "app/qt/platform_start.h"
#include "app/qt/qt_front_end.h"
#include "app/qt/qt_translations.h"
#include "app/qt/resources.h"
#include "app/qt/tip_window.h"
#include "app/settings.h"
#include "service/song_address.h"
#include "service/song_download.h"
#include "service/song_search.h"

namespace ornivel {
namespace {

// Both live until the process ends: workers still running at exit may hold references to them.
SaveFolderStore* g_saveFolder = nullptr;
QtFrontEnd* g_frontEnd = nullptr;

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
  QtFrontEnd* ui = &frontEnd;
  QObject::connect(&window, &MainWindow::searchClicked, [ui] { SearchSongs(*ui, *ui); });
  QObject::connect(&window, &MainWindow::listLeftClicked, [ui] { StartAddressLookup(*ui, *ui); });
  QObject::connect(&window, &MainWindow::copyAddressChosen, [ui] { CopySongAddress(*ui, *ui); });
  // Each download takes its own copy of the save folder when it starts.
  QObject::connect(&window, &MainWindow::downloadChosen,
                   [ui, &store] { StartDownload(*ui, *ui, *ui, store.Get()); });
  QObject::connect(&window, &MainWindow::changeFolderChosen,
                   [ui, &store, &paths] { ChooseSaveFolder(*ui, *ui, store, paths); });
  QObject::connect(&window, &MainWindow::tipChosen, [&window] { ShowTipWindow(&window); });
}

void ExitCleanup() {
  if (g_saveFolder != nullptr) g_saveFolder->Set(std::string());
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
    QMessageBox::critical(nullptr, QString::fromUtf8("信息："),
                          QString::fromUtf8("载入启动窗口失败"));
    return -1;
  }
  g_saveFolder = new SaveFolderStore();
  const ProgramPaths paths = CurrentProgramPaths();
  auto window = std::make_unique<MainWindow>();
  window->PlaceCentred();
  // Workers may outlive the window and even this function: the front end is never freed.
  g_frontEnd = new QtFrontEnd(window.get());
  QtFrontEnd* frontEnd = g_frontEnd;

  ConnectMainWindow(*window, *frontEnd, *g_saveFolder, paths);

  // The created event: the save folder is in its box before the window is first shown.
  LoadSaveFolder(*frontEnd, *g_saveFolder, paths);
  window->show();
  window->activateWindow();
  const int code = app.exec();
  frontEnd->Close();
  return code;
}

}  // namespace ornivel
