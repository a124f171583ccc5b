// Code pages over glibc iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "text/code_page.h"
#include "text/iconv_handle.h"

namespace ornivel {
namespace {

const char* IconvName(int codePage) {
  switch (codePage) {
    case kCodePageSystem:
    case kCodePageGbk:
      return "CP936";
    case kCodePageUtf8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

}  // namespace

std::u16string DecodeCodePage(std::string_view bytes, int codePage) {
  const char* name = IconvName(codePage);
  if (name == nullptr) return {};
  IconvHandle cd(kIconvWide, name);
  if (!cd) return {};
  return IconvDecode(cd, bytes, codePage == kCodePageUtf8);
}

std::string EncodeCodePage(std::u16string_view units, int codePage) {
  const char* name = IconvName(codePage);
  if (name == nullptr) return {};
  IconvHandle cd(name, kIconvWide);
  if (!cd) return {};
  return IconvEncode(cd, units);
}

}  // namespace ornivel
