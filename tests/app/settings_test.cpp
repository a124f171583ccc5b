#include "app/settings.h"

#include <gtest/gtest.h>
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/ini_file.h"
#include "tests/support/memory_front_end.h"

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
  LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(shell_.shown, dir_.string());
  EXPECT_EQ(store_.Get(), dir_.string());
  EXPECT_FALSE(fs::exists(dir_ / "yyst.ini"));
}

TEST_F(SettingsTest, EmptyValueMeansTheProgramFolder) {
  std::ofstream(dir_ / "yyst.ini") << "[a]\r\na=\r\n";
  LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), dir_.string());
}

TEST_F(SettingsTest, StoredFolderIsLoaded) {
  std::ofstream(dir_ / "yyst.ini") << "[A]\r\nA = \"/srv/\xD2\xF4\xC0\xD6\"\r\n";
  LoadSaveFolder(shell_, store_, paths_);
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
  LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/");
}

TEST_F(SettingsTest, WritesLeaveNoTemporaryFilesBehind) {
  shell_.choice = "/a";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, UnwritableSettingsFileIsIgnored) {
  paths_.settingsFile = (dir_ / "missing-folder" / "yyst.ini").string();
  shell_.choice = "/a";
  ChooseSaveFolder(shell_, prompts_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/a");  // still used for the rest of the run
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
    LoadSaveFolder(shell_, next, paths_);
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
  LoadSaveFolder(shell_, store_, paths_);
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
