#pragma once

#include <string>
#include <string_view>

// Small text helpers shared by the content generator and the page renderer.
namespace vennadar::sample_site {

// Escapes & < > " so text can go into element content or a double-quoted attribute.
std::string EscapeHtml(std::string_view text);

// Percent-encodes every byte except letters, digits and "-._~" (for query strings).
std::string PercentEncode(std::string_view text);

// The first `max_chars` code points of UTF-8 text (never cuts a character in two).
std::string Utf8Prefix(std::string_view text, std::size_t max_chars);

// Replaces every occurrence of `from` in `text` with `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace vennadar::sample_site
