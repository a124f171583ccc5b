#include "text/gbk_unit_index.h"

#include <gtest/gtest.h>

#include "text/text_convert.h"

namespace ornivel {
namespace {

TEST(GbkUnitIndexTest, OffsetsAcrossBlockBoundariesMatchAWalkOverTheBytes) {
  // Mixed single- and double-byte characters, long enough to span several 64-unit blocks.
  std::string gbk;
  for (int i = 0; i < 150; ++i) gbk += (i % 3 == 0) ? std::string("\xD6\xD0") : std::string("a");
  const std::u16string wide = TextToUtf16(gbk, kCodePageGbk);
  ASSERT_EQ(wide.size(), 150u);
  const GbkUnitIndex index(gbk, wide);
  ASSERT_FALSE(index.empty());
  std::size_t expected = 0;
  for (std::size_t unit = 0; unit <= wide.size(); ++unit) {
    ASSERT_EQ(index.ByteOffset(unit), expected) << "unit " << unit;
    if (unit < wide.size()) expected += (unit % 3 == 0) ? 2 : 1;
  }
}

TEST(GbkUnitIndexTest, EmptyTextAndExactMultiplesOfTheBlock) {
  const GbkUnitIndex none("", u"");
  ASSERT_FALSE(none.empty());
  EXPECT_EQ(none.ByteOffset(0), 0u);
  const std::string gbk(128, 'x');
  const GbkUnitIndex index(gbk, std::u16string(128, u'x'));
  ASSERT_FALSE(index.empty());
  EXPECT_EQ(index.ByteOffset(64), 64u);
  EXPECT_EQ(index.ByteOffset(128), 128u);
}

TEST(GbkUnitIndexTest, StaysEmptyWhenTheWideningIsNotOneUnitPerCharacter) {
  const std::string gbk =
      "a\xFF"
      "b";  // FF is no GBK byte
  EXPECT_TRUE(GbkUnitIndex(gbk, TextToUtf16(gbk, kCodePageGbk)).empty());
  EXPECT_TRUE(GbkUnitIndex("ab", u"a").empty());
  EXPECT_TRUE(GbkUnitIndex("a", u"ab").empty());
}

}  // namespace
}  // namespace ornivel
