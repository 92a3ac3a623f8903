#pragma once

#include <cstddef>
#include <functional>
#include <memory>
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

// Sets one of a handle's protocol lists (`option` is CURLOPT_PROTOCOLS_STR or
// CURLOPT_REDIR_PROTOCOLS_STR) and gives libcurl's answer, 0 for success. A seam, so tests can
// make libcurl refuse.
using ProtocolSetter = std::function<int(void* handle, int option, const char* protocols)>;

// Http over libcurl: http and https only (redirects too), certificates verified.
//
// StartDownload runs on libcurl's multi interface driven by the Qt event loop of the calling
// thread (socket notifiers and a timer): nothing blocks, no second thread exists, and `done` is
// delivered as a queued call. Consecutive downloads from one host reuse the kept-alive
// connection, and the TLS session. Download blocks; it keeps its own connection alive between
// calls.
class CurlHttp final : public Http {
  public:
    explicit CurlHttp(HttpLimits limits = {}, ProtocolSetter set_protocols = {});
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    HttpResponse Fetch(const HttpRequest& request) override;
    DownloadId StartFetch(const HttpRequest& request, FetchDone done) override;
    void CancelDownload(DownloadId id) override;

    // Connections opened so far by both ways of downloading (for measurements and tests).
    long ConnectionsOpened() const;

  private:
    struct Blocking;
    struct Multi;
    HttpLimits limits_;
    ProtocolSetter set_protocols_;
    std::unique_ptr<Blocking> blocking_;
    std::unique_ptr<Multi> multi_;
};

}  // namespace vennadar
