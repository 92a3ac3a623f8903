#pragma once

#include <cstddef>
#include <string>

#include "core/ports/http.h"

namespace vennadar {

// Limits that keep a download from hanging the window or exhausting memory.
struct HttpLimits {
    long connect_timeout_ms = 10'000;
    long total_timeout_ms = 30'000;
    std::size_t max_body_bytes = 16 * 1024 * 1024;  // a larger body counts as a failure
    long max_redirects = 5;
    std::string user_agent = "Vennadar";
    std::string ca_file;  // extra trust anchors (tests); empty: the system's store
};

// Http over libcurl: http and https only (redirects too), certificates verified.
class CurlHttp final : public Http {
  public:
    explicit CurlHttp(HttpLimits limits = {});
    std::optional<std::string> Download(const std::string& address) override;

  private:
    HttpLimits limits_;
};

}  // namespace vennadar
