#include "core/io/url.h"

#include <curl/curl.h>

#include <memory>

namespace vennadar {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

bool IsSchemeChar(char c, bool first) {
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return alpha || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

}  // namespace

std::string UrlScheme(const std::string& address) {
    const std::size_t colon = address.find(':');
    if (colon == std::string::npos || colon == 0) {
        return {};
    }
    std::string scheme;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!IsSchemeChar(address[i], i == 0)) {
            return {};
        }
        scheme.push_back(static_cast<char>(
            address[i] >= 'A' && address[i] <= 'Z' ? address[i] - 'A' + 'a' : address[i]));
    }
    return scheme;
}

std::optional<std::string> ResolveUrl(const std::string& base, const std::string& reference) {
    if (!UrlScheme(reference).empty()) {
        return reference;
    }
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return std::nullopt;
    }
    char* resolved = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK) {
        return std::nullopt;
    }
    std::string result(resolved);
    curl_free(resolved);
    return result;
}

}  // namespace vennadar
