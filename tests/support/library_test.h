#pragma once
// A test over the small library (mp3_files.h) served by ornivel-catalog: a fresh folder with the
// library in music_ and an empty save_, and the catalog over it; both go after the test.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "tests/support/catalog_process.h"
#include "tests/support/mp3_files.h"

namespace ornivel::test {

class SmallLibraryTest : public ::testing::Test {
 protected:
  explicit SmallLibraryTest(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    const LibraryFolders folders = MakeSmallLibraryFolders(prefix_);
    base_ = folders.base;
    music_ = folders.music;
    save_ = folders.save;
    StartCatalog();
  }
  void TearDown() override {
    catalog_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
  }

  // Starts the catalog over music_ as it is now, in place of one already running.
  void StartCatalog() {
    catalog_ = std::make_unique<CatalogProcess>(music_);
    ASSERT_FALSE(catalog_->host().empty()) << "ornivel-catalog did not start: " << ORNIVEL_CATALOG;
  }

  std::filesystem::path base_, music_, save_;
  std::unique_ptr<CatalogProcess> catalog_;

 private:
  std::string prefix_;
};

}  // namespace ornivel::test
