#pragma once
// An owned iconv conversion descriptor and the two loops the iconv backends share.
// Linux backends only.

#include <iconv.h>

#include <string>
#include <string_view>

namespace ornivel {

// iconv's name for its own wide characters (UCS-4 in host order), the one step every
// conversion of glibc passes through; the loops below pack and unpack UTF-16 themselves.
inline constexpr const char* kIconvWide = "WCHAR_T";

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (*this) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  explicit operator bool() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts `bytes` to UTF-16 through `cd` (which must convert to kIconvWide). Every sequence
// iconv refuses becomes U+FFFD; with `utf8` the whole maximal ill-formed UTF-8 subsequence is
// taken as one, otherwise one byte is.
[[nodiscard]] std::u16string IconvDecode(const IconvHandle& cd, std::string_view bytes, bool utf8);

// Converts UTF-16 `units` through `cd` (which must convert from kIconvWide). Every character the
// target lacks and every unpaired surrogate becomes "?".
[[nodiscard]] std::string IconvEncode(const IconvHandle& cd, std::u16string_view units);

}  // namespace ornivel
