#include "text/iconv_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text/unicode.h"

namespace ornivel {

static_assert(sizeof(wchar_t) == sizeof(char32_t), "kIconvWide is UCS-4");

namespace {

// Scratch space of a thread's conversions, kept between calls so that converting a large text
// does not map, zero and unmap fresh memory each time. Space beyond kKeptScratch is given back.
constexpr std::size_t kKeptScratch = 1 << 20;

struct Scratch {
  std::u32string wide;
  std::string bytes;

  void Trim() {
    if (wide.capacity() * sizeof(char32_t) > kKeptScratch) std::u32string().swap(wide);
    if (bytes.capacity() > kKeptScratch) std::string().swap(bytes);
  }
};

Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

// A long text goes through iconv a piece at a time, so that the scratch space stays within
// kKeptScratch whatever the text's length (UCS-4 takes four bytes a character).
constexpr std::size_t kPiece = kKeptScratch / 8;

}  // namespace

std::u16string IconvDecode(const IconvHandle& cd, std::string_view bytes, bool utf8) {
  // iconv decodes to its own UCS-4 in one step; the units are then packed into UTF-16 here.
  // In the character sets in use a byte never gives more than one character; the loop grows
  // the buffer for a set that does.
  Scratch& scratch = ThreadScratch();
  std::u32string& wide = scratch.wide;
  std::u16string out;
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = std::min(bytes.size(), at + kPiece);
    const bool last = end == bytes.size();
    if (wide.size() < end - at + 1) wide.resize(end - at + 1);
    std::size_t used = 0;  // in bytes
    auto* in = const_cast<char*>(bytes.data() + at);
    std::size_t inLeft = end - at;
    bool carried = false;  // the piece ended inside a sequence, which the next one begins with
    while (inLeft > 0) {
      const std::size_t capacity = wide.size() * sizeof(char32_t);
      char* outPtr = reinterpret_cast<char*>(wide.data()) + used;
      std::size_t outLeft = capacity - used;
      const std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
      used = capacity - outLeft;
      if (rc != static_cast<std::size_t>(-1)) break;
      const int err = errno;
      if (err == E2BIG || outLeft < sizeof(char32_t)) {
        wide.resize(wide.size() * 2);
        if (err == E2BIG) continue;
      }
      if (err == EINVAL && !last && inLeft < end - at) {
        carried = true;
        break;
      }
      if (err != EILSEQ && err != EINVAL) break;
      // EILSEQ: an invalid sequence here; EINVAL: the text ends inside a sequence.
      std::size_t skip = err == EINVAL ? inLeft : 1;
      if (utf8 && err == EILSEQ) skip = ReadUtf8Sequence(std::string_view(in, inLeft)).length;
      wide[used / sizeof(char32_t)] = kReplacementCharacter;
      used += sizeof(char32_t);
      in += skip;
      inLeft -= skip;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    for (std::size_t i = 0; i < used / sizeof(char32_t); ++i) AppendUtf16(out, wide[i]);
    if (inLeft > 0 && !carried) break;  // iconv gave up: the rest is not read
    at = end - inLeft;
  }
  scratch.Trim();
  return out;
}

std::string IconvEncode(const IconvHandle& cd, std::u16string_view units) {
  if (units.empty()) return {};
  // The units are unpacked into UCS-4 here, so iconv converts in one step; an unpaired
  // surrogate is not a character and is written as "?" like any character the target lacks.
  constexpr char32_t kUnpaired = 0xFFFFFFFF;
  Scratch& scratch = ThreadScratch();
  std::u32string& wide = scratch.wide;
  std::string& out = scratch.bytes;
  std::string result;
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  std::size_t at = 0;
  while (at < units.size()) {
    std::size_t end = std::min(units.size(), at + kPiece);
    // A pair of surrogates stays in one piece.
    if (end < units.size() && IsHighSurrogate(units[end - 1])) ++end;
    wide.clear();
    for (std::size_t i = at; i < end; ++i) {
      const char16_t u = units[i];
      if (IsHighSurrogate(u) && i + 1 < end && IsLowSurrogate(units[i + 1])) {
        wide.push_back(0x10000 + ((char32_t{u} - 0xD800) << 10) +
                       (char32_t{units[i + 1]} - 0xDC00));
        ++i;
      } else {
        wide.push_back((IsHighSurrogate(u) || IsLowSurrogate(u)) ? kUnpaired : char32_t{u});
      }
    }
    at = end;
    // Room for the widest characters of the code pages in use (UTF-8: four bytes); the loop
    // grows it if a target ever needs more.
    if (out.size() < wide.size() * 4 + 4) out.resize(wide.size() * 4 + 4);
    std::size_t used = 0;
    auto* in = reinterpret_cast<char*>(wide.data());
    std::size_t inLeft = wide.size() * sizeof(char32_t);
    while (inLeft > 0) {
      char* outPtr = out.data() + used;
      std::size_t outLeft = out.size() - used;
      const std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
      used = out.size() - outLeft;
      if (rc != static_cast<std::size_t>(-1)) break;
      const int err = errno;
      if (err == E2BIG || used == out.size()) {
        out.resize(out.size() * 2);
        if (err == E2BIG) continue;
      }
      if (err != EILSEQ && err != EINVAL) break;
      out[used++] = '?';
      const std::size_t skip = std::min(sizeof(char32_t), inLeft);
      in += skip;
      inLeft -= skip;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    result.append(out.data(), used);
  }
  scratch.Trim();
  return result;
}

}  // namespace ornivel
