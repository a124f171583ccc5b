#pragma once
// The catalog tests' music folder: in a folder of the test's own, beside the files it must not
// serve, and removed with it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "catalog/library.h"
#include "tests/support/temp_dir.h"

namespace ornivel::catalog {

class MusicFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallLatin1FieldReader();
    base_ = test::FreshTestFolder("catalog");
    root_ = base_ / "music";
    std::filesystem::create_directories(root_);
  }
  void TearDown() override { std::filesystem::remove_all(base_); }

  std::filesystem::path base_;  // holds the music folder and what lies outside it
  std::filesystem::path root_;  // the music folder
};

inline std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace ornivel::catalog
