#pragma once
// The Linux program's start-up, run and exit.

namespace ornivel {

// Starts the program in the order it is made to: the exit routine is registered, the main
// window is made hidden, the save folder is loaded into it, the window is shown and the event
// loop runs until it is closed. Returns the process's exit code (-1 when the main window could
// not be made).
int RunApplication(int argc, char** argv);

class MainWindow;
class QtFrontEnd;
class SaveFolderStore;
struct ProgramPaths;

// Binds the window's events to the operations they run (MainWindowEvents), and "实现小目标" to
// ShowTipWindow. `paths` and `store` must outlive the window.
void ConnectMainWindow(MainWindow& window, QtFrontEnd& frontEnd, SaveFolderStore& store,
                       const ProgramPaths& paths);

}  // namespace ornivel
