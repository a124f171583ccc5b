#pragma once
// Song-sized bytes for transfer tests: random bytes that show any byte lost, repeated or moved,
// the uneven pieces they travel in, and a check of a file's content that says where it parts
// from the expected bytes instead of printing megabytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace ornivel::test {

// A little over 9 MiB: more than one write-back step of the Linux file code and nine write
// buffers.
inline constexpr std::size_t kSongSize = (9 << 20) + 12345;

inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; i += 4) {
    const auto word = static_cast<std::uint32_t>(generator());
    for (std::size_t k = 0; k < 4 && i + k < size; ++k) {
      bytes[i + k] = static_cast<char>((word >> (8 * k)) & 0xFF);
    }
  }
  // A song never begins as a text document does (blanks, "<" or "{"), which a download refuses:
  // such a first byte becomes an MP3 frame's first.
  if (!bytes.empty() &&
      std::string_view(" \t\r\n\f\v<{").find(bytes[0]) != std::string_view::npos) {
    bytes[0] = static_cast<char>(0xFF);
  }
  return bytes;
}

// Piece sizes adding up to `total`: single bytes, sizes around the 1 MiB write buffer (those
// that fit), and random ones up to 640 KiB, in a shuffled order.
inline std::vector<std::size_t> UnevenPieces(std::size_t total, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<std::size_t> pieces;
  std::size_t sum = 0;
  for (std::size_t piece : {1, 2, 3, 4095, 65537, (1 << 20) - 1, 1 << 20, (1 << 20) + 1}) {
    if (sum + piece > total) continue;
    pieces.push_back(piece);
    sum += piece;
  }
  std::uniform_int_distribution<std::size_t> size(1, 640 << 10);
  while (sum < total) {
    pieces.push_back(std::min(size(generator), total - sum));
    sum += pieces.back();
  }
  std::shuffle(pieces.begin(), pieces.end(), generator);
  return pieces;
}

inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether the file holds exactly `bytes`; a failure says where they part, not what megabytes hold.
inline ::testing::AssertionResult Holds(const std::filesystem::path& path,
                                        const std::string& bytes) {
  if (!std::filesystem::is_regular_file(path)) {
    return ::testing::AssertionFailure() << path << " is no file";
  }
  const std::string text = FileText(path);
  if (text == bytes) return ::testing::AssertionSuccess();
  const auto [at, ignored] = std::mismatch(text.begin(), text.end(), bytes.begin(), bytes.end());
  return ::testing::AssertionFailure()
         << path << " holds " << text.size() << " bytes where " << bytes.size()
         << " were expected, the first different one at " << (at - text.begin());
}

}  // namespace ornivel::test
