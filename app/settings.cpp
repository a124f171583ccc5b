#include "app/settings.h"

#include "app/ini_file.h"
#include "service/file_system.h"
#include "text/gbk_text.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

// The longest value read: the value and its terminating NUL fill a 10240-byte buffer.
constexpr std::size_t kLongestValue = 10239;

// The first `limit` bytes of `text`, without a double-byte character cut in half.
std::string CutAtCharacter(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + GbkCharLength(text, end);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end);
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

std::string ReadSaveFolderSetting(const std::string& settingsFile, const std::string& fallback) {
  const auto content = ReadFileBytes(settingsFile);
  if (!content) return fallback;
  const auto value = IniRead(*content, "a", "a");
  if (!value) return fallback;
  return CutAtCharacter(*value, kLongestValue);
}

bool WriteSaveFolderSetting(const std::string& settingsFile, const std::string& folder) {
  if (!IniCanHold(folder)) return false;
  const std::string content = ReadFileBytes(settingsFile).value_or(std::string());
  return WriteFileAtomically(settingsFile, IniWrite(content, "a", "a", folder));
}

std::string CurrentSaveFolder(const ProgramPaths& paths) {
  std::string folder = ReadSaveFolderSetting(paths.settingsFile, paths.defaultSaveFolder);
  return folder.empty() ? paths.defaultSaveFolder : folder;
}

void LoadSaveFolder(SaveFolderWindow& window, SaveFolderStore& store, const ProgramPaths& paths) {
  const std::string folder = CurrentSaveFolder(paths);
  store.Set(folder);
  window.ShowSaveFolder(folder);
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
  // A cancelled browser means the default folder, not the folder chosen before.
  const std::string folder = isFolder ? chosen.folder : paths.defaultSaveFolder;
  store.Set(folder);
  window.ShowSaveFolder(folder);
  (void)WriteSaveFolderSetting(paths.settingsFile, folder);
}

}  // namespace ornivel
