#include "app/settings.h"

#include "app/ini_file.h"
#include "service/file_system.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

// The longest value read: the value and its terminating NUL fill a 10240-byte buffer.
constexpr std::size_t kLongestValue = 10239;

// A value as the person who typed it meant it. The file is GBK, but a value typed in UTF-8 by
// hand is UTF-8: when GBK cannot read it, or when only the UTF-8 reading names a folder (the
// same bytes read as GBK are often other characters: 音乐 becomes 闊充箰).
std::string FolderAsTyped(std::string value) {
  const std::optional<std::string> utf8 = Utf8ToGbkExactly(value);
  if (!utf8 || *utf8 == value) return value;  // not UTF-8, or ASCII alone
  if (!IsWellFormedGbk(value) || (!IsFolder(value) && IsFolder(*utf8))) return *utf8;
  return value;
}

}  // namespace

FolderChoice FolderChoice::FromUtf8Path(std::string_view utf8) {
  if (utf8.empty()) return None();
  std::optional<std::string> gbk = Utf8ToGbkExactly(utf8);
  return gbk ? Folder(std::move(*gbk)) : NotInGbk();
}

std::string SaveFolderStore::Get() const {
  std::lock_guard lock(mutex_);
  return folder_;
}

void SaveFolderStore::Set(std::string folder) {
  std::lock_guard lock(mutex_);
  folder_ = std::move(folder);
}

std::string ChooseFolderTitle() {
  return Utf8ToGbk("请选择要保存的文件夹");
}

std::string LineBreakInFolderMessage() {
  return Utf8ToGbk("所选文件夹的名称中含有换行符，无法记入设置文件，保存目录未更改。");
}

std::string NotInGbkFolderMessage() {
  return Utf8ToGbk("所选文件夹的名称中含有本程序无法使用的字符，保存目录未更改。");
}

std::string SettingsUnreadableMessage(const std::string& settingsFile, FileError why) {
  return Utf8ToGbk("设置文件无法读取（")
      .append(FileErrorWords(why))
      .append(Utf8ToGbk("）："))
      .append(settingsFile);
}

std::string SettingsUnwritableMessage(FileError why) {
  return Utf8ToGbk("设置文件无法写入：")
      .append(FileErrorWords(why))
      .append(Utf8ToGbk("。保存目录未更改。"));
}

std::string SaveFolderMissingMessage(const std::string& folder) {
  return Utf8ToGbk("保存目录不存在：").append(folder);
}

std::string ReadSaveFolderSetting(const std::string& settingsFile, const std::string& fallback,
                                  FileError* why) {
  FileError error = FileError::kNone;
  const auto content = ReadFileBytes(settingsFile, &error);
  // No file is no error: the program has never been given a folder.
  Tell(why, error == FileError::kNotFound ? FileError::kNone : error);
  if (!content) return fallback;
  const auto value = IniRead(*content, "a", "a");
  if (!value) return fallback;
  return FolderAsTyped(std::string(CutAtCharacter(*value, kLongestValue)));
}

bool WriteSaveFolderSetting(const std::string& settingsFile, const std::string& folder,
                            FileError* why) {
  Tell(why, FileError::kNone);
  if (!IniCanHold(folder)) {
    Tell(why, FileError::kBadName);
    return false;
  }
  FileError error = FileError::kNone;
  const std::optional<std::string> content = ReadFileBytes(settingsFile, &error);
  if (!content && error != FileError::kNotFound) {
    Tell(why, error);
    return false;
  }
  return WriteFileAtomically(settingsFile,
                             IniWrite(content.value_or(std::string()), "a", "a", folder), why);
}

std::string CurrentSaveFolder(const ProgramPaths& paths, FileError* why) {
  std::string folder = ReadSaveFolderSetting(paths.settingsFile, paths.defaultSaveFolder, why);
  return folder.empty() ? paths.defaultSaveFolder : folder;
}

std::vector<StartNotice> LoadSaveFolder(SaveFolderWindow& window, SaveFolderStore& store,
                                        const ProgramPaths& paths) {
  FileError why = FileError::kNone;
  const std::string folder = CurrentSaveFolder(paths, &why);
  store.Set(folder);
  window.ShowSaveFolder(folder);
  std::vector<StartNotice> notices;
  if (why != FileError::kNone) {
    notices.push_back({SettingsUnreadableMessage(paths.settingsFile, why) +
                           Utf8ToGbk("。本次使用默认的保存目录。"),
                       MessageIcon::kError});
  }
  if (!IsFolder(folder)) {
    notices.push_back({SaveFolderMissingMessage(folder), MessageIcon::kInformation});
  }
  return notices;
}

void ChooseSaveFolder(SaveFolderWindow& window, Prompts& prompts, SaveFolderStore& store,
                      const ProgramPaths& paths) {
  const FolderChoice chosen = window.BrowseForFolder(ChooseFolderTitle());
  // The program names files in GBK: a folder without a GBK path cannot be saved into, and the
  // one chosen before is kept rather than silently replaced.
  if (chosen.kind == FolderChoice::Kind::kNotInGbk) {
    prompts.ShowMessage(NotInGbkFolderMessage(), MessageIcon::kInformation);
    return;
  }
  const bool isFolder = chosen.kind == FolderChoice::Kind::kFolder && !chosen.folder.empty();
  // A Linux folder name may hold a line break; the settings file cannot, and a folder that could
  // not be read back next time is not taken at all.
  if (isFolder && !IniCanHold(chosen.folder)) {
    prompts.ShowMessage(LineBreakInFolderMessage(), MessageIcon::kInformation);
    return;
  }
  // A cancelled browser means the default folder, not the folder chosen before. A folder that
  // could not be kept would be gone at the next start: it is not taken now either.
  const std::string folder = isFolder ? chosen.folder : paths.defaultSaveFolder;
  FileError why = FileError::kNone;
  if (!WriteSaveFolderSetting(paths.settingsFile, folder, &why)) {
    prompts.ShowMessage(SettingsUnwritableMessage(why), MessageIcon::kError);
    return;
  }
  store.Set(folder);
  window.ShowSaveFolder(folder);
}

}  // namespace ornivel
