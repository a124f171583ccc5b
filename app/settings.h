#pragma once
// The save folder: the program's one setting, kept in yyst.ini (section "a", key "a", GBK).

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_paths.h"
#include "service/file_error.h"
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
// key is missing, or when the file is there but cannot be read (then `why`, when given, says
// why; it is kNone otherwise). A byte-order mark before the first section is no part of it. The
// file is GBK, but a value a person typed in UTF-8 is read as UTF-8: when GBK cannot read it, or
// when only the UTF-8 reading names a folder.
[[nodiscard]] std::string ReadSaveFolderSetting(const std::string& settingsFile,
                                                const std::string& fallback,
                                                FileError* why = nullptr);

// Writes key "a" of section "a", keeping every other line of the file. False, with the reason
// in `why` when given, when the file could not be written, when it is there but cannot be read
// (its other lines would be lost), or when the folder has a line break in its name; the file is
// unchanged then.
bool WriteSaveFolderSetting(const std::string& settingsFile, const std::string& folder,
                            FileError* why = nullptr);

// The save folder as the settings file names it, or the default folder when the file, the key or
// its value is missing, or the file cannot be read (`why` as for ReadSaveFolderSetting).
[[nodiscard]] std::string CurrentSaveFolder(const ProgramPaths& paths, FileError* why = nullptr);

// A message for the user once the main window is up.
struct StartNotice {
  std::string text;  // GBK
  MessageIcon icon = MessageIcon::kInformation;
};

// Run once when the main window has been made, before it is shown: the setting (or the default
// folder, also for an empty value) becomes the save folder and is shown. What the user should
// know comes back, to be shown once the window is up: a settings file that is there but cannot
// be read, and a save folder that does not exist (still shown in its box).
[[nodiscard]] std::vector<StartNotice> LoadSaveFolder(SaveFolderWindow& window,
                                                      SaveFolderStore& store,
                                                      const ProgramPaths& paths);

// Bound to "更改保存目录": the browser's choice, or the default folder when it was cancelled,
// is written to the settings file and then becomes the save folder and is shown. A chosen
// folder that the settings file cannot keep (a line break in its name) or that has no GBK path
// (a character GBK cannot hold), and any folder when the settings file cannot be written, are
// refused with a message box: the save folder and the file stay as they were.
void ChooseSaveFolder(SaveFolderWindow& window, Prompts& prompts, SaveFolderStore& store,
                      const ProgramPaths& paths);

// The messages of a settings file that cannot be read or written, and of a save folder that is
// not there, in GBK.
[[nodiscard]] std::string SettingsUnreadableMessage(const std::string& settingsFile, FileError why);
[[nodiscard]] std::string SettingsUnwritableMessage(FileError why);
[[nodiscard]] std::string SaveFolderMissingMessage(const std::string& folder);

// The message that refuses a folder with a line break in its name, in GBK.
[[nodiscard]] std::string LineBreakInFolderMessage();

// The message that refuses a folder whose name GBK cannot hold, in GBK.
[[nodiscard]] std::string NotInGbkFolderMessage();

// The folder browser's title, in GBK.
[[nodiscard]] std::string ChooseFolderTitle();

}  // namespace ornivel
