// Start-up timing shared by startup_baseline and startup_probe: both measure the same way, from
// the top of main() (and from exec, per /proc) to the end of the window's first painted frame.
#pragma once

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace startup_timing {

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Time since the kernel started the process (exec included), from /proc/self/stat's starttime.
// Its unit is a clock tick (10 ms on most systems), so it is coarse.
inline double MillisecondsSinceExec() {
    std::ifstream file("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) {
        return -1;
    }
    std::istringstream fields(stat.substr(name_end + 2));
    std::string field;
    // Field 3 (state) comes first; starttime is field 22.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const double start_s = std::strtod(field.c_str(), nullptr) / sysconf(_SC_CLK_TCK);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9 - start_s) * 1000.0;
}

// CPU time of all threads so far.
inline double CpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

inline long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Watches for the first paint of `window` (or a child) after Arm(). The frame is done once the
// paint pass that delivered it has returned to the event loop; then the figures are printed,
// and the application quits, optionally after `settle_ms` more of running (the peak memory is
// printed again then, once background work such as the sound pipeline has caught up).
class FirstPaintWatcher final : public QObject {
  public:
    FirstPaintWatcher(QWidget* window, Clock::time_point main_start, int settle_ms)
        : window_(window), main_start_(main_start), settle_ms_(settle_ms) {
        qApp->installEventFilter(this);
        // A window that never paints must not hang the measuring script.
        QTimer::singleShot(30'000, this, [] {
            std::fprintf(stderr, "no paint within 30 s\n");
            std::_Exit(2);
        });
    }

    void Arm() { armed_ = true; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (armed_ && !seen_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget == window_ || window_->isAncestorOf(widget)) {
                seen_ = true;
                QTimer::singleShot(0, this, [this] { FrameDone(); });
            }
        }
        return false;
    }

  private:
    void FrameDone() {
        const double main_ms = MillisecondsSince(main_start_);
        const double exec_ms = MillisecondsSinceExec();
        std::printf("first_paint_ms=%.2f since_exec_ms=%.1f cpu_ms=%.1f peak_rss_kb=%ld\n", main_ms,
                    exec_ms, CpuMilliseconds(), PeakRssKb());
        std::fflush(stdout);
        if (settle_ms_ <= 0) {
            QApplication::quit();
            return;
        }
        QTimer::singleShot(settle_ms_, this, [] {
            std::printf("settled_peak_rss_kb=%ld settled_cpu_ms=%.1f\n", PeakRssKb(),
                        CpuMilliseconds());
            std::fflush(stdout);
            QApplication::quit();
        });
    }

    QWidget* window_;
    Clock::time_point main_start_;
    int settle_ms_;
    bool armed_ = false;
    bool seen_ = false;
};

// "--settle-ms N" from the command line; 0 without it.
inline int SettleMilliseconds(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--settle-ms") {
            return std::atoi(argv[i + 1]);
        }
    }
    return 0;
}

}  // namespace startup_timing
