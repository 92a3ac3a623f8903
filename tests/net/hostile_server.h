#pragma once

// A TCP server on loopback that misbehaves on purpose, byte by byte, and the few HTTP responses
// the misbehaving tests are built from.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vennadar::test {

// A loopback server whose every connection runs `behaviour` on a thread of its own. Stop() wakes
// each connection, whatever it is doing, and joins it promptly, so no test hangs on teardown.
class RawServer {
  public:
    class Peer {
      public:
        // The request head up to its blank line; empty once the client has gone.
        std::string ReadRequest() {
            std::string head;
            char buffer[4096];
            while (head.find("\r\n\r\n") == std::string::npos) {
                if (head.size() > 65536 || !WaitFor(POLLIN)) {
                    return {};
                }
                const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    return {};
                }
                head.append(buffer, static_cast<std::size_t>(got));
            }
            ++server_.requests_;
            return head;
        }

        // False once the client has gone or the server is stopping.
        bool Send(std::string_view bytes) {
            while (!bytes.empty()) {
                if (!WaitFor(POLLOUT)) {
                    return false;
                }
                const ssize_t sent = ::send(
                    fd_, bytes.data(), std::min<std::size_t>(bytes.size(), 65536), MSG_NOSIGNAL);
                if (sent <= 0) {
                    return false;
                }
                bytes.remove_prefix(static_cast<std::size_t>(sent));
            }
            return true;
        }

        // False when the client hangs up or the server stops meanwhile.
        bool Pause(std::chrono::milliseconds duration) {
            const auto until = std::chrono::steady_clock::now() + duration;
            while (std::chrono::steady_clock::now() < until) {
                if (server_.stopping_ || fd_ < 0) {
                    return false;
                }
                pollfd p{fd_, POLLRDHUP, 0};
                if (::poll(&p, 1, 20) > 0) {
                    return false;
                }
            }
            return true;
        }

        // Closes with a zero linger time: the client sees a reset, not an end of the stream.
        void Reset() {
            const linger abrupt{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
            Close();
        }

      private:
        friend class RawServer;
        Peer(RawServer& server, int fd) : server_(server), fd_(fd) {}

        bool WaitFor(short events) {
            while (!server_.stopping_ && fd_ >= 0) {
                pollfd p{fd_, events, 0};
                if (::poll(&p, 1, 20) > 0) {
                    return (p.revents & events) != 0 && (p.revents & (POLLERR | POLLNVAL)) == 0;
                }
            }
            return false;
        }

        void Close() {
            if (fd_ >= 0) {
                server_.Forget(fd_);
                fd_ = -1;
            }
        }

        RawServer& server_;
        int fd_;
    };

    using Behaviour = std::function<void(Peer&)>;

    explicit RawServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {}
    ~RawServer() { Stop(); }
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    bool Start() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return false;
        }
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
        return true;
    }

    void Stop() {
        stopping_ = true;
        if (acceptor_.joinable()) {
            acceptor_.join();
        }
        {
            const std::lock_guard lock(mutex_);
            for (const int fd : open_) {
                ::shutdown(fd, SHUT_RDWR);  // wakes a send or receive under way
            }
        }
        for (std::thread& handler : handlers_) {
            handler.join();
        }
        handlers_.clear();
        if (listener_ >= 0) {
            ::close(listener_);
            listener_ = -1;
        }
    }

    std::string Base(const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }
    int connections() const { return connections_; }
    int requests() const { return requests_; }

  private:
    void AcceptLoop() {
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                continue;
            }
            ++connections_;
            {
                const std::lock_guard lock(mutex_);
                open_.insert(fd);
            }
            handlers_.emplace_back([this, fd] {
                Peer peer(*this, fd);
                behaviour_(peer);
                peer.Close();
            });
        }
    }

    void Forget(int fd) {
        const std::lock_guard lock(mutex_);
        open_.erase(fd);
        ::close(fd);
    }

    Behaviour behaviour_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> requests_{0};
    std::thread acceptor_;
    std::vector<std::thread> handlers_;  // touched by the acceptor, then by Stop after it ends
    std::mutex mutex_;
    std::set<int> open_;
};

// A response head that announces `length` body bytes.
inline std::string LengthHead(std::size_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

// Waits for the request and sends `head`; false when either did not happen.
inline bool Answer(RawServer::Peer& peer, const std::string& head) {
    return !peer.ReadRequest().empty() && peer.Send(head);
}

inline void Respond(RawServer::Peer& peer, const std::string& body) {
    if (Answer(peer, LengthHead(body.size()))) {
        peer.Send(body);
    }
}

inline void Redirect(RawServer::Peer& peer, const std::string& location) {
    Answer(peer, "HTTP/1.1 302 Found\r\nLocation: " + location +
                     "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

// One chunk of a chunked body.
inline std::string Chunk(std::string_view data) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + std::string(data) + "\r\n";
}

// Sends `body` and then spaces up to `total` bytes, without holding them all at once.
inline bool SendPadded(RawServer::Peer& peer, const std::string& body, std::size_t total) {
    static const std::string block(65536, ' ');
    if (!peer.Send(body)) {
        return false;
    }
    for (std::size_t sent = body.size(); sent < total; sent += block.size()) {
        if (!peer.Send(std::string_view(block).substr(0, std::min(block.size(), total - sent)))) {
            return false;
        }
    }
    return true;
}

}  // namespace vennadar::test
