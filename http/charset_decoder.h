#pragma once
// The charset-decoder seam: bytes in a character set named by a web page, as UTF-16.
// One backend per platform (iconv on Linux, the platform's stream class on Windows).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ornivel {

// `bytes` decoded from the character set `charsetName` (a name as a page declares it, in any
// letter case, such as "utf-8" or "Big5"), read as PageCharsetName reads it: every name of the
// GBK family decodes as code page 936. Byte sequences the set does not define become U+FFFD;
// a leading byte-order mark is dropped. nullopt when the name is not a character set the decoder
// knows.
[[nodiscard]] std::optional<std::u16string> DecodeCharset(std::string_view charsetName,
                                                          std::span<const std::uint8_t> bytes);

}  // namespace ornivel
