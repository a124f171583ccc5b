#pragma once
// Turning a response body into GBK text.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ornivel {

// The charset declaration the decoding looks for in the first 1024 bytes of a body.
inline constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// Whether `sample` (GBK bytes) holds "<meta" in any letter case: a sample without it cannot
// match kCharsetPattern (its "<" is never the trail byte of a double-byte character, and the
// letters after it are then single bytes too), so the pattern runs only where it may match.
[[nodiscard]] bool MayDeclareCharset(std::string_view sample);

// The body as GBK text. By default the bytes are taken as GBK as they are, up to the first zero
// byte. When a meta tag in the first 1024 bytes declares another character set (any name but
// exactly "gbk" or "gb2312"), the whole body is decoded from that set and brought back to GBK,
// characters GBK lacks becoming "?"; every other name of the GBK family (in any letter case)
// decodes as code page 936, so no character of such a page is lost. A set the decoder does not
// know leaves the text as it was.
// The Content-Type header is never consulted.
[[nodiscard]] std::string DecodeResponseText(std::span<const std::uint8_t> body);

}  // namespace ornivel
