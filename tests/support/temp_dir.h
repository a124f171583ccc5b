#pragma once
// A fresh, empty folder for the running test, named after it and unique to this run: two runs
// of the same test at once (ctest -j, two build trees) never share one. The test removes it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace ornivel::test {

inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = prefix + "-" + (info != nullptr ? info->name() : "test");
  std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests: "Case/0"
  const std::filesystem::path base(::testing::TempDir());
  std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix(8, 'x');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    // Made here or not at all: a folder of that name that already exists is someone else's.
    std::error_code error;
    const std::filesystem::path folder = base / (name + "-" + suffix);
    if (std::filesystem::create_directory(folder, error)) return folder;
    if (error) break;
  }
  ADD_FAILURE() << "cannot make a folder like " << (base / (name + "-XXXXXXXX")).string();
  return {};
}

}  // namespace ornivel::test
