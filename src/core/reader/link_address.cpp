#include "core/reader/link_address.h"

#include <gumbo.h>

#include <memory>

#include "core/io/url.h"

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
    const std::string decoded = TrimAsciiWhiteSpace(DecodeAttributeValue(raw_utf8));
    if (decoded.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> resolved = ResolveUrl(article_address_utf8, decoded);
    if (!resolved) {
        return std::nullopt;
    }
    const std::string scheme = UrlScheme(*resolved);
    if (scheme != "http" && scheme != "https" && scheme != "mailto") {
        return std::nullopt;
    }
    return resolved;
}

}  // namespace vennadar
