#pragma once

#include <string>
#include <string_view>

#include "core/text/text.h"

namespace vennadar {

// Windows code page numbers that the program uses. 0 is the system's ANSI code page, which is
// GBK on this port.
inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// UTF-16 code units ending with one NUL unit: the intermediate form of every conversion.
using WideBuffer = std::u16string;

// Decodes a text (up to its first NUL byte) in the given code page to UTF-16. The result always
// ends with a NUL unit. Invalid input becomes U+FFFD and decoding goes on. An unknown code page
// gives an empty buffer (only the NUL unit).
WideBuffer TextToWide(std::string_view text, int code_page = kCodePageUtf8);

// Encodes UTF-16 (up to its first NUL unit) in the given code page. Characters the code page
// cannot represent become "?", one per character.
Text WideToText(std::u16string_view wide, int code_page = kCodePageAnsi);

// UTF-8 to GBK and back; same results as TextToWide followed by WideToText, without the
// intermediate buffer.
Text Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);

}  // namespace vennadar
