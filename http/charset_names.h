#pragma once
// The character-set names web pages declare, brought to the names the decoders know.

#include <string>
#include <string_view>

namespace ornivel {

// The name under which to decode a page that declares `declared` (compared in any letter case).
// Every name of the GBK family (gb2312, gbk, csgb2312, euc-cn, x-gbk, gb_2312-80, cp936 and
// their kin) gives "CP936": pages that say GB2312 use the whole of code page 936, the program's
// own text, and the strict GB2312 table would lose characters such as 镕. Aliases that pages use
// but the decoders lack give the set they stand for (ks_c_5601-1987 gives "CP949", x-sjis
// "SHIFT_JIS", iso-8859-8-i "ISO-8859-8", ...). Any other name comes back as it was.
[[nodiscard]] std::string PageCharsetName(std::string_view declared);

}  // namespace ornivel
