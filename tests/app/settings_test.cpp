#include "app/settings.h"

#include <gtest/gtest.h>
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <fstream>

namespace ornivel {
namespace {

namespace fs = std::filesystem;

// The settings code's window: the save-folder box and a scripted folder browser.
class FakeShell final : public SaveFolderWindow {
 public:
  void ShowSaveFolder(const std::string& folder) override { shown = folder; }
  std::optional<std::string> BrowseForFolder(const std::string& title) override {
    browserTitle = title;
    return choice;
  }

  std::string shown;
  std::string browserTitle;
  std::optional<std::string> choice;
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
  ChooseSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(shell_.browserTitle, ChooseFolderTitle());
  EXPECT_EQ(store_.Get(), "/chosen");
  EXPECT_EQ(shell_.shown, "/chosen");
  EXPECT_EQ(ReadAll(dir_ / "yyst.ini"),
            "; hand-edited\r\n[a]\r\na=/chosen\r\nnote=keep me\r\n[z]\r\nq=1\r\n");
}

TEST_F(SettingsTest, CancelAfterAChoiceGoesBackToTheProgramFolderAndWritesIt) {
  shell_.choice = "/chosen";
  ChooseSaveFolder(shell_, store_, paths_);
  shell_.choice = std::nullopt;
  ChooseSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), dir_.string());
  EXPECT_EQ(ReadSaveFolderSetting(paths_.settingsFile, "fallback"), dir_.string());
}

TEST_F(SettingsTest, RootFolderIsKeptAsChosen) {
  shell_.choice.emplace(1, '/');
  ChooseSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/");
  LoadSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/");
}

TEST_F(SettingsTest, WritesLeaveNoTemporaryFilesBehind) {
  shell_.choice = "/a";
  ChooseSaveFolder(shell_, store_, paths_);
  ChooseSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, UnwritableSettingsFileIsIgnored) {
  paths_.settingsFile = (dir_ / "missing-folder" / "yyst.ini").string();
  shell_.choice = "/a";
  ChooseSaveFolder(shell_, store_, paths_);
  EXPECT_EQ(store_.Get(), "/a");  // still used for the rest of the run
}

}  // namespace
}  // namespace ornivel
