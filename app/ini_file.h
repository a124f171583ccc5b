#pragma once
// A small INI reader and writer with the private-profile rules the settings file relies on:
// section and key names match without regard to ASCII case; a value loses its surrounding
// spaces and one pair of quotes on reading; a write replaces just that key's line (or adds the
// key, or the section) and keeps every other line of the file byte for byte. A UTF-8 byte-order
// mark at the start of the file, as some editors write one, is no part of its first line (and
// stays). Texts are bytes (GBK); nothing is converted.

#include <optional>
#include <string>
#include <string_view>

namespace ornivel {

// The value of `key` in `section` of the INI text `content`; nullopt when either is missing.
[[nodiscard]] std::optional<std::string> IniRead(std::string_view content, std::string_view section,
                                                 std::string_view key);

// Whether a value can be stored so that IniRead gives it back byte for byte: any value without a
// line break (CR or LF) in it.
[[nodiscard]] bool IniCanHold(std::string_view value);

// `content` with `key` of `section` set to `value`. A value that begins or ends with a space, a
// tab or a quote is written inside one pair of double quotes, which reading removes again. A
// value IniCanHold refuses is not written: `content` comes back unchanged.
[[nodiscard]] std::string IniWrite(std::string_view content, std::string_view section,
                                   std::string_view key, std::string_view value);

}  // namespace ornivel
