#include "adapters/curl/curl_http.h"

#include <curl/curl.h>

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

namespace vennadar {
namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// What one transfer collects, and the request headers it must keep alive until it ends.
struct Body {
    std::string bytes;
    std::size_t limit = 0;
    bool too_large = false;
    std::string etag;
    std::string last_modified;
    HeaderList request_headers;
};

// The value of a response header line when it is `name` (case-insensitive), else nothing.
std::optional<std::string> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = line[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != name[i]) {
            return std::nullopt;
        }
    }
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ' ||
                              value.back() == '\t')) {
        value.remove_suffix(1);
    }
    return std::string(value);
}

std::size_t ReadHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") {  // a new response (after a redirect): its own headers
        body->etag.clear();
        body->last_modified.clear();
    } else if (auto etag = HeaderValue(line, "etag")) {
        body->etag = std::move(*etag);
    } else if (auto modified = HeaderValue(line, "last-modified")) {
        body->last_modified = std::move(*modified);
    }
    return size * count;
}

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

// Every limit in one place, for both ways of downloading. False when libcurl refuses to restrict
// the protocols: it would fetch file: or any other address it knows, so no download at all then.
bool Configure(CURL* curl, const HttpLimits& limits, const ProtocolSetter& set_protocols,
               const HttpRequest& request, Body& body) {
    body.limit = limits.max_body_bytes;
    curl_easy_setopt(curl, CURLOPT_URL, request.address.c_str());
    if (set_protocols(curl, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        set_protocols(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK) {
        return false;
    }
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.max_redirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.total_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, limits.user_agent.c_str());
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // the size limit counts decoded bytes
    // A body announced as too large is refused before any of it is read.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(limits.max_body_bytes));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.ca_file.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, limits.ca_file.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &body);
    curl_slist* headers = nullptr;
    if (!request.if_none_match.empty()) {
        headers = curl_slist_append(headers, ("If-None-Match: " + request.if_none_match).c_str());
    }
    if (!request.if_modified_since.empty()) {
        headers =
            curl_slist_append(headers, ("If-Modified-Since: " + request.if_modified_since).c_str());
    }
    body.request_headers.reset(headers);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    return true;
}

long ConnectsOf(CURL* curl) {
    long connects = 0;
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
    return connects;
}

// The failures where the network, not the program, kept the answer away: the server refused,
// dropped or never finished the exchange.
bool IsUnreachable(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return true;
        default:
            return false;
    }
}

HttpResponse Outcome(CURL* curl, CURLcode code, Body& body) {
    HttpResponse response;
    if (code != CURLE_OK || body.too_large) {
        response.unreachable = !body.too_large && IsUnreachable(code);
        return response;
    }
    response.answered = true;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    response.etag = std::move(body.etag);
    response.last_modified = std::move(body.last_modified);
    response.body = std::move(body.bytes);
    return response;
}

}  // namespace

// The blocking way: one handle kept between calls, so its connection stays alive. Resetting it
// drops every option of the last transfer but keeps the connection and the TLS session.
struct CurlHttp::Blocking {
    CurlHandle handle{curl_easy_init()};
    long connections = 0;
};

// The non-blocking way: a multi handle whose sockets and timer are watched by the Qt event loop.
struct CurlHttp::Multi {
    struct Transfer {
        CurlHandle handle;
        Body body;
        FetchDone done;
    };

    explicit Multi(CurlHttp& owner) : owner_(owner), multi_(curl_multi_init()) {
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Multi::OnSocket);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Multi::OnTimer);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &context_,
                         [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
    }

    ~Multi() {
        for (auto& [id, transfer] : transfers_) {
            curl_multi_remove_handle(multi_, transfer.handle.get());
        }
        transfers_.clear();
        // No notifier is delivering a signal now, and no event loop may run to delete them later.
        for (auto& [socket, pair] : notifiers_) {
            delete pair.read.release();
            delete pair.write.release();
        }
        notifiers_.clear();
        curl_multi_cleanup(multi_);
        for (CURL* idle : idle_) {
            curl_easy_cleanup(idle);
        }
    }

    DownloadId Start(const HttpRequest& request, FetchDone done) {
        const DownloadId id = ++last_id_;
        Transfer transfer;
        transfer.handle = TakeHandle();
        transfer.done = std::move(done);
        CURL* curl = transfer.handle.get();
        auto [entry, inserted] = transfers_.emplace(id, std::move(transfer));
        static_cast<void>(inserted);
        if (curl == nullptr ||
            !Configure(curl, owner_.limits_, owner_.set_protocols_, request, entry->second.body)) {
            Finish(id, HttpResponse{});
            return id;
        }
        curl_easy_setopt(curl, CURLOPT_PRIVATE,
                         reinterpret_cast<void*>(static_cast<std::uintptr_t>(id)));
        if (curl_multi_add_handle(multi_, curl) != CURLM_OK) {
            Finish(id, HttpResponse{});
        }
        return id;
    }

    void Cancel(DownloadId id) {
        const auto found = transfers_.find(id);
        if (found == transfers_.end()) {
            delivered_.erase(id);  // finished but not yet delivered: never delivered now
            return;
        }
        curl_multi_remove_handle(multi_, found->second.handle.get());
        Recycle(std::move(found->second.handle));
        transfers_.erase(found);
    }

    long connections = 0;

  private:
    // One handle per transfer, reused after it: reset keeps its TLS session cache.
    CurlHandle TakeHandle() {
        if (!idle_.empty()) {
            CURL* handle = idle_.back();
            idle_.pop_back();
            return CurlHandle(handle);
        }
        return CurlHandle(curl_easy_init());
    }

    void Recycle(CurlHandle handle) {
        if (handle) {
            connections += ConnectsOf(handle.get());
            curl_easy_reset(handle.get());
            idle_.push_back(handle.release());
        }
    }

    static int OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
        static_cast<Multi*>(self)->Watch(socket, what);
        return 0;
    }

    static int OnTimer(CURLM*, long timeout_ms, void* self) {
        auto* multi = static_cast<Multi*>(self);
        if (timeout_ms < 0) {
            multi->timer_.stop();
        } else {
            multi->timer_.start(static_cast<int>(timeout_ms));
        }
        return 0;
    }

    // The notifiers of one socket follow what curl wants of it. A notifier is never deleted
    // while it may be delivering its own signal: it is disabled and deleted later.
    void Watch(curl_socket_t socket, int what) {
        Notifiers& pair = notifiers_[socket];
        const bool read = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
        const bool write = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
        SetNotifier(pair.read, socket, QSocketNotifier::Read, read, CURL_CSELECT_IN);
        SetNotifier(pair.write, socket, QSocketNotifier::Write, write, CURL_CSELECT_OUT);
        if (what == CURL_POLL_REMOVE) {
            notifiers_.erase(socket);
        }
    }

    struct NotifierDeleter {
        void operator()(QSocketNotifier* notifier) const {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    };
    using Notifier = std::unique_ptr<QSocketNotifier, NotifierDeleter>;
    struct Notifiers {
        Notifier read;
        Notifier write;
    };

    void SetNotifier(Notifier& notifier, curl_socket_t socket, QSocketNotifier::Type type,
                     bool wanted, int event) {
        if (!wanted) {
            notifier.reset();
            return;
        }
        if (!notifier) {
            notifier.reset(new QSocketNotifier(static_cast<qintptr>(socket), type));
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &context_,
                             [this, socket, event] { Act(socket, event); });
        }
        notifier->setEnabled(true);
    }

    void Act(curl_socket_t socket, int event) {
        int running = 0;
        curl_multi_socket_action(multi_, socket, event, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            void* priv = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &priv);
            const auto id = static_cast<DownloadId>(reinterpret_cast<std::uintptr_t>(priv));
            const CURLcode code = message->data.result;
            const auto found = transfers_.find(id);
            if (found == transfers_.end()) {
                continue;
            }
            curl_multi_remove_handle(multi_, found->second.handle.get());
            Finish(id, Outcome(found->second.handle.get(), code, found->second.body));
        }
    }

    // Hands the outcome to the event loop, so `done` never runs inside libcurl or inside
    // StartDownload, and may start or cancel downloads itself.
    void Finish(DownloadId id, HttpResponse response) {
        const auto found = transfers_.find(id);
        if (found == transfers_.end()) {
            return;
        }
        FetchDone done = std::move(found->second.done);
        Recycle(std::move(found->second.handle));
        transfers_.erase(found);
        delivered_.insert(id);
        QMetaObject::invokeMethod(
            &context_,
            [this, id, done = std::move(done), response = std::move(response)]() mutable {
                if (delivered_.erase(id) != 0) {
                    done(std::move(response));
                }
            },
            Qt::QueuedConnection);
    }

    CurlHttp& owner_;
    CURLM* multi_;
    QObject context_;  // queued calls and signal connections die with it
    QTimer timer_;
    std::map<DownloadId, Transfer> transfers_;
    std::map<curl_socket_t, Notifiers> notifiers_;
    std::set<DownloadId> delivered_;  // finished, their `done` still queued
    std::vector<CURL*> idle_;
    DownloadId last_id_ = 0;
};

CurlHttp::CurlHttp(HttpLimits limits, ProtocolSetter set_protocols)
    : limits_(std::move(limits)), set_protocols_(std::move(set_protocols)) {
    if (!set_protocols_) {
        set_protocols_ = [](void* handle, int option, const char* protocols) {
            return static_cast<int>(curl_easy_setopt(static_cast<CURL*>(handle),
                                                     static_cast<CURLoption>(option), protocols));
        };
    }
}

CurlHttp::~CurlHttp() = default;

HttpResponse CurlHttp::Fetch(const HttpRequest& request) {
    GlobalInit();  // at the first download, not at start-up
    if (!blocking_) {
        blocking_ = std::make_unique<Blocking>();
    }
    CURL* curl = blocking_->handle.get();
    if (curl == nullptr) {
        return {};
    }
    curl_easy_reset(curl);
    Body body;
    if (!Configure(curl, limits_, set_protocols_, request, body)) {
        return {};
    }
    const CURLcode code = curl_easy_perform(curl);
    blocking_->connections += ConnectsOf(curl);
    return Outcome(curl, code, body);
}

DownloadId CurlHttp::StartFetch(const HttpRequest& request, FetchDone done) {
    GlobalInit();
    if (!multi_) {
        multi_ = std::make_unique<Multi>(*this);
    }
    return multi_->Start(request, std::move(done));
}

void CurlHttp::CancelDownload(DownloadId id) {
    if (multi_) {
        multi_->Cancel(id);
    }
}

long CurlHttp::ConnectionsOpened() const {
    return (blocking_ ? blocking_->connections : 0) + (multi_ ? multi_->connections : 0);
}

}  // namespace vennadar
