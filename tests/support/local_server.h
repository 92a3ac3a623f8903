#pragma once

#include <httplib.h>

#include <string>
#include <thread>

namespace vennadar::test {

// An httplib server on an ephemeral loopback port, run on its own thread for one test.
class LocalServer {
  public:
    LocalServer() = default;
    ~LocalServer() { Stop(); }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Server& server() { return server_; }

    bool Start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) {
            return false;
        }
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
        return true;
    }

    void Stop() {
        server_.stop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace vennadar::test
