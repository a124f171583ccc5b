#include "text/gbk_unit_index.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <string>

namespace ornivel {
GbkUnitIndex::GbkUnitIndex(std::string_view gbk, std::u16string_view wide) {
  // In GBK every character below U+0080 is one byte and every other character two, but for
  // the single byte 80 (the euro sign) and the bytes GBK does not define (U+FFFD). Without
  // those the layout follows from the units alone, and the total length confirms it.
  if (gbk.size() >= std::numeric_limits<std::uint32_t>::max()) return;
  if (gbk.find('\x80') != std::string_view::npos) return;
  if (wide.find(u'\uFFFD') != std::u16string_view::npos) return;
  const std::size_t blocks = wide.size() / 64 + 1;
  doubleByte_.assign(blocks, 0);
  blockStart_.assign(blocks, 0);
  std::size_t bytes = 0;
  for (std::size_t block = 0; block < blocks; ++block) {
    blockStart_[block] = static_cast<std::uint32_t>(bytes);
    const std::size_t first = block * 64;
    const std::size_t count = std::min<std::size_t>(64, wide.size() - first);
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < count; ++i) {
      bits |= std::uint64_t{wide[first + i] >= 0x80} << i;
    }
    doubleByte_[block] = bits;
    bytes += count + static_cast<std::size_t>(std::popcount(bits));
  }
  if (bytes != gbk.size()) {
    doubleByte_.clear();
    blockStart_.clear();
  }
}

std::size_t GbkUnitIndex::ByteOffset(std::size_t unit) const {
  const std::size_t block = unit / 64;
  const std::uint64_t before = doubleByte_[block] & ((std::uint64_t{1} << (unit % 64)) - 1);
  return blockStart_[block] + unit % 64 + static_cast<std::size_t>(std::popcount(before));
}

}  // namespace ornivel
