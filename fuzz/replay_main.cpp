// Runs a fuzz target's entry point once on each file named on the command line, or on each file
// of each directory named there (sorted, not recursing, names starting with "." skipped). Lets
// the normal gcc build replay the committed regressions and seeds without libFuzzer.
//
//   fuzz_replay_<target> [--max-seconds=S] [--max-rss-mb=M] PATH...
//
// The budgets turn a hang or a memory blow-up into a failure, as libFuzzer's -timeout and
// -rss_limit_mb do: a watchdog ends the run as soon as one input takes longer than S seconds or
// the process holds more than M MiB, so a regressed parser fails fast instead of exhausting the
// machine.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Clock = std::chrono::steady_clock;

double g_max_seconds = 0;                      // 0: no limit
std::size_t g_max_rss_mb = 0;                  // 0: no limit
std::atomic<std::int64_t> g_input_started{0};  // steady-clock ticks; 0 between inputs
std::atomic<const char*> g_current{""};        // the input being run; lives until main ends

std::size_t ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0;
    std::size_t resident = 0;
    statm >> total >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

std::size_t PeakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) / 1024;
}

[[noreturn]] void Fail(const char* what, double amount, double limit) {
    std::fprintf(stderr, "FAILED: %s: %s %.1f over the budget of %.1f\n", g_current.load(), what,
                 amount, limit);
    std::fflush(stderr);
    std::_Exit(3);
}

void Watch() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::int64_t started = g_input_started.load();
        if (started == 0) {
            continue;
        }
        if (g_max_seconds > 0) {
            const double seconds = std::chrono::duration<double>(Clock::now().time_since_epoch() -
                                                                 Clock::duration(started))
                                       .count();
            if (seconds > g_max_seconds) {
                Fail("seconds", seconds, g_max_seconds);
            }
        }
        if (g_max_rss_mb > 0) {
            const std::size_t resident = ResidentMegabytes();
            if (resident > g_max_rss_mb) {
                Fail("resident MiB", static_cast<double>(resident),
                     static_cast<double>(g_max_rss_mb));
            }
        }
    }
}

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // An allocation of exactly the input's size (even none), as libFuzzer gives, so that a
    // sanitized build catches a read past the end.
    const std::size_t size = bytes.size();
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), size);

    g_current.store(path.c_str());
    const Clock::time_point start = Clock::now();
    g_input_started.store(start.time_since_epoch().count());
    LLVMFuzzerTestOneInput(copy.get(), size);
    g_input_started.store(0);

    // The watchdog samples; these two catch what happened between its looks.
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (g_max_seconds > 0 && seconds > g_max_seconds) {
        Fail("seconds", seconds, g_max_seconds);
    }
    if (g_max_rss_mb > 0 && PeakResidentMegabytes() > g_max_rss_mb) {
        Fail("peak resident MiB", static_cast<double>(PeakResidentMegabytes()),
             static_cast<double>(g_max_rss_mb));
    }
    return true;
}

bool ParseOption(std::string_view arg) {
    constexpr std::string_view kSeconds = "--max-seconds=";
    constexpr std::string_view kRss = "--max-rss-mb=";
    if (arg.substr(0, kSeconds.size()) == kSeconds) {
        g_max_seconds = std::strtod(std::string(arg.substr(kSeconds.size())).c_str(), nullptr);
        return true;
    }
    if (arg.substr(0, kRss.size()) == kRss) {
        g_max_rss_mb = std::strtoul(std::string(arg.substr(kRss.size())).c_str(), nullptr, 10);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        if (!ParseOption(argv[i])) {
            paths.emplace_back(argv[i]);
        }
    }
    if (g_max_seconds > 0 || g_max_rss_mb > 0) {
        std::thread(Watch).detach();
    }
    std::vector<std::filesystem::path> files;
    for (const auto& arg : paths) {
        if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> entries;
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    entries.push_back(entry.path());
                }
            }
            std::sort(entries.begin(), entries.end());
            files.insert(files.end(), entries.begin(), entries.end());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "no such file or directory: %s\n", arg.c_str());
            return 2;
        }
    }
    for (const auto& file : files) {
        if (!RunFile(file)) {
            return 2;
        }
    }
    // Reaching here means no input aborted or ran over its budget.
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
