// The listing action against its floor: the bare download of a listing page, then the whole
// action on the real main window (download, conversion, parse, rows in the list), against the
// sample site in this process. The sample site compresses every page (Brotli, since CurlHttp
// accepts any encoding), which costs it several milliseconds a page; the /1 variants fetch the
// same page from a plain local server instead, leaving the reader's own cost.
// Before the benchmarks, a memory check: resident memory after start-up and after browsing 50
// (then 100) listing pages with the real sound player. The WithStore variants run the same
// action with the reader's memory in a temporary folder: against the sample site a revisit is
// answered 304 from the kept copy, against the plain server (no validators) every page is 200
// and kept again. MarksFromStore times the read and new marks of a page of rows from a store
// that knows 10,000 articles.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "adapters/audio/qt_sound_player.h"
#include "adapters/curl/curl_http.h"
#include "adapters/qt/qt_services.h"
#include "adapters/sqlite/sqlite_store.h"
#include "core/commands/startup.h"
#include "core/listing/category_table.h"
#include "core/listing/navigation.h"
#include "core/state/app_state.h"
#include "core/wait/wait.h"
#include "gui/main_window.h"
#include "sample-site/sample_site.h"

namespace vennadar {
namespace {

class SilentSounds final : public SoundPlayer {
  public:
    void Play(EmbeddedSound /*sound*/) override {}
};

class OkDialogs final : public Dialogs {
  public:
    int ShowMessage(const Text& /*text*/, const Text& /*title*/, int /*style*/) override {
        return kAnswerOk;
    }
    std::optional<std::string> AskSavePath(const Text& /*proposed_name*/,
                                           const Text& /*filter_description*/,
                                           const std::string& /*filter_pattern*/) override {
        return std::nullopt;
    }
};

// A field of /proc/self/status in kB, e.g. "VmRSS".
long StatusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

// Turns the event loop until the action's download has arrived and been shown.
void Settle(const AppState& state) {
    while (IsWaiting(state)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

// Runs the event loop for a while, as the program would between two actions.
void RunEvents(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts paint events of one widget.
class PaintCounter final : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

// The real main window with the real download service, started as the program starts it.
struct Reader {
    Reader(const std::string& site_base, SoundPlayer& sounds, Store* store = nullptr)
        : services{http, sounds, dialogs, desktop, DefaultBuildSettings()} {
        services.settings.site_base = site_base;
        services.store = store;
        window = std::make_unique<MainWindow>(*state, services);
        window->show();
        MainWindowCreated(*state, *window, services);
        list = window->findChild<QTreeWidget*>();
        list->viewport()->installEventFilter(&paint_counter);
        RunEvents(300);
    }

    std::unique_ptr<AppState> state = InitializeGlobals();
    CurlHttp http;
    OkDialogs dialogs;
    QtDesktop desktop;  // no listing step reaches it
    Services services;
    PaintCounter paint_counter;
    std::unique_ptr<MainWindow> window;
    QTreeWidget* list = nullptr;
};

// Serves one page as it is, never compressed (httplib compresses text types only).
class PlainServer {
  public:
    PlainServer(std::string path, std::string body) {
        server_.Get(path,
                    [body = std::move(body)](const httplib::Request&, httplib::Response& response) {
                        response.set_content(body, "application/octet-stream");
                    });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (port_ > 0 && !server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~PlainServer() {
        server_.stop();
        thread_.join();
    }
    PlainServer(const PlainServer&) = delete;
    PlainServer& operator=(const PlainServer&) = delete;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

std::string g_site_base;
std::string g_plain_base;
std::string g_store_folder;
Reader* g_silent_reader = nullptr;
Reader* g_sound_reader = nullptr;
Reader* g_stored_reader = nullptr;

// The base address a benchmark's argument picks: 0 the sample site, 1 the plain server.
const std::string& BaseFor(const benchmark::State& state) {
    return state.range(0) == 0 ? g_site_base : g_plain_base;
}

using Clock = std::chrono::steady_clock;
constexpr auto kStall = std::chrono::milliseconds(500);

int PageCount(std::size_t category) {
    const std::string_view slug = kCategoryTable[category].slug;
    const std::size_t articles = slug.empty() ? sample_site::Articles().size()
                                              : sample_site::ArticlesInCategory(slug).size();
    return std::max(
        1, static_cast<int>((articles + sample_site::kPageSize - 1) / sample_site::kPageSize));
}

struct BrowseResult {
    int empty_pages = 0;  // pages that came back without rows
    int stalls = 0;       // actions that held the window for over kStall
};

// Browses `pages` listing pages as a user would: a category from the category list, its pages
// one after another, back to the category list, the next category; the event loop runs a
// little between two actions, as between two key presses.
BrowseResult Browse(Reader& reader, int pages, std::size_t& next_category) {
    AppState& state = *reader.state;
    MainWindow& window = *reader.window;
    BrowseResult result;
    int shown = 0;
    auto act = [&](auto action) {
        const Clock::time_point start = Clock::now();
        action();
        result.stalls += Clock::now() - start > kStall ? 1 : 0;  // the window held, not the wait
        Settle(state);
        RunEvents(10);
    };
    auto count = [&] {
        ++shown;
        result.empty_pages += state.current_rows.empty() ? 1 : 0;
    };
    while (shown < pages) {
        const std::size_t category = next_category++ % kCategoryTable.size();
        act([&] { ShowCategoryList(state, window, reader.services); });
        window.SetSelectedIndex(static_cast<int>(category));
        act([&] { ActivateListItem(state, window, reader.services); });
        count();
        for (int page = 2; page <= PageCount(category) && shown < pages; ++page) {
            act([&] { NextPage(state, window, reader.services); });
            count();
        }
    }
    return result;
}

// Fetches every listing page a few times, so the site's own buffers (one set per server
// thread) are in place before the reader's memory is measured.
void WarmUpSite() {
    CurlHttp curl;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t category = 0; category < kCategoryTable.size(); ++category) {
            const std::string_view slug = kCategoryTable[category].slug;
            for (int page = 1; page <= PageCount(category); ++page) {
                const std::string path = slug.empty() ? "/page/" + std::to_string(page)
                                                      : "/category/" + std::string(slug) +
                                                            "/page/" + std::to_string(page);
                curl.Download(g_site_base + path);
            }
        }
    }
}

void MemoryCheck(Reader& reader, long site_warm_up_kb) {
    const long after_start = StatusKb("VmRSS");
    std::size_t next_category = 0;
    const BrowseResult first = Browse(reader, 50, next_category);
    RunEvents(500);
    const long after_50 = StatusKb("VmRSS");
    const BrowseResult second = Browse(reader, 50, next_category);
    RunEvents(500);
    const long after_100 = StatusKb("VmRSS");
    std::printf(
        "memory: rss_after_startup_kb=%ld rss_after_50_pages_kb=%ld "
        "rss_after_100_pages_kb=%ld growth_first_50_kb=%ld growth_next_50_kb=%ld "
        "hwm_kb=%ld empty_pages=%d stalled_actions=%d (site warm-up, not counted: "
        "%ld kB)\n",
        after_start, after_50, after_100, after_50 - after_start, after_100 - after_50,
        StatusKb("VmHWM"), first.empty_pages + second.empty_pages, first.stalls + second.stalls,
        site_warm_up_kb);
    std::fflush(stdout);
}

void BM_BareDownload(benchmark::State& state) {
    CurlHttp curl;
    const std::string address = BaseFor(state) + "/page/1";
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::optional<std::string> body = curl.Download(address);
        if (!body) {
            state.SkipWithError("download failed");
            break;
        }
        bytes = body->size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BareDownload)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// LoadListing of the home listing's first page, until its rows are shown; `paint` also lets the
// window repaint the new rows before the next action.
void ListingAction(benchmark::State& state, Reader& reader, bool paint) {
    AppState& app = *reader.state;
    app.listing_query = ListingQuery{1, false, false, {}};
    reader.services.settings.site_base = BaseFor(state);
    RunEvents(50);
    const int paints_before = reader.paint_counter.paints;
    int stalls = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        LoadListing(app, *reader.window, reader.services);
        Settle(app);
        if (paint) {
            QApplication::processEvents();
        }
        stalls += Clock::now() - start > kStall ? 1 : 0;
    }
    const int rows = reader.window->RowCount();
    reader.services.settings.site_base = g_site_base;
    if (rows != sample_site::kPageSize) {
        state.SkipWithError("the listing did not show a full page");
    }
    state.counters["rows"] = rows;
    state.counters["paints"] = benchmark::Counter(reader.paint_counter.paints - paints_before,
                                                  benchmark::Counter::kAvgIterations);
    state.counters["stalls"] = stalls;
}

void BM_ListingAction(benchmark::State& state) {
    ListingAction(state, *g_silent_reader, /*paint=*/false);
}
BENCHMARK(BM_ListingAction)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ListingActionAndRepaint(benchmark::State& state) {
    ListingAction(state, *g_silent_reader, /*paint=*/true);
}
BENCHMARK(BM_ListingActionAndRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// With the real sound player: each action restarts the listing sound. Actions follow each
// other with one pass of the event loop between them, as when a key is held down.
void BM_ListingActionRealSound(benchmark::State& state) {
    ListingAction(state, *g_sound_reader, /*paint=*/true);
}
BENCHMARK(BM_ListingActionRealSound)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ListingActionWithStore(benchmark::State& state) {
    ListingAction(state, *g_stored_reader, /*paint=*/false);
}
BENCHMARK(BM_ListingActionWithStore)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_MarksFromStore(benchmark::State& state) {
    SqliteStoreOptions options;
    options.path = g_store_folder + "/marks.sqlite";
    SqliteStore store(options);
    std::vector<std::string> page;
    for (int listing = 0; listing < 1000; ++listing) {
        page.clear();
        for (int row = 0; row < sample_site::kPageSize; ++row) {
            page.push_back("http://127.0.0.1:8780/archives/" +
                           std::to_string(listing * sample_site::kPageSize + row) + ".html");
        }
        store.NoteListed("http://127.0.0.1:8780/page/" + std::to_string(listing + 1), page);
        store.NoteRead(page[static_cast<std::size_t>(listing % sample_site::kPageSize)]);
    }
    store.WaitUntilIdle();
    std::size_t read = 0;
    for (auto _ : state) {
        const ListingMarks marks = store.MarksFor("http://127.0.0.1:8780/page/1000", page);
        read = static_cast<std::size_t>(std::count(marks.read.begin(), marks.read.end(), true));
        benchmark::DoNotOptimize(read);
    }
    if (read != 1) {
        state.SkipWithError("the marks are not what was written");
    }
}
BENCHMARK(BM_MarksFromStore)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }

    vennadar::sample_site::SampleSite site;
    if (!site.Start()) {
        std::fprintf(stderr, "the sample site did not start\n");
        return 1;
    }
    vennadar::g_site_base = site.BaseUrl();
    const long before_warm_up = vennadar::StatusKb("VmRSS");
    vennadar::WarmUpSite();
    const long site_warm_up_kb = vennadar::StatusKb("VmRSS") - before_warm_up;

    vennadar::QtSoundPlayer sounds;
    vennadar::Reader sound_reader(vennadar::g_site_base, sounds);
    vennadar::g_sound_reader = &sound_reader;
    vennadar::MemoryCheck(sound_reader, site_warm_up_kb);

    vennadar::CurlHttp curl;
    const std::optional<std::string> page = curl.Download(vennadar::g_site_base + "/page/1");
    if (!page) {
        std::fprintf(stderr, "the sample site did not serve /page/1\n");
        return 1;
    }
    vennadar::PlainServer plain("/page/1", *page);
    vennadar::g_plain_base = plain.BaseUrl();

    vennadar::SilentSounds silent;
    vennadar::Reader silent_reader(vennadar::g_site_base, silent);
    vennadar::g_silent_reader = &silent_reader;

    std::string folder =
        (std::filesystem::temp_directory_path() / "vennadar-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::fprintf(stderr, "no temporary folder for the store\n");
        return 1;
    }
    vennadar::g_store_folder = folder;
    {
        vennadar::SqliteStoreOptions options;
        options.path = folder + "/reader.sqlite";
        vennadar::SqliteStore store(options);
        store.WaitUntilIdle();
        vennadar::Reader stored_reader(vennadar::g_site_base, silent, &store);
        vennadar::g_stored_reader = &stored_reader;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    std::filesystem::remove_all(folder);
    return 0;
}
