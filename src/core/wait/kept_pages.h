#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/ports/http.h"
#include "core/ports/store.h"
#include "core/text/text.h"

namespace vennadar {

// One page download with the reader's memory: the request carries the validators of a kept
// copy, and the answer may be that copy.
struct PageFetch {
    HttpRequest request;
    bool keepable = false;  // listings and articles; never a search listing
    std::optional<KeptPage> kept;
};

// What a page download came to.
struct ArrivedPage {
    std::optional<std::string> body;  // as a plain download gives it: nothing when it failed
    std::optional<std::int64_t> offline_since;  // shown from a copy kept at this time
};

PageFetch PreparePageFetch(Store* store, const std::string& address, bool keepable);

// A 304 gives the kept copy; a fresh 200 is kept; when the network fails or the server answers
// 5xx, the kept copy is shown offline. Without a kept copy everything is as a plain download.
ArrivedPage ResolvePage(Store* store, const PageFetch& fetch, HttpResponse response);

// "离线，12-09 15:30" (GBK): the offline notice with the kept time, in local time.
Text OfflineNotice(std::int64_t kept_at);

}  // namespace vennadar
