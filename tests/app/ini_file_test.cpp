#include "app/ini_file.h"

#include <gtest/gtest.h>

namespace ornivel {
namespace {

TEST(IniReadTest, NamesIgnoreCaseAndValuesLoseSpacesAndOneQuotePair) {
  const std::string ini = "; comment\r\n[other]\r\na=wrong\r\n[ A ]\r\n  A  =  \"/music/x\"  \r\nb=2\r\n";
  EXPECT_EQ(IniRead(ini, "a", "a"), "/music/x");
  EXPECT_EQ(IniRead(ini, "A", "b"), "2");
  EXPECT_EQ(IniRead(ini, "other", "a"), "wrong");
  EXPECT_EQ(IniRead("[a]\na='q'\n", "a", "a"), "q");
  EXPECT_EQ(IniRead("[a]\na=\"only one\n", "a", "a"), "\"only one");
  EXPECT_EQ(IniRead("[a]\na=\n", "a", "a"), "");
}

TEST(IniReadTest, MissingSectionOrKey) {
  EXPECT_EQ(IniRead("", "a", "a"), std::nullopt);
  EXPECT_EQ(IniRead("[b]\na=1\n", "a", "a"), std::nullopt);
  EXPECT_EQ(IniRead("a=1\n[a]\nb=1\n", "a", "a"), std::nullopt);  // a key before any section
  EXPECT_EQ(IniRead("[a]\nnot a key line\n", "a", "a"), std::nullopt);
}

TEST(IniWriteTest, ReplacesJustThatLineAndKeepsTheRest) {
  const std::string ini = "; my notes\r\n[a]\r\nA = old\r\nb=2\r\n\r\n[c]\r\nx=1\r\n";
  EXPECT_EQ(IniWrite(ini, "a", "a", "/new"), "; my notes\r\n[a]\r\na=/new\r\nb=2\r\n\r\n[c]\r\nx=1\r\n");
}

TEST(IniWriteTest, AddsTheKeyOrTheSection) {
  EXPECT_EQ(IniWrite("", "a", "a", "/m"), "[a]\r\na=/m\r\n");
  EXPECT_EQ(IniWrite("[a]\nb=2\n\n[c]\nx=1\n", "a", "a", "/m"), "[a]\nb=2\na=/m\n\n[c]\nx=1\n");
  EXPECT_EQ(IniWrite("[c]\nx=1", "a", "a", "/m"), "[c]\nx=1\n[a]\na=/m\n");
  EXPECT_EQ(IniWrite("[c]\r\nx=1", "a", "a", "/m"), "[c]\r\nx=1\r\n[a]\r\na=/m\r\n");
  EXPECT_EQ(IniWrite("[a]", "a", "a", "/m"), "[a]\r\na=/m\r\n");
  // GBK bytes go in and come out as they are.
  const std::string gbk = "/\xD2\xF4\xC0\xD6";
  EXPECT_EQ(IniRead(IniWrite("", "a", "a", gbk), "a", "a"), gbk);
}

}  // namespace
}  // namespace ornivel
