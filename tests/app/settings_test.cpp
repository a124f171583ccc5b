#include "app/settings.h"

#include <gtest/gtest.h>
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/ini_file.h"
#include "tests/support/gbk_path.h"
#include "tests/support/memory_front_end.h"
#include "text/text_convert.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;

// The settings code's window: the save-folder box and a scripted folder browser.
class FakeShell final : public SaveFolderWindow {
 public:
  void ShowSaveFolder(const std::string& folder) override { shown = folder; }
  FolderChoice BrowseForFolder(const std::string& title) override {
    browserTitle = title;
    if (notInGbk) return FolderChoice::NotInGbk();
    return choice ? FolderChoice::Folder(*choice) : FolderChoice::None();
  }

  std::string shown;
  std::string browserTitle;
  std::optional<std::string> choice;
  bool notInGbk = false;  // the user chose a folder whose name GBK cannot hold
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::FreshTestFolder("settings");
    paths_.programDirectory = dir_.string();
    paths_.defaultSaveFolder = dir_.string();
    paths_.settingsFile = (dir_ / "yyst.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  ProgramPaths paths_;
  FakeShell shell_;
  MemoryFrontEnd prompts_;  // records the message boxes
  SaveFolderStore store_;
};

TEST_F(SettingsTest, FirstRunShowsTheProgramFolderAndWritesNothing) {
  (void)LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(shell_.shown, dir_.string());
  EXPECT_EQ(store_.Get(), dir_.string());
  EXPECT_FALSE(fs::exists(dir_ / "yyst.ini"));
}

TEST_F(SettingsTest, EmptyValueMeansTheProgramFolder) {
  std::ofstream(dir_ / "yyst.ini") << "[a]\r\na=\r\n";
  (void)LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), dir_.string());
}

TEST_F(SettingsTest, StoredFolderIsLoaded) {
  std::ofstream(dir_ / "yyst.ini") << "[A]\r\nA = \"/srv/\xD2\xF4\xC0\xD6\"\r\n";
  (void)LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/srv/\xD2\xF4\xC0\xD6");
  EXPECT_EQ(shell_.shown, "/srv/\xD2\xF4\xC0\xD6");
}

TEST_F(SettingsTest, LongValuesAreCutAt10239BytesWithoutSplittingACharacter) {
  std::string value(10238, 'x');
  value += "\xD2\xF4\xC0\xD6";  // a character would straddle the 10239th byte
  std::ofstream(dir_ / "yyst.ini") << "[a]\na=" << value << "\n";
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"), std::string(10238, 'x'));
}

TEST_F(SettingsTest, ChoiceIsStoredShownAndWrittenKeepingTheOtherLines) {
  std::ofstream(dir_ / "yyst.ini")
      << "; hand-edited\r\n[a]\r\na=/old\r\nnote=keep me\r\n[z]\r\nq=1\r\n";
  shell_.choice = "/chosen";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(shell_.browserTitle, ChooseFolderTitle());
  EXPECT_EQ(store_.Get(), "/chosen");
  EXPECT_EQ(shell_.shown, "/chosen");
  EXPECT_EQ(ReadAll(dir_ / "yyst.ini"),
            "; hand-edited\r\n[a]\r\na=/chosen\r\nnote=keep me\r\n[z]\r\nq=1\r\n");
}

TEST_F(SettingsTest, CancelAfterAChoiceGoesBackToTheProgramFolderAndWritesIt) {
  shell_.choice = "/chosen";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  shell_.choice = std::nullopt;
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), dir_.string());
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"), dir_.string());
}

TEST_F(SettingsTest, RootFolderIsKeptAsChosen) {
  shell_.choice.emplace(1, '/');
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/");
  (void)LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/");
}

TEST_F(SettingsTest, WritesLeaveNoTemporaryFilesBehind) {
  shell_.choice = "/a";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, AFolderTheSettingsFileCannotKeepIsNotTakenAndTheUserIsTold) {
  std::ofstream(dir_ / "yyst.ini") << "[a]\r\na=/old\r\nnote=keep me\r\n";
  (void)LoadSaveFolder(shell_, store_, paths_);
  const std::string before = ReadAll(dir_ / "yyst.ini");
  // A read-only file (as a person marks it so, or as Windows' read-only attribute shows it) is
  // not replaced, even by a user whom the system would let replace it.
  fs::permissions(dir_ / "yyst.ini", fs::perms::owner_read | fs::perms::group_read);
  shell_.choice = "/chosen";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/old");
  EXPECT_EQ(shell_.shown, "/old");
  shell_.choice = std::nullopt;  // a cancel would write the program folder: refused as well
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/old");
  EXPECT_EQ(ReadAll(dir_ / "yyst.ini"), before);
  auto messages = prompts_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.text, SettingsUnwritableMessage(FileError::kNoPermission));
    EXPECT_EQ(message.icon, MessageIcon::kError);
  }
  EXPECT_EQ(GbkToUtf8(messages[0].text), "设置文件无法写入：没有权限。保存目录未更改。");
  // The next start has the folder the box showed.
  SaveFolderStore next;
  EXPECT_TRUE(LoadSaveFolder(shell_, next, paths_).size() == 1u);  // /old is not there
  EXPECT_EQ(next.Get(), "/old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  // No folder to write the file in.
  paths_.settingsFile = (dir_ / "missing-folder" / "yyst.ini").string();
  shell_.choice = "/a";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/old");
  messages = prompts_.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2].text, SettingsUnwritableMessage(FileError::kNotFound));
}

TEST_F(SettingsTest, AFileOnAFullOrReadOnlyDiskIsNotTaken) {
  // A small file system of its own, where the test may mount one.
  const fs::path mount = dir_ / "disk";
  fs::create_directory(mount);
  const std::string target = mount.string();
  if (::geteuid() != 0 ||
      std::system(("mount -t tmpfs -o size=16k tmpfs '" + target + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no tmpfs can be mounted here";
  }
  paths_.settingsFile = (mount / "yyst.ini").string();
  shell_.choice = "/first";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  ASSERT_EQ(store_.Get(), "/first");
  {
    std::ofstream fill(mount / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 16 && fill; ++i) fill << block;
  }
  shell_.choice = "/" + std::string(6000, 'y');  // more than the room left
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/first");
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"), "/first");
  fs::remove(mount / "filler");
  ASSERT_EQ(std::system(("mount -o remount,ro '" + target + "'").c_str()), 0);
  shell_.choice = "/second";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/first");
  EXPECT_EQ(std::system(("umount '" + target + "'").c_str()), 0);
  const auto messages = prompts_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, SettingsUnwritableMessage(FileError::kDiskFull));
  EXPECT_EQ(messages[1].text, SettingsUnwritableMessage(FileError::kNoPermission));
}

TEST_F(SettingsTest, AByteOrderMarkBeforeTheSectionIsSkippedAndKept) {
  std::ofstream(dir_ / "yyst.ini", std::ios::binary)
      << "\xEF\xBB\xBF[a]\r\na=/srv/\xD2\xF4\xC0\xD6\r\n";
  EXPECT_TRUE(LoadSaveFolder(shell_, store_, paths_).size() == 1u);  // the folder is not there
  EXPECT_EQ(store_.Get(), "/srv/\xD2\xF4\xC0\xD6");
  shell_.choice = "/chosen";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(ReadAll(dir_ / "yyst.ini"), "\xEF\xBB\xBF[a]\r\na=/chosen\r\n");  // one section
}

TEST_F(SettingsTest, ASettingsFileThatCannotBeReadIsToldAndNotReplaced) {
  // A pipe: read as a file, it would wait for a writer for ever.
  ASSERT_EQ(::mkfifo(paths_.settingsFile.c_str(), 0644), 0);
  const auto start = std::chrono::steady_clock::now();
  std::vector<StartNotice> notices = LoadSaveFolder(shell_, store_, paths_);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(store_.Get(), dir_.string());
  EXPECT_EQ(shell_.shown, dir_.string());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].icon, MessageIcon::kError);
  EXPECT_EQ(GbkToUtf8(notices[0].text), "设置文件无法读取（不是普通文件）：" + paths_.settingsFile +
                                            "。本次使用默认的保存目录。");
  shell_.choice = "/chosen";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), dir_.string());
  EXPECT_TRUE(fs::is_fifo(paths_.settingsFile));
  fs::remove(paths_.settingsFile);

  // A folder of that name.
  fs::create_directory(paths_.settingsFile);
  FileError why = FileError::kNone;
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback", &why), "fallback");
  EXPECT_EQ(why, FileError::kNotAFile);
  fs::remove(paths_.settingsFile);

  // A file its user may not read (mode 000), read by another user than the one running the
  // tests when those run as root, whom no mode stops.
  std::ofstream(paths_.settingsFile) << "[a]\r\na=/kept\r\n";
  fs::permissions(paths_.settingsFile, fs::perms::none);
  fs::permissions(dir_, fs::perms::all);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    FileError error = FileError::kNone;
    const std::string folder = ReadSaveFolderSetting(paths_.settingsFile, "fallback", &error);
    FileError writeError = FileError::kNone;
    const bool written = WriteSaveFolderSetting(paths_.settingsFile, "/other", &writeError);
    ::_exit(folder == "fallback" && error == FileError::kNoPermission && !written &&
                    writeError == FileError::kNoPermission
                ? 0
                : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  fs::permissions(paths_.settingsFile, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadAll(paths_.settingsFile), "[a]\r\na=/kept\r\n");
}

TEST_F(SettingsTest, AValueTypedInUtf8IsReadAsUtf8) {
  // Not GBK at all (周杰伦 in UTF-8 is nine bytes, and ends in half a GBK character).
  std::ofstream(dir_ / "yyst.ini", std::ios::binary) << "[a]\r\na=/srv/周杰伦\r\n";
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"),
            "/srv/\xD6\xDC\xBD\xDC\xC2\xD7");
  // Readable as GBK too (音乐 would be 闊充箰), but only the UTF-8 reading names a folder.
  const fs::path music = dir_ / test::Utf8Path("音乐");
  fs::create_directory(music);
  std::ofstream(dir_ / "yyst.ini", std::ios::binary)
      << "[a]\r\na=" << test::PathUtf8(music) << "\r\n";
  EXPECT_TRUE(LoadSaveFolder(shell_, store_, paths_).empty());
  EXPECT_EQ(store_.Get(), test::GbkPath(music));
  // The GBK reading stands when it names the folder, or when neither does.
  const std::string gbkName = Utf8ToGbk("闊充箰");
  fs::create_directory(dir_ / test::Utf8Path("闊充箰"));
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"),
            test::GbkPath(dir_) + "/" + gbkName);
  std::ofstream(dir_ / "yyst.ini", std::ios::binary) << "[a]\r\na=/nowhere/音乐\r\n";
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"), "/nowhere/" + gbkName);
}

TEST_F(SettingsTest, ASaveFolderThatIsGoneIsToldAtStartAndStillShown) {
  const std::string gone = (dir_ / "gone").string();
  std::ofstream(dir_ / "yyst.ini") << "[a]\r\na=" << gone << "\r\n";
  const std::vector<StartNotice> notices = LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(shell_.shown, gone);
  EXPECT_EQ(store_.Get(), gone);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(GbkToUtf8(notices[0].text), "保存目录不存在：" + gone);
  EXPECT_EQ(notices[0].icon, MessageIcon::kInformation);
  fs::create_directory(gone);
  EXPECT_TRUE(LoadSaveFolder(shell_, store_, paths_).empty());
}

TEST_F(SettingsTest, FoldersWithSpacesOrQuotesAtTheirEndsComeBackWhole) {
  for (const std::string name : {" leading space", "trailing space ", "\"quoted\"", "ends\"",
                                 "\t tab and space \t", "'single'"}) {
    const std::string folder = (dir_ / name).string();
    fs::create_directory(folder);
    shell_.choice = folder;
    ChooseSaveFolder(shell_, prompts_, store_, paths_);
    EXPECT_EQ(store_.Get(), folder);
    // The next start reads it back as it was chosen.
    SaveFolderStore next;
    (void)LoadSaveFolder(shell_, next, paths_);
    EXPECT_EQ(next.Get(), folder) << "[" << name << "]";
    EXPECT_EQ(shell_.shown, folder);
    // The file holds the section line and the key line, nothing else.
    const std::string content = ReadAll(dir_ / "yyst.ini");
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2) << content;
  }
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(SettingsTest, AFolderWithALineBreakIsRefusedAndTheOldOneKept) {
  const std::string old = (dir_ / "old").string();
  shell_.choice = old;
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  const std::string before = ReadAll(dir_ / "yyst.ini");
  for (const std::string name : {"two\nlines", "carriage\rreturn", "ends with a break\n"}) {
    const std::string folder = (dir_ / name).string();
    fs::create_directory(folder);
    shell_.choice = folder;
    ChooseSaveFolder(shell_, prompts_, store_, paths_);
    EXPECT_EQ(store_.Get(), old);
    EXPECT_EQ(shell_.shown, old);
    EXPECT_EQ(ReadAll(dir_ / "yyst.ini"), before);  // no stray line, no change at all
  }
  const auto messages = prompts_.Messages();
  ASSERT_EQ(messages.size(), 3u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.text, LineBreakInFolderMessage());
    EXPECT_EQ(message.icon, MessageIcon::kInformation);
  }
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"), old);
  EXPECT_FALSE(WriteSaveFolderSetting(paths_.settingsFile, old + "\nstray"));
  EXPECT_EQ(ReadAll(dir_ / "yyst.ini"), before);
}

TEST_F(SettingsTest, AFolderGbkCannotNameIsRefusedAndTheOldOneKept) {
  std::ofstream(dir_ / "yyst.ini") << "[a]\r\na=/old\r\nnote=keep me\r\n";
  (void)LoadSaveFolder(shell_, store_, paths_);
  const std::string before = ReadAll(dir_ / "yyst.ini");
  shell_.notInGbk = true;
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/old");  // not the program folder
  EXPECT_EQ(shell_.shown, "/old");
  EXPECT_EQ(ReadAll(dir_ / "yyst.ini"), before);
  const auto messages = prompts_.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, NotInGbkFolderMessage());
  EXPECT_EQ(messages[0].icon, MessageIcon::kInformation);
  // A cancel afterwards still means the program folder.
  shell_.notInGbk = false;
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), dir_.string());
}

// What both front ends make of the path their folder browser gave back (UTF-8).
TEST(FolderChoiceTest, APathGbkCanNameExactlyIsTheFolderAnyOtherIsNotInGbk) {
  const FolderChoice chinese = FolderChoice::FromUtf8Path("C:\\音乐\\周杰伦");
  EXPECT_EQ(chinese.kind, FolderChoice::Kind::kFolder);
  EXPECT_EQ(chinese.folder, "C:\\\xD2\xF4\xC0\xD6\\\xD6\xDC\xBD\xDC\xC2\xD7");
  const FolderChoice plain = FolderChoice::FromUtf8Path("/home/me/Music");
  EXPECT_EQ(plain.kind, FolderChoice::Kind::kFolder);
  EXPECT_EQ(plain.folder, "/home/me/Music");
  // GBK has no ö, no emoji; a malformed name (a lone byte of a sequence) has no exact GBK form.
  for (const char* path : {"/home/me/Björk", "/home/me/\xF0\x9F\x8E\xB5", "/home/me/\xE9"}) {
    SCOPED_TRACE(path);
    const FolderChoice refused = FolderChoice::FromUtf8Path(path);
    EXPECT_EQ(refused.kind, FolderChoice::Kind::kNotInGbk);
    EXPECT_TRUE(refused.folder.empty());
  }
  EXPECT_EQ(FolderChoice::FromUtf8Path("").kind, FolderChoice::Kind::kNone);
}

}  // namespace
}  // namespace ornivel
