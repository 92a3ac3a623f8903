// vennadar-sample-site: serves the bundled sample site on 127.0.0.1 until SIGINT or SIGTERM.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "sample-site/sample_site.h"

namespace {

constexpr int kDefaultPort = 8780;

void PrintUsage(std::ostream& out) {
    out << "Usage: vennadar-sample-site [--port N] [--update-version V] [--delay-ms MS]\n"
           "                            [--publish N] [--unavailable]\n"
           "Serves the bundled sample site on http://127.0.0.1:N (default "
        << kDefaultPort
        << ") until interrupted.\n"
           "  --port N            port to bind, 0 for any free one\n"
           "  --update-version V  version the update manifest announces\n"
           "  --delay-ms MS       hold every answer MS milliseconds (a slow network)\n"
           "  --publish N         put N new articles at the top of the home listing\n"
           "  --unavailable       answer every request 503; SIGUSR1 switches this on and off\n"
           "  --help              show this text\n";
}

bool ParsePort(std::string_view text, int& port) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    return error == std::errc() && end == text.data() + text.size() && port >= 0 && port <= 65535;
}

// A whole number from 0 to `max`.
bool ParseNumber(std::string_view text, int& value, int max) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0 && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
    vennadar::sample_site::SiteOptions options;
    options.port = kDefaultPort;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (arg == "--unavailable") {
            options.unavailable = true;
            continue;
        }
        if ((arg == "--port" || arg == "--update-version" || arg == "--delay-ms" ||
             arg == "--publish") &&
            i + 1 < argc) {
            const std::string_view value = argv[++i];
            if (arg == "--update-version") {
                options.update_version = std::string(value);
            } else if (arg == "--publish") {
                if (!ParseNumber(value, options.published, 1000)) {
                    std::cerr << "vennadar-sample-site: bad count: " << value << "\n";
                    return 2;
                }
            } else if (arg == "--delay-ms") {
                if (!ParseNumber(value, options.delay_ms, 600'000)) {
                    std::cerr << "vennadar-sample-site: bad delay: " << value << "\n";
                    return 2;
                }
            } else if (!ParsePort(value, options.port)) {
                std::cerr << "vennadar-sample-site: bad port: " << value << "\n";
                return 2;
            }
            continue;
        }
        std::cerr << "vennadar-sample-site: unknown argument: " << arg << "\n";
        PrintUsage(std::cerr);
        return 2;
    }

    // Block the stop signals before any thread exists, so every server thread inherits the mask
    // and only sigwait below ever receives them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    vennadar::sample_site::SampleSite site(options);
    if (!site.Start()) {
        std::cerr << "vennadar-sample-site: cannot listen on 127.0.0.1:" << options.port << "\n";
        return 1;
    }
    std::cout << "listening on " << site.BaseUrl() << std::endl;

    bool unavailable = options.unavailable;
    int received = 0;
    while (sigwait(&stop_signals, &received) == 0 && received == SIGUSR1) {
        unavailable = !unavailable;
        site.SetUnavailable(unavailable);
        std::cout << (unavailable ? "answering 503" : "answering again") << std::endl;
    }
    site.Stop();
    return 0;
}
