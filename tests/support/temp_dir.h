#pragma once
// A fresh, empty folder for the running test, named after it and unique to this run: two runs
// of the same test at once (ctest -j, two build trees) never share one. The test removes it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace ornivel::test {

inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = prefix + "-" + (info != nullptr ? info->name() : "test");
  std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests: "Case/0"
  std::string folder = (std::filesystem::path(::testing::TempDir()) / (name + "-XXXXXX")).string();
  if (::mkdtemp(folder.data()) == nullptr) {
    ADD_FAILURE() << "cannot make a folder like " << folder;
    return {};
  }
  return folder;
}

}  // namespace ornivel::test
