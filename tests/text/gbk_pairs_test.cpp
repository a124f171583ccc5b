// Every double-byte pair of code page 936 through this platform's code-page backend, against the
// table that the Linux backend (glibc's iconv) gives: both backends of the seam must read and
// write GBK alike, or a title would be saved under another name on the other platform.
//
// tests/data/cp936_pairs.txt holds one line per lead byte 81..FE, each with 190 entries for the
// trail bytes 40..7E and 80..FE: the UTF-16 units of the pair, "+" between two units.
// ORNIVEL_WRITE_CP936_TABLE=FILE writes this backend's table to FILE instead of comparing.
//
// The one difference, measured under wine64: the platform reads the pairs of code page 936's
// user-defined areas (AAA1-AFFE, F8A1-FEFE, A140-A7A0: 2,149 pairs) as private-use characters
// (U+E000-U+E765) and writes them back as the same pairs, where glibc's table has no such pairs
// and reads them as U+FFFD followed by the trail byte. Every other pair agrees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/platform.h"
#include "text/code_page.h"

namespace ornivel {
namespace {

std::string Pair(int lead, int trail) {
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

std::string Units(const std::u16string& units) {
  std::string entry;
  for (const char16_t unit : units) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%s%04X", entry.empty() ? "" : "+", static_cast<unsigned>(unit));
    entry += hex;
  }
  return entry;
}

std::vector<std::string> BackendTable() {
  std::vector<std::string> lines;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    std::string line;
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      if (!line.empty()) line += ' ';
      line += Units(DecodeCodePage(Pair(lead, trail), kCodePageGbk));
    }
    lines.push_back(line);
  }
  return lines;
}

TEST(GbkPairsTest, EveryDoubleBytePairReadsAsOnLinuxAndWritesBack) {
  const std::vector<std::string> table = BackendTable();
  if (const char* out = std::getenv("ORNIVEL_WRITE_CP936_TABLE")) {
    std::ofstream file(out, std::ios::binary);
    for (const std::string& line : table) file << line << '\n';
    GTEST_SKIP() << "wrote " << out;
  }
  std::ifstream file(ORNIVEL_TEST_DATA_DIR "/cp936_pairs.txt", std::ios::binary);
  ASSERT_TRUE(file) << "tests/data/cp936_pairs.txt";
  std::vector<std::string> reference;
  for (std::string line; std::getline(file, line);) reference.push_back(line);
  ASSERT_EQ(reference.size(), table.size());

  int defined = 0;
  int differences = 0;
  int privateUse = 0;
  for (std::size_t row = 0; row < table.size(); ++row) {
    std::istringstream ours(table[row]);
    std::istringstream theirs(reference[row]);
    const int lead = 0x81 + static_cast<int>(row);
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string mine, onLinux;
      ours >> mine;
      theirs >> onLinux;
      const std::u16string units = DecodeCodePage(Pair(lead, trail), kCodePageGbk);
      if (test::kWindowsBackends && mine != onLinux && onLinux.rfind("FFFD+", 0) == 0 &&
          units.size() == 1 && units[0] >= 0xE000 && units[0] <= 0xF8FF) {
        ++privateUse;  // the platform's user-defined character, see above
        EXPECT_EQ(EncodeCodePage(units, kCodePageGbk), Pair(lead, trail))
            << std::hex << "pair " << lead << ' ' << trail;
        continue;
      }
      if (mine != onLinux) {
        ++differences;
        ADD_FAILURE() << std::hex << "pair " << lead << ' ' << trail << ": this backend " << mine
                      << ", Linux " << onLinux;
        continue;
      }
      // A pair that reads as one character other than U+FFFD writes back as the same two bytes.
      if (units.size() != 1 || units[0] == u'\xFFFD') continue;
      ++defined;
      EXPECT_EQ(EncodeCodePage(units, kCodePageGbk), Pair(lead, trail))
          << std::hex << "pair " << lead << ' ' << trail;
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(privateUse, test::kWindowsBackends ? 2149 : 0);
  // Code page 936 defines some 21,800 double-byte characters (21,791 in glibc's table): a
  // backend that read next to nothing would agree with an empty table.
  EXPECT_GT(defined, 21000);
}

}  // namespace
}  // namespace ornivel
