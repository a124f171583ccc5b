#pragma once
// Finds the GBK bytes of a piece of a widened text without converting it back.
//
// When a GBK text is widened to UTF-16, each character becomes one unit. The index remembers
// which units came from double-byte characters, so the byte offset of any unit is known in
// constant time, and a piece of the UTF-16 text can be cut from the GBK bytes directly.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ornivel {

class GbkUnitIndex {
 public:
  GbkUnitIndex() = default;

  // Indexes `wide`, the code page's widening of `gbk`. The index stays empty when `wide` is not
  // one unit per character of `gbk` (bytes GBK does not define became U+FFFD).
  GbkUnitIndex(std::string_view gbk, std::u16string_view wide);

  [[nodiscard]] bool empty() const { return blockStart_.empty(); }

  // Byte offset in the GBK text of unit `unit` (0 to the number of units, the end included).
  [[nodiscard]] std::size_t ByteOffset(std::size_t unit) const;

 private:
  std::vector<std::uint64_t> doubleByte_;  // bit u%64 of word u/64: unit u took two bytes
  std::vector<std::uint32_t> blockStart_;  // byte offset of unit 64*k
};

}  // namespace ornivel
