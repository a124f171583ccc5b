#include "app/ini_file.h"

#include <gtest/gtest.h>

namespace ornivel {
namespace {

TEST(IniReadTest, NamesIgnoreCaseAndValuesLoseSpacesAndOneQuotePair) {
  const std::string ini =
      "; comment\r\n[other]\r\na=wrong\r\n[ A ]\r\n  A  =  \"/music/x\"  \r\nb=2\r\n";
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
  EXPECT_EQ(IniWrite(ini, "a", "a", "/new"),
            "; my notes\r\n[a]\r\na=/new\r\nb=2\r\n\r\n[c]\r\nx=1\r\n");
}

TEST(IniTest, AByteOrderMarkIsNoPartOfTheFirstLineAndStays) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(IniRead(bom + "[a]\r\na=/x\r\n", "a", "a"), "/x");
  EXPECT_EQ(IniWrite(bom + "[a]\r\na=/x\r\n", "a", "a", "/y"), bom + "[a]\r\na=/y\r\n");
  EXPECT_EQ(IniWrite(bom, "a", "a", "/y"), bom + "[a]\r\na=/y\r\n");
  // Only at the start: elsewhere the bytes are the line's.
  EXPECT_EQ(IniRead("[z]\r\n" + bom + "[a]\r\na=/x\r\n", "a", "a"), std::nullopt);
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

// Folder names Linux allows, each of which reading would change if it were written bare.
const char* const kAwkwardValues[] = {
    " /music",                    // a leading space
    "/home/li/music ",            // a trailing space
    "  /srv/\xD2\xF4\xC0\xD6  ",  // both, around GBK text
    "\t/tabbed\t",                // tabs
    "\"/quoted\"",                // a quote pair, which reading would remove
    "/ends with a quote\"",       // a quote at one end only
    "\"",                         // nothing but a quote
    "'/single quotes'",           // the other pair that reading removes
    "/music/\"live\" 2019",       // quotes inside are nothing special
    "/plain/folder",              // and an ordinary name
};

TEST(IniWriteTest, ValuesThatReadingWouldChangeAreQuotedAndComeBackWhole) {
  const std::string file = "; mine\r\n[a]\r\na=/old\r\nb=keep\r\n[c]\r\nx= y \r\n";
  for (const char* value : kAwkwardValues) {
    EXPECT_EQ(IniRead(IniWrite("", "a", "a", value), "a", "a"), value) << value;
    const std::string rewritten = IniWrite(file, "a", "a", value);
    EXPECT_EQ(IniRead(rewritten, "a", "a"), value) << value;
    EXPECT_EQ(IniRead(rewritten, "a", "b"), "keep");
    EXPECT_EQ(IniRead(rewritten, "c", "x"), "y");
    // Written over again, the line stays one line.
    EXPECT_EQ(IniWrite(rewritten, "a", "a", value), rewritten) << value;
  }
  // One pair of double quotes, and only where it is needed.
  EXPECT_EQ(IniWrite("", "a", "a", " /m"), "[a]\r\na=\" /m\"\r\n");
  EXPECT_EQ(IniWrite("", "a", "a", "\"/m\""), "[a]\r\na=\"\"/m\"\"\r\n");
  EXPECT_EQ(IniWrite("", "a", "a", "/m \"x\" n"), "[a]\r\na=/m \"x\" n\r\n");
  EXPECT_EQ(IniWrite("", "a", "a", ""), "[a]\r\na=\r\n");
}

TEST(IniWriteTest, AValueWithALineBreakIsNotWritten) {
  EXPECT_TRUE(IniCanHold("/music/ a \"b\" 'c'"));
  EXPECT_TRUE(IniCanHold(""));
  EXPECT_FALSE(IniCanHold("/music/two\nlines"));
  EXPECT_FALSE(IniCanHold("/music/cr\r"));
  EXPECT_FALSE(IniCanHold("\n"));
  const std::string file = "[a]\r\na=/old\r\n";
  // Written, the second line would stay in the file as a stray line of its own.
  EXPECT_EQ(IniWrite(file, "a", "a", "/music/two\nlines"), file);
  EXPECT_EQ(IniWrite(file, "a", "a", "/music/cr\r\nlf"), file);
  EXPECT_EQ(IniWrite("", "a", "a", "x\ny"), "");
}

}  // namespace
}  // namespace ornivel
