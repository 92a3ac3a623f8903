#include "platform/curl_http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace vennadar {
namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct Body {
    std::string bytes;
    std::size_t limit = 0;
    bool too_large = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::size_t length = size * count;
    if (body->bytes.size() + length > body->limit) {
        body->too_large = true;
        return 0;  // makes curl abort the transfer
    }
    body->bytes.append(data, length);
    return length;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlHttp::CurlHttp(HttpLimits limits, ProtocolSetter set_protocols)
    : limits_(std::move(limits)), set_protocols_(std::move(set_protocols)) {
    if (!set_protocols_) {
        set_protocols_ = [](void* handle, int option, const char* protocols) {
            return static_cast<int>(curl_easy_setopt(static_cast<CURL*>(handle),
                                                     static_cast<CURLoption>(option), protocols));
        };
    }
}

std::optional<std::string> CurlHttp::Download(const std::string& address) {
    GlobalInit();  // at the first download, not at start-up
    CurlHandle handle(curl_easy_init());
    if (!handle) {
        return std::nullopt;
    }
    CURL* curl = handle.get();
    Body body;
    body.limit = limits_.max_body_bytes;
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    // A libcurl that will not restrict the protocols would fetch file: or any other address
    // it knows: no download at all then.
    if (set_protocols_(curl, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        set_protocols_(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK) {
        return std::nullopt;
    }
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits_.max_redirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits_.connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits_.total_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, limits_.user_agent.c_str());
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // the size limit counts decoded bytes
    // A body announced as too large is refused before any of it is read.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(limits_.max_body_bytes));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits_.ca_file.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, limits_.ca_file.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(curl) != CURLE_OK || body.too_large) {
        return std::nullopt;
    }
    return std::move(body.bytes);
}

}  // namespace vennadar
