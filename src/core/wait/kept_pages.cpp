#include "core/wait/kept_pages.h"

#include <ctime>

#include "core/text/code_page.h"

namespace vennadar {

PageFetch PreparePageFetch(Store* store, const std::string& address, bool keepable) {
    PageFetch fetch;
    fetch.request.address = address;
    fetch.keepable = keepable && store != nullptr;
    if (!fetch.keepable) {
        return fetch;
    }
    fetch.kept = store->Kept(address);
    if (fetch.kept) {
        fetch.request.if_none_match = fetch.kept->etag;
        fetch.request.if_modified_since = fetch.kept->last_modified;
    }
    return fetch;
}

ArrivedPage ResolvePage(Store* store, const PageFetch& fetch, HttpResponse response) {
    if (!fetch.keepable || store == nullptr) {
        return {Http::BodyOf(std::move(response)), std::nullopt};
    }
    const std::string& address = fetch.request.address;
    if (response.answered && response.status == 304 && fetch.kept) {
        store->NoteShown(address, true);
        return {fetch.kept->body, std::nullopt};
    }
    const bool failed = response.answered ? response.status >= 500 : response.unreachable;
    if (failed && fetch.kept) {
        store->NoteShown(address, false);
        return {fetch.kept->body, fetch.kept->kept_at};
    }
    if (response.answered && response.status == 200) {
        store->Keep(address, KeptPage{response.body, response.etag, response.last_modified, 0});
    }
    return {Http::BodyOf(std::move(response)), std::nullopt};
}

Text OfflineNotice(std::int64_t kept_at) {
    const auto when = static_cast<std::time_t>(kept_at);
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m-%d %H:%M", &local);
    return Utf8ToGbk("离线，") + stamp;
}

}  // namespace vennadar
