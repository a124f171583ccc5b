#pragma once
// A small INI reader and writer with the private-profile rules the settings file relies on:
// section and key names match without regard to ASCII case; a value loses its surrounding
// spaces and one pair of quotes on reading; a write replaces just that key's line (or adds the
// key, or the section) and keeps every other line of the file byte for byte. Texts are bytes
// (GBK); nothing is converted.

#include <optional>
#include <string>
#include <string_view>

namespace ornivel {

// The value of `key` in `section` of the INI text `content`; nullopt when either is missing.
[[nodiscard]] std::optional<std::string> IniRead(std::string_view content, std::string_view section,
                                                 std::string_view key);

// `content` with `key` of `section` set to `value`.
[[nodiscard]] std::string IniWrite(std::string_view content, std::string_view section,
                                   std::string_view key, std::string_view value);

}  // namespace ornivel
