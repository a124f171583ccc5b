#pragma once
// Test sources are UTF-8; the program's texts are GBK. Gbk("中文") gives the GBK bytes. The
// conversion itself is checked byte for byte in text_convert_test.cpp.

#include <string>
#include <string_view>

#include "text/text_convert.h"

namespace ornivel::test {

inline std::string Gbk(std::string_view utf8) {
  return Utf8ToGbk(utf8);
}

}  // namespace ornivel::test
