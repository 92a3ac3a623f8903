#include "core/reader/link_address.h"

#include <gumbo.h>

#include <memory>

#include "core/io/url.h"
#include "core/text/code_page.h"

namespace vennadar {
namespace {

struct GumboDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

const GumboNode* FindAnchor(const GumboNode* node) {
    if (node->type != GUMBO_NODE_ELEMENT) {
        return nullptr;
    }
    if (node->v.element.tag == GUMBO_TAG_A) {
        return node;
    }
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        if (const GumboNode* found = FindAnchor(static_cast<const GumboNode*>(children.data[i]))) {
            return found;
        }
    }
    return nullptr;
}

std::string TrimAsciiWhiteSpace(const std::string& text) {
    const char* spaces = " \t\n\f\r";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

// A link as the page means it: references decoded, white space trimmed, resolved against the
// address of the page it stands in.
std::optional<std::string> ResolvedLink(const std::string& raw_utf8, const std::string& base_utf8) {
    const std::string decoded = TrimAsciiWhiteSpace(DecodeAttributeValue(raw_utf8));
    if (decoded.empty()) {
        return std::nullopt;
    }
    return ResolveUrl(base_utf8, decoded);
}

// Bytes beyond ASCII after the host as %XX, as a browser sends them, so the address survives as
// GBK text and reaches the server as the page's own UTF-8.
std::string PercentEncodeBeyondAscii(const std::string& address) {
    const std::size_t authority = address.find("://");
    const std::size_t path =
        authority == std::string::npos ? 0 : address.find_first_of("/?#", authority + 3);
    if (path == std::string::npos) {
        return address;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded = address.substr(0, path);
    for (std::size_t i = path; i < address.size(); ++i) {
        const auto byte = static_cast<unsigned char>(address[i]);
        if (byte < 0x80) {
            encoded += address[i];
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

}  // namespace

std::string DecodeAttributeValue(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        escaped += c == '\'' ? std::string("&#39;") : std::string(1, c);
    }
    const std::string html = "<a href='" + escaped + "'></a>";
    std::unique_ptr<GumboOutput, GumboDeleter> output(
        gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()));
    if (!output) {
        return value;
    }
    const GumboNode* anchor = FindAnchor(output->root);
    const GumboAttribute* href =
        anchor != nullptr ? gumbo_get_attribute(&anchor->v.element.attributes, "href") : nullptr;
    return href != nullptr ? std::string(href->value) : value;
}

std::optional<std::string> BrowsableLinkAddress(const std::string& raw_utf8,
                                                const std::string& article_address_utf8) {
    const std::optional<std::string> resolved = ResolvedLink(raw_utf8, article_address_utf8);
    if (!resolved) {
        return std::nullopt;
    }
    const std::string scheme = UrlScheme(*resolved);
    if (scheme != "http" && scheme != "https" && scheme != "mailto") {
        return std::nullopt;
    }
    return resolved;
}

std::optional<std::string> ListingLinkAddress(const std::string& link_gbk,
                                              const std::string& listing_address_utf8) {
    const std::optional<std::string> resolved =
        ResolvedLink(GbkToUtf8(link_gbk), listing_address_utf8);
    if (!resolved) {
        return std::nullopt;
    }
    const std::string scheme = UrlScheme(*resolved);
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }
    return PercentEncodeBeyondAscii(*resolved);
}

}  // namespace vennadar
