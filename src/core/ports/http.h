#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vennadar {

// Names one started download, for cancelling it. 0 is never a live download.
using DownloadId = std::uint64_t;
// Receives what a download gave: the response body (whatever the status), or nothing when the
// request failed.
using DownloadDone = std::function<void(std::optional<std::string> body)>;

// The page download service.
class Http {
  public:
    virtual ~Http() = default;

    // One blocking GET of a complete address.
    virtual std::optional<std::string> Download(const std::string& address) = 0;

    // Starts a GET and returns at once; `done` runs later, on the calling thread, with what
    // Download would have returned, unless the download is cancelled first. This default
    // downloads before it returns, which is all a fake needs: the caller must be ready for
    // `done` to have run already when StartDownload returns.
    virtual DownloadId StartDownload(const std::string& address, DownloadDone done) {
        done(Download(address));
        return 0;
    }

    // Gives up a started download at once: its transfer is aborted and its `done` never runs.
    // An id that has finished, or was never started, is ignored.
    virtual void CancelDownload(DownloadId id) { static_cast<void>(id); }
};

}  // namespace vennadar
