#pragma once
// The code-page seam: conversion between a code page's bytes and UTF-16.
//
// Each platform supplies one backend file (glibc iconv on Linux, the Windows conversion functions
// on Windows). Both follow the same rules, so the core behaves alike everywhere:
// - decoding turns every byte sequence the code page does not define into U+FFFD, one per
//   maximal ill-formed subsequence, and the rest of the text converts normally;
// - encoding turns every character the code page lacks (and every unpaired surrogate) into "?".

#include <string>
#include <string_view>

namespace ornivel {

inline constexpr int kCodePageSystem = 0;  // the program's system code page: GBK
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// `bytes` read in `codePage`, as UTF-16. An unknown code page gives the empty text.
[[nodiscard]] std::u16string DecodeCodePage(std::string_view bytes, int codePage);

// `units` written in `codePage`. An unknown code page gives the empty text.
[[nodiscard]] std::string EncodeCodePage(std::u16string_view units, int codePage);

}  // namespace ornivel
