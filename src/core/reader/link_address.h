#pragma once

#include <optional>
#include <string>

namespace vennadar {

// Decodes the character references of an attribute value (UTF-8) the way an HTML parser does
// for an attribute.
std::string DecodeAttributeValue(const std::string& value);

// The address a link opens in the browser: references decoded, surrounding white space dropped,
// a relative address resolved against the article's own address. Only http, https and mailto
// addresses are opened; anything else gives nothing.
std::optional<std::string> BrowsableLinkAddress(const std::string& raw_utf8,
                                                const std::string& article_address_utf8);

}  // namespace vennadar
