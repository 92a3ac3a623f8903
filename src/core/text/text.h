#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace vennadar {

// The program's own text: GBK bytes (code page 936) that end at the first NUL byte.
using Text = std::string;

// Takes raw bytes (a download, a file) as a text: everything before the first NUL byte.
inline Text TextFromBytes(std::string_view bytes) {
    return Text(bytes.substr(0, bytes.find('\0')));
}

// A view of a text up to its first NUL byte.
inline std::string_view TextView(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

}  // namespace vennadar
