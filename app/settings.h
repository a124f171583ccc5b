#pragma once
// The save folder: the program's one setting, kept in yyst.ini (section "a", key "a", GBK).

#include <mutex>
#include <string>
#include <string_view>

#include "app/program_paths.h"
#include "service/prompts.h"

namespace ornivel {

// The program-wide save folder. The window thread replaces it; a download copies it once at its
// start. The lock makes that copy whole, never half old and half new.
class SaveFolderStore {
 public:
  [[nodiscard]] std::string Get() const;
  void Set(std::string folder);

 private:
  mutable std::mutex mutex_;
  std::string folder_;
};

// What the folder browser gave back.
struct FolderChoice {
  enum class Kind {
    kNone,      // cancelled, or something without a file-system path
    kFolder,    // `folder`, in GBK
    kNotInGbk,  // a folder whose name holds a character GBK cannot: it has no GBK path
  };
  Kind kind = Kind::kNone;
  std::string folder;

  static FolderChoice None() { return {}; }
  static FolderChoice Folder(std::string gbk) { return {Kind::kFolder, std::move(gbk)}; }
  static FolderChoice NotInGbk() { return {Kind::kNotInGbk, {}}; }
  // A chosen folder's path in UTF-8: the folder when GBK can name it exactly, else NotInGbk;
  // None for an empty path.
  static FolderChoice FromUtf8Path(std::string_view utf8);
};

// What the settings code needs of the window: the save-folder box and the folder browser.
class SaveFolderWindow {
 public:
  virtual ~SaveFolderWindow() = default;
  // Shows the save folder in the read-only box.
  virtual void ShowSaveFolder(const std::string& folder) = 0;
  // The folder browser (folders only, with a field to type a path) and what the user chose.
  [[nodiscard]] virtual FolderChoice BrowseForFolder(const std::string& title) = 0;
};

// Reads key "a" of section "a" of the settings file through a 10240-byte buffer, so at most
// 10239 bytes of the value are used (never half a character); `fallback` when the file or the
// key is missing.
[[nodiscard]] std::string ReadSaveFolderSetting(const std::string& settingsFile,
                                                const std::string& fallback);

// Writes key "a" of section "a", keeping every other line of the file. False when the file
// could not be written or the folder has a line break in its name (nothing is written then).
bool WriteSaveFolderSetting(const std::string& settingsFile, const std::string& folder);

// The save folder as the settings file names it, or the default folder when the file, the key or
// its value is missing.
[[nodiscard]] std::string CurrentSaveFolder(const ProgramPaths& paths);

// Run once when the main window has been made, before it is shown: the setting (or the default
// folder, also for an empty value) becomes the save folder and is shown.
void LoadSaveFolder(SaveFolderWindow& window, SaveFolderStore& store, const ProgramPaths& paths);

// Bound to "更改保存目录": the browser's choice, or the default folder when it was cancelled,
// becomes the save folder, is shown, and is written to the settings file in every case. A chosen
// folder that the settings file cannot keep (a line break in its name) or that has no GBK path
// (a character GBK cannot hold) is refused with a message box: the save folder and the file
// stay as they were.
void ChooseSaveFolder(SaveFolderWindow& window, Prompts& prompts, SaveFolderStore& store,
                      const ProgramPaths& paths);

// The message that refuses a folder with a line break in its name, in GBK.
[[nodiscard]] std::string LineBreakInFolderMessage();

// The message that refuses a folder whose name GBK cannot hold, in GBK.
[[nodiscard]] std::string NotInGbkFolderMessage();

// The folder browser's title, in GBK.
[[nodiscard]] std::string ChooseFolderTitle();

}  // namespace ornivel
