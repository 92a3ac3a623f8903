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

// The address a listing row's link (GBK, exactly as the page wrote it) stands for: references
// decoded, surrounding white space dropped, resolved against the listing page's own address,
// characters beyond ASCII percent-encoded as UTF-8. Only http and https addresses are given;
// it is what is downloaded and what the browser opens.
std::optional<std::string> ListingLinkAddress(const std::string& link_gbk,
                                              const std::string& listing_address_utf8);

}  // namespace vennadar
