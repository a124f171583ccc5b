#include "http/charset_names.h"

#include <algorithm>
#include <iterator>

#include "text/ascii.h"

namespace ornivel {
namespace {

struct CharsetAlias {
  std::string_view declared;  // in lower case
  std::string_view decodeAs;
};

// The names browsers accept for these sets and the decoders do not know, or know only as a
// narrower table than the one pages are written in. Korean pages that say euc-kr use code page
// 949 as those that say ks_c_5601-1987 do, just as GB2312 pages use code page 936.
constexpr CharsetAlias kAliases[] = {
    {"chinese", "CP936"},
    {"cp936", "CP936"},
    {"csgb2312", "CP936"},
    {"csiso58gb231280", "CP936"},
    {"euc-cn", "CP936"},
    {"gb2312", "CP936"},
    {"gb_2312", "CP936"},
    {"gb_2312-80", "CP936"},
    {"gbk", "CP936"},
    {"iso-ir-58", "CP936"},
    {"ms936", "CP936"},
    {"windows-936", "CP936"},
    {"x-gbk", "CP936"},

    {"cseuckr", "CP949"},
    {"csksc56011987", "CP949"},
    {"euc-kr", "CP949"},
    {"iso-ir-149", "CP949"},
    {"korean", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"ks_c_5601-1989", "CP949"},
    {"ksc5601", "CP949"},
    {"ksc_5601", "CP949"},
    {"windows-949", "CP949"},

    {"x-sjis", "SHIFT_JIS"},
    {"x-euc-jp", "EUC-JP"},

    {"x-x-big5", "BIG5"},
    {"csbig5", "BIG5"},

    {"csiso88596e", "ISO-8859-6"},
    {"csiso88596i", "ISO-8859-6"},
    {"iso-8859-6-e", "ISO-8859-6"},
    {"iso-8859-6-i", "ISO-8859-6"},
    {"csiso88598e", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8"},
    {"iso-8859-8-e", "ISO-8859-8"},
    {"iso-8859-8-i", "ISO-8859-8"},
    {"logical", "ISO-8859-8"},
    {"visual", "ISO-8859-8"},

    {"dos-874", "CP874"},
    {"x-cp1250", "CP1250"},
    {"x-cp1251", "CP1251"},
    {"x-cp1252", "CP1252"},
    {"x-cp1253", "CP1253"},
    {"x-cp1254", "CP1254"},
    {"x-cp1255", "CP1255"},
    {"x-cp1256", "CP1256"},
    {"x-cp1257", "CP1257"},
    {"x-cp1258", "CP1258"},
    {"x-mac-cyrillic", "MAC-CYRILLIC"},
    {"x-mac-roman", "MACINTOSH"},
    {"x-mac-ukrainian", "MAC-CYRILLIC"},

    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
};

}  // namespace

std::string PageCharsetName(std::string_view declared) {
  const std::string lower = AsciiLowerText(declared);
  const auto alias = std::find_if(std::begin(kAliases), std::end(kAliases),
                                  [&](const CharsetAlias& a) { return a.declared == lower; });
  return alias == std::end(kAliases) ? std::string(declared) : std::string(alias->decodeAs);
}

}  // namespace ornivel
