#pragma once

#include <algorithm>
#include <string_view>

namespace vennadar::html {

// Small string helpers (ASCII case and white space, as HTML and CSS use them)

inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

inline bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

inline std::string_view TrimAscii(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsAsciiSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace vennadar::html
