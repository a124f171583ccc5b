#pragma once
// A fresh, empty folder for the running test, named after it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace ornivel::test {

inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path folder =
      std::filesystem::path(::testing::TempDir()) / (prefix + "-" + info->name());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace ornivel::test
