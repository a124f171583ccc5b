#include "catalog/file_beneath.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace ornivel::catalog {
namespace {

namespace fs = std::filesystem;

std::string Contents(const OpenedFile& file) {
  std::string bytes(file.size, '\0');
  const ssize_t n = ::pread(file.fd.get(), bytes.data(), bytes.size(), 0);
  return n < 0 ? "" : bytes.substr(0, static_cast<std::size_t>(n));
}

// The music folder inside a folder of the test's own, beside an outside file and an outside
// folder holding a file of the same name as one inside.
class FileBeneathTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    base_ = test::FreshTestFolder("beneath");
    root_ = base_ / "music";
    fs::create_directories(root_ / "sub");
    fs::create_directories(base_ / "elsewhere");
    std::ofstream(root_ / "song.mp3") << "inside song";
    std::ofstream(root_ / "sub/deep.mp3") << "inside deep";
    std::ofstream(base_ / "secret.txt") << "outside secret";
    std::ofstream(base_ / "elsewhere/deep.mp3") << "outside deep";
    folder_ = OpenFolder(root_.c_str());
    ASSERT_TRUE(folder_);
  }
  void TearDown() override { fs::remove_all(base_); }

  // The way under test: the kernel's resolution beneath the folder, or the component walk.
  OpenedFile Open(std::string_view path) {
    return GetParam() ? OpenBeneathByWalk(folder_.get(), path) : OpenBeneath(folder_.get(), path);
  }

  fs::path base_, root_;
  FileDescriptor folder_;
};

TEST_P(FileBeneathTest, OpensFilesOfTheFolderWithTheirLength) {
  const OpenedFile file = Open("sub/deep.mp3");
  ASSERT_TRUE(file.fd);
  EXPECT_EQ(file.size, 11u);
  EXPECT_EQ(Contents(file), "inside deep");
}

TEST_P(FileBeneathTest, AFileOrAFolderSwappedForALinkOutOfTheFolderIsNotOpened) {
  fs::remove(root_ / "song.mp3");
  fs::create_symlink(base_ / "secret.txt", root_ / "song.mp3");
  fs::remove_all(root_ / "sub");
  fs::create_symlink(base_ / "elsewhere", root_ / "sub");
  // A relative link through ".." is refused as well as an absolute one.
  fs::create_symlink("../secret.txt", root_ / "relative.mp3");
  for (const char* path : {"song.mp3", "sub/deep.mp3", "relative.mp3"}) {
    const OpenedFile file = Open(path);
    EXPECT_FALSE(file.fd) << path << ": " << Contents(file);
  }
}

TEST_P(FileBeneathTest, LoopsOddNamesAndWhatIsNoRegularFileAreRefused) {
  fs::create_symlink("loop-b.mp3", root_ / "loop-a.mp3");
  fs::create_symlink("loop-a.mp3", root_ / "loop-b.mp3");
  ASSERT_EQ(::mkfifo((root_ / "pipe.mp3").c_str(), 0600), 0);  // would block a plain open
  for (const char* path : {"loop-a.mp3", "pipe.mp3", "sub", "", "/song.mp3", "./song.mp3",
                           "sub/../song.mp3", "sub//deep.mp3", "../secret.txt", "missing.mp3"}) {
    EXPECT_FALSE(Open(path).fd) << "'" << path << "'";
  }
}

TEST_P(FileBeneathTest, LinksInsideTheFolderAreFollowedOnlyWhereTheKernelResolvesBeneath) {
  fs::create_symlink("sub/deep.mp3", root_ / "inner-link.mp3");
  const OpenedFile file = Open("inner-link.mp3");
  if (GetParam()) {
    EXPECT_FALSE(file.fd);  // the walk follows no link at all
  } else {
    ASSERT_TRUE(file.fd);
    EXPECT_EQ(Contents(file), "inside deep");
  }
}

INSTANTIATE_TEST_SUITE_P(BothWays, FileBeneathTest, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "Walk" : "Openat2"; });

}  // namespace
}  // namespace ornivel::catalog
