// The download's file system, the same tests on every platform: files made only where nothing
// of that name exists, renames that never replace, existence of files and folders, song-sized
// writes in uneven pieces, atomic replacement of the settings file, and GBK names with Chinese
// characters that reach the disk as those characters. On Windows the tests also run with a
// system code page other than 936, where only the W functions with an explicit conversion get
// such names right.
#include "service/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "service/song_download.h"
#include "tests/support/gbk.h"
#include "tests/support/gbk_path.h"
#include "tests/support/platform.h"
#include "tests/support/song_bytes.h"
#include "tests/support/temp_dir.h"

namespace ornivel {
namespace {

namespace fs = std::filesystem;
using test::Gbk;
using test::GbkPath;
using test::Holds;
using test::Utf8Path;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The names in `folder`, as UTF-8.
std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(test::PathUtf8(entry.path().filename()));
  }
  return names;
}

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = test::FreshTestFolder("file-system"); }
  void TearDown() override { fs::remove_all(folder_); }

  // A name in the test's folder as the program writes it: GBK, joined with its separator.
  std::string In(const std::string& utf8Name) const {
    return JoinPath(GbkPath(folder_), Gbk(utf8Name));
  }
  fs::path Native(const std::string& utf8Name) const { return folder_ / Utf8Path(utf8Name); }

  fs::path folder_;
};

TEST_F(FileSystemTest, JoinPathAddsThePlatformsSeparator) {
  // Windows joins with "\", Linux with "/"; one is added also after a folder that ends in one.
  const char separator = test::kWindowsBackends ? '\\' : '/';
  EXPECT_EQ(kPathSeparator, separator);
  EXPECT_EQ(JoinPath("music", "a.mp3"), std::string("music") + separator + "a.mp3");
  EXPECT_EQ(JoinPath(std::string("music") + separator, "a.mp3"),
            std::string("music") + separator + separator + "a.mp3");
  EXPECT_EQ(JoinPath(Gbk("音乐"), Gbk("東風破.mp3")), Gbk("音乐") + separator + Gbk("東風破.mp3"));
}

TEST(PlainFileNameTest, DeviceNamesAndStreamSyntaxNameNoFileOnWindows) {
  // Names every platform takes as files of the folder.
  for (const std::string name : {"MUSIC_1.mp3", "CONSOLE.1.part", "COM0.mp3", "COM10", "LPT",
                                 "nul_1", "a.con", "xNUL.mp3"}) {
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  }
  // On Windows a device, in any letter case and whatever follows the first dot, or a stream
  // ("a:b") or a wildcard; on Linux ordinary names.
  for (const std::string name :
       {"NUL", "nul.1.part", "CON", "Con.mp3", "PRN", "AUX.x", "COM1", "com9.1.part", "LPT1",
        "lpt5.mp3", "CONIN$", "conout$.mp3", "a:b", "x<y", "x>y", "x\"y", "x|y", "x?y", "x*y"}) {
    EXPECT_EQ(IsPlainFileName(name), !test::kWindowsBackends) << name;
    EXPECT_EQ(IsSafeIdentifier(name), !test::kWindowsBackends) << name;
  }
  EXPECT_FALSE(IsPlainFileName("a/b"));
}

TEST_F(FileSystemTest, NewFileIsMadeOnlyWhereNothingOfThatNameExists) {
  std::ofstream(Native("kept.mp3"), std::ios::binary) << "kept";
  fs::create_directory(Native("folder.mp3"));
  // A taken name is told apart from every other failure: the download's search for a free
  // temporary name goes on only past taken ones.
  for (const auto& [name, error] : std::vector<std::pair<std::string, FileError>>{
           {"kept.mp3", FileError::kNameTaken},
           {"folder.mp3", FileError::kNameTaken},
           {"missing folder/a.mp3", FileError::kNotFound},
           {"kept.mp3/a.mp3", FileError::kNotFound},  // through a file
           {std::string(300, 'x') + ".part", FileError::kBadName},
       }) {
    SCOPED_TRACE(name.substr(0, 40));
    FileError why = FileError::kNone;
    EXPECT_EQ(CreateNewFile(In(name), &why), nullptr);
    EXPECT_EQ(why, error);
  }
  EXPECT_TRUE(Holds(Native("kept.mp3"), "kept"));

  auto file = CreateNewFile(In("new.mp3"));
  ASSERT_NE(file, nullptr);
  // The name is taken from the moment the file is made, before anything is written.
  EXPECT_TRUE(PathExists(In("new.mp3")));
  EXPECT_EQ(CreateNewFile(In("new.mp3")), nullptr);
  ASSERT_TRUE(file->Write(Bytes("ID3")));
  ASSERT_TRUE(file->Write(Bytes("song")));
  ASSERT_TRUE(file->Finish());
  EXPECT_TRUE(Holds(Native("new.mp3"), "ID3song"));
  EXPECT_FALSE(file->Write(Bytes("late")));  // finished files take nothing more
  EXPECT_TRUE(Holds(Native("new.mp3"), "ID3song"));

  // An empty file is still a file.
  auto empty = CreateNewFile(In("empty.mp3"));
  ASSERT_NE(empty, nullptr);
  ASSERT_TRUE(empty->Finish());
  EXPECT_TRUE(Holds(Native("empty.mp3"), ""));

  // Removed: open or finished, the file is gone and its name free again.
  auto removed = CreateNewFile(In("removed.part"));
  ASSERT_NE(removed, nullptr);
  ASSERT_TRUE(removed->Write(Bytes("half a song")));
  removed->Remove();
  EXPECT_FALSE(PathExists(In("removed.part")));
  file->Remove();
  EXPECT_FALSE(PathExists(In("new.mp3")));
  EXPECT_EQ(FileNames(folder_), (std::set<std::string>{"empty.mp3", "folder.mp3", "kept.mp3"}));
}

TEST_F(FileSystemTest, SongSizedFileKeepsEveryByteWhateverThePieces) {
  const std::string song = test::RandomBytes(test::kSongSize, 4);
  std::vector<std::size_t> pieces = test::UnevenPieces(song.size() - (3 << 20), 5);
  pieces.insert(pieces.begin() + 3, (2 << 20) + 17);  // more than the write buffer, in one go
  pieces.insert(pieces.begin() + 5, (1 << 20) - 17);
  auto file = CreateNewFile(In("MUSIC_1.1.part"));
  ASSERT_NE(file, nullptr);
  std::size_t offset = 0;
  for (std::size_t piece : pieces) {
    ASSERT_TRUE(file->Write(Bytes(song).subspan(offset, piece)));
    offset += piece;
  }
  ASSERT_EQ(offset, song.size());
  ASSERT_TRUE(file->Finish());
  EXPECT_TRUE(Holds(Native("MUSIC_1.1.part"), song));
  EXPECT_EQ(ReadFileBytes(In("MUSIC_1.1.part")), song);
}

TEST_F(FileSystemTest, RenameNeverReplacesAFileOrAFolder) {
  std::ofstream(Native("new"), std::ios::binary) << "new";
  std::ofstream(Native("kept"), std::ios::binary) << "kept";
  fs::create_directory(Native("folder"));
  EXPECT_FALSE(RenameNoReplace(In("new"), In("kept")));
  EXPECT_FALSE(RenameNoReplace(In("new"), In("folder")));
  EXPECT_FALSE(RenameNoReplace(In("missing"), In("free")));
  EXPECT_TRUE(Holds(Native("kept"), "kept"));
  EXPECT_TRUE(fs::is_empty(Native("folder")));
  EXPECT_TRUE(RenameNoReplace(In("new"), In("free")));
  EXPECT_EQ(FileNames(folder_), (std::set<std::string>{"folder", "free", "kept"}));
  EXPECT_TRUE(Holds(Native("free"), "new"));
}

TEST_F(FileSystemTest, ExistenceOfFilesAndFolders) {
  std::ofstream(Native("abc.mp3")) << "x";
  fs::create_directory(Native("sub"));
  EXPECT_TRUE(PathExists(In("abc.mp3")));
  EXPECT_TRUE(PathExists(In("sub")));
  EXPECT_TRUE(PathExists(GbkPath(folder_)));
  EXPECT_FALSE(PathExists(In("abd.mp3")));
  EXPECT_FALSE(PathExists(In("missing/abc.mp3")));
  // Wildcards name nothing: no file is called "a?c.mp3" or "*", whatever files there are.
  EXPECT_FALSE(PathExists(In("a?c.mp3")));
  EXPECT_FALSE(PathExists(In("*")));
  EXPECT_FALSE(PathExists(In("sub") + kPathSeparator + "*"));
  EXPECT_FALSE(PathExists(""));
}

TEST_F(FileSystemTest, ChineseNamesReachTheDiskAsTheirCharacters) {
  // GBK double-byte characters whose trail bytes are "|" (東, 7C) and "\" (誠, 5C), the euro sign
  // (GBK 80), and a folder of Chinese characters with a space.
  const std::string folderName = "下载 音乐";
  const std::string name = "周杰伦 - 東風破 真誠 €.mp3";
  fs::create_directory(Native(folderName));
  const std::string folder = In(folderName);
  ASSERT_EQ(folder, JoinPath(GbkPath(folder_), Gbk(folderName)));
  const std::string path = JoinPath(folder, Gbk(name));

  EXPECT_FALSE(PathExists(path));
  auto file = CreateNewFile(path);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write(Bytes("ID3 song")));
  ASSERT_TRUE(file->Finish());
  // On the disk under its own characters, not under bytes read in another code page.
  EXPECT_EQ(FileNames(Native(folderName)), std::set<std::string>{name});
  EXPECT_TRUE(Holds(Native(folderName) / Utf8Path(name), "ID3 song"));
  EXPECT_TRUE(PathExists(path));
  EXPECT_EQ(ReadFileBytes(path), "ID3 song");
  EXPECT_EQ(CreateNewFile(path), nullptr);

  // Numbered, as a second download of the song is.
  const std::string numbered = JoinPath(folder, Gbk("周杰伦 - 東風破 真誠 €(1).mp3"));
  std::ofstream(Native(folderName) / Utf8Path("周杰伦 - 東風破 真誠 €(1).mp3")) << "other";
  EXPECT_FALSE(RenameNoReplace(path, numbered));
  const std::string second = JoinPath(folder, Gbk("周杰伦 - 東風破 真誠 €(2).mp3"));
  ASSERT_TRUE(RenameNoReplace(path, second));
  EXPECT_EQ(
      FileNames(Native(folderName)),
      (std::set<std::string>{"周杰伦 - 東風破 真誠 €(1).mp3", "周杰伦 - 東風破 真誠 €(2).mp3"}));
  EXPECT_FALSE(PathExists(path));
  EXPECT_TRUE(Holds(Native(folderName) / Utf8Path("周杰伦 - 東風破 真誠 €(2).mp3"), "ID3 song"));

  // The settings file in a Chinese folder, its value Chinese too.
  const std::string settings = JoinPath(folder, "yyst.ini");
  const std::string content = "[a]\r\na=" + Gbk("D:\\音乐\\東風") + "\r\n";
  ASSERT_TRUE(WriteFileAtomically(settings, content));
  EXPECT_EQ(ReadFileBytes(settings), content);
  EXPECT_TRUE(Holds(Native(folderName) / "yyst.ini", content));
}

TEST_F(FileSystemTest, AtomicWriteReplacesTheWholeFileAndLeavesNothingBeside) {
  const std::string settings = In("yyst.ini");
  EXPECT_EQ(ReadFileBytes(settings), std::nullopt);
  ASSERT_TRUE(WriteFileAtomically(settings, "[a]\r\na=first, and a longer value\r\n"));
  EXPECT_EQ(ReadFileBytes(settings), "[a]\r\na=first, and a longer value\r\n");
  ASSERT_TRUE(WriteFileAtomically(settings, "[a]\r\na=2\r\n"));
  EXPECT_EQ(ReadFileBytes(settings), "[a]\r\na=2\r\n");
  ASSERT_TRUE(WriteFileAtomically(settings, ""));
  EXPECT_EQ(ReadFileBytes(settings), "");
  // Many times over: no temporary file is left beside it.
  for (int n = 0; n < 50; ++n) {
    ASSERT_TRUE(WriteFileAtomically(settings, "a=" + std::to_string(n)));
  }
  EXPECT_EQ(ReadFileBytes(settings), "a=49");
  EXPECT_EQ(FileNames(folder_), std::set<std::string>{"yyst.ini"});

  // A folder that does not exist takes nothing, and a folder is no file to read.
  EXPECT_FALSE(WriteFileAtomically(In("missing/yyst.ini"), "a=1"));
  EXPECT_FALSE(fs::exists(Native("missing")));
  EXPECT_EQ(ReadFileBytes(GbkPath(folder_)), std::nullopt);
}

TEST_F(FileSystemTest, ReadingTakesTheWholeFileOfAnySize) {
  const std::string song = test::RandomBytes((3 << 20) + 7, 9);
  std::ofstream(Native("song.mp3"), std::ios::binary) << song;
  const auto read = ReadFileBytes(In("song.mp3"));
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(*read == song) << read->size() << " bytes read of " << song.size();
  // A file held open for writing by someone else can still be read.
  std::ofstream held(Native("yyst.ini"), std::ios::binary);
  held << "a=old" << std::flush;
  EXPECT_EQ(ReadFileBytes(In("yyst.ini")), "a=old");
}

}  // namespace
}  // namespace ornivel
