// Page charsets through the platform's "Adodb.Stream" class: the bytes are written into a
// stream in byte mode and read back as text in the named character set, every property and
// method reached by name. Where the class is missing, or refuses calls by name (Wine's does),
// or does not know the name, the code page that the name stands for converts the bytes instead.
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <string>

#include "http/charset_decoder.h"
#include "http/charset_names.h"
#include "text/ascii.h"
#include "text/text_convert.h"
#include "win/com.h"

namespace ornivel {
namespace {

// Code pages that MultiByteToWideChar cannot convert, done here instead.
constexpr UINT kUtf16Le = 1200;
constexpr UINT kUtf16Be = 1201;

struct NamedCodePage {
  std::string_view name;  // lower case
  UINT codePage;
};

// Character sets by the names PageCharsetName gives (aliases, and the GBK family as "cp936",
// are brought to these first), and the code page of each. "windows-NNNN", "cpNNN" and "ibmNNN"
// name their code page by number and need no entry.
constexpr NamedCodePage kCodePages[] = {
    {"utf-8", 65001},
    {"utf8", 65001},
    {"gb18030", 54936},
    {"hz-gb-2312", 52936},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cn-big5", 950},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"ms_kanji", 932},
    {"csshiftjis", 932},
    {"windows-31j", 932},
    {"euc-jp", 20932},
    {"iso-2022-jp", 50220},
    {"us-ascii", 20127},
    {"ascii", 20127},
    {"iso-8859-1", 28591},
    {"latin1", 28591},
    {"l1", 28591},
    {"iso_8859-1", 28591},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"tis-620", 874},
    {"macintosh", 10000},
    {"mac-cyrillic", 10007},
    {"utf-16", kUtf16Le},
    {"utf-16le", kUtf16Le},
    {"unicode", kUtf16Le},
    {"utf-16be", kUtf16Be},
    {"unicodefffe", kUtf16Be},
};

// The code page a declared character-set name stands for; 0 for a name it does not know.
UINT CodePageOf(std::string_view charsetName) {
  const std::string name = AsciiLowerText(PageCharsetName(charsetName));
  for (const NamedCodePage& entry : kCodePages) {
    if (entry.name == name) return entry.codePage;
  }
  for (const std::string_view prefix : {"windows-", "cp", "ibm"}) {
    if (!name.starts_with(prefix)) continue;
    const std::string_view digits = std::string_view(name).substr(prefix.size());
    UINT number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec == std::errc() && end == digits.data() + digits.size() && number != 0 &&
        (number == kUtf16Le || number == kUtf16Be || IsValidCodePage(number))) {
      return number;
    }
  }
  return 0;
}

std::optional<std::u16string> DecodeWithCodePage(UINT codePage,
                                                 std::span<const std::uint8_t> bytes) {
  if (codePage == kUtf16Le || codePage == kUtf16Be) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
      const unsigned first = bytes[2 * i], second = bytes[2 * i + 1];
      units[i] =
          static_cast<char16_t>(codePage == kUtf16Le ? first | second << 8 : first << 8 | second);
    }
    if (bytes.size() % 2 != 0) units.push_back(u'\uFFFD');  // a lone last byte
    return units;
  }
  if (!IsValidCodePage(codePage)) return std::nullopt;
  if (bytes.empty()) return std::u16string();
  if (bytes.size() > INT_MAX) return std::nullopt;
  const auto* source = reinterpret_cast<const char*>(bytes.data());
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(codePage, 0, source, length, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::u16string out(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(codePage, 0, source, length, reinterpret_cast<wchar_t*>(out.data()), units);
  return out;
}

enum class StreamOutcome { kDecoded, kUnavailable };

// The conversion through the stream class. kUnavailable when the class cannot be made, takes
// no calls by name, or refuses the character set; otherwise `text` is what ReadText gave (empty
// when it failed: the other calls' results are not looked at, as the class reports through
// ReadText whatever went wrong before it).
StreamOutcome DecodeWithStream(std::string_view charsetName, std::span<const std::uint8_t> bytes,
                               std::u16string& text) {
  ComPtr<IDispatch> stream = CreateAutomationObject(L"Adodb.Stream");
  if (!stream) return StreamOutcome::kUnavailable;
  IDispatch* s = stream.get();
  Variant binary = Variant::Long(1), readWrite = Variant::Long(3), start = Variant::Long(0);
  Variant textType = Variant::Long(2);
  Variant charset = Variant::String(TextToUtf16(charsetName, kCodePageGbk));
  Variant data = Variant::Bytes(bytes);
  if (FAILED(PutProperty(s, L"Type", binary))) return StreamOutcome::kUnavailable;
  PutProperty(s, L"Mode", readWrite);
  CallMethod(s, L"Open", nullptr);
  CallMethod(s, L"Write", nullptr, &data);
  PutProperty(s, L"Position", start);
  PutProperty(s, L"Type", textType);
  if (FAILED(PutProperty(s, L"Charset", charset))) {
    CallMethod(s, L"Close", nullptr);
    return StreamOutcome::kUnavailable;
  }
  Variant result;
  const HRESULT read = CallMethod(s, L"ReadText", &result);
  CallMethod(s, L"Close", nullptr);
  text = SUCCEEDED(read) ? result.Text() : std::u16string();
  return StreamOutcome::kDecoded;
}

}  // namespace

std::optional<std::u16string> DecodeCharset(std::string_view charsetName,
                                            std::span<const std::uint8_t> bytes) {
  if (charsetName.empty()) return std::nullopt;
  std::optional<std::u16string> text;
  {
    const ComScope com;  // for this thread while the stream lives
    std::u16string decoded;
    if (DecodeWithStream(charsetName, bytes, decoded) == StreamOutcome::kDecoded) {
      text = std::move(decoded);
    }
  }
  if (!text) {
    const UINT codePage = CodePageOf(charsetName);
    if (codePage == 0) return std::nullopt;
    text = DecodeWithCodePage(codePage, bytes);
  }
  if (text && !text->empty() && text->front() == u'\uFEFF') text->erase(0, 1);
  return text;
}

}  // namespace ornivel
