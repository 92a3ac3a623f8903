// A long session through the real main window against the sample site: a thousand user actions in
// a fixed pseudo-random order. Every step is checked against what the site holds, no window or
// message box may be left behind, and resident memory must level off once the program has warmed
// up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "adapters/curl/curl_http.h"
#include "core/commands/startup.h"
#include "core/wait/wait.h"
#include "gui/article_window.h"
#include "gui/main_window.h"
#include "sample-site/sample_site.h"
#include "support/fakes.h"
#include "support/settle.h"

#if defined(__SANITIZE_ADDRESS__)
#define VENNADAR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VENNADAR_UNDER_ASAN 1
#endif
#endif
#ifdef VENNADAR_UNDER_ASAN
// The sanitizer runtime's own count (its header is not shipped with every compiler).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

// Freed blocks wait in the sanitizer's quarantine before reuse (256 MiB by default), which would
// read as growth; a smaller one still catches a use after free of anything recent. ASAN_OPTIONS
// can still override it.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
#endif

namespace vennadar {
namespace {

constexpr int kActions = 1000;
constexpr int kWarmUpActions = 100;
#ifdef VENNADAR_UNDER_ASAN
// Red zones, allocation stacks and the quarantine make the same steady state sit higher.
constexpr std::int64_t kAllowedGrowthKiB = 32 * 1024;
#else
constexpr std::int64_t kAllowedGrowthKiB = 8 * 1024;
#endif

// Resident set size of this process in KiB, from /proc/self/status; -1 when unreadable.
std::int64_t ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            std::int64_t kib = -1;
            fields >> kib;
            return kib;
        }
    }
    return -1;
}

// Bytes of the heap in use (not counting the quarantine); -1 where the allocator does not say.
std::int64_t LiveHeapKiB() {
#ifdef VENNADAR_UNDER_ASAN
    return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return -1;
#endif
}

// A fixed sequence on every platform (the standard distributions are not).
class SplitMix {
  public:
    explicit SplitMix(std::uint64_t seed) : state_(seed) {}
    int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }

  private:
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t state_;
};

// Message boxes are answered at once (No to a question, so no music starts) and only the ones of
// the current step are kept: a long session must not grow the test's own records.
class AnsweringDialogs final : public Dialogs {
  public:
    int ShowMessage(const Text& text, const Text&, int style) override {
        texts.push_back(GbkToUtf8(text));
        return (style & 0x0F) == kStyleYesNo ? kAnswerNo : kAnswerOk;
    }
    std::optional<std::string> AskSavePath(const Text&, const Text&, const std::string&) override {
        return std::nullopt;
    }
    std::vector<std::string> texts;
};

class SilentSounds final : public SoundPlayer {
  public:
    void Play(EmbeddedSound) override {}
};

// The category list as the user sees it, with the site's slug of each; written out here, not
// taken from the program's table.
struct ShownCategory {
    const char* name;
    const char* slug;  // empty: the home listing
};
const ShownCategory kCategories[] = {
    {"最新文章", ""},     {"最新动态", "zxdt"}, {"经典习题", "jdxt"},
    {"高考试题", "gkst"}, {"知识归纳", "zsgn"}, {"教材相关", "jcxg"},
    {"课外知识", "kyzs"}, {"文艺展示", "wyzs"}, {"学习工具", "xxgj"}};

// What the list should show, kept from the user's side: which listing, which page.
struct Expected {
    bool categories = true;
    std::string slug;  // empty: the home listing
    bool search = false;
    std::string box;     // what the search box holds
    std::string listed;  // what it held when the list was loaded: paging searches for that
    int page = 1;
    int last_category = 0;
    int selected = 0;  // the current row of a listing
};

std::vector<const sample_site::Article*> ListingArticles(const Expected& expected) {
    if (expected.search && !expected.listed.empty()) {
        return sample_site::SearchArticles(expected.listed);
    }
    // A search paged after the box was emptied asks the site for no keyword, which is its home
    // listing.
    if (!expected.search && !expected.slug.empty()) {
        return sample_site::ArticlesInCategory(expected.slug);
    }
    std::vector<const sample_site::Article*> all;
    for (const sample_site::Article& article : sample_site::Articles()) {
        all.push_back(&article);
    }
    return all;
}

int PageCount(const Expected& expected) {
    const int count = static_cast<int>(ListingArticles(expected).size());
    return (count + sample_site::kPageSize - 1) / sample_site::kPageSize;
}

QStringList ExpectedRows(const Expected& expected) {
    QStringList rows;
    if (expected.categories) {
        for (const ShownCategory& category : kCategories) {
            rows << QString::fromUtf8(category.name);
        }
        return rows;
    }
    const auto articles = ListingArticles(expected);
    const std::size_t first = static_cast<std::size_t>(expected.page - 1) * sample_site::kPageSize;
    for (std::size_t i = first; i < articles.size() && i < first + sample_site::kPageSize; ++i) {
        rows << QString::fromStdString(articles[i]->title + ":发表日期：" + articles[i]->date +
                                       ":点击：" + std::to_string(articles[i]->clicks));
    }
    return rows;
}

// The reader offers to play an article's music when a player element stands on one line (one
// article of the site breaks its only player over two lines).
bool OffersMusic(const sample_site::Article& article) {
    static const std::regex kOneLinePlayer(R"(<audio [^\n]*src="[^"]+"[^\n]*></audio>)");
    return std::regex_search(article.body_html, kOneLinePlayer);
}

// The search listing marks the keyword in each title, and the title is taken as listed.
QString WithoutSearchMarks(QString text) {
    return text.remove(QStringLiteral("<span class=\"hl\">")).remove(QStringLiteral("</span>"));
}

// Rows as UTF-8, so a failure prints them readably.
std::vector<std::string> Utf8(const QStringList& rows) {
    std::vector<std::string> utf8;
    for (const QString& row : rows) {
        utf8.push_back(row.toStdString());
    }
    return utf8;
}

enum class Action { ChooseCategory, Next, Previous, FirstPage, Search, OpenArticle, Back };

const char* ActionName(Action action) {
    switch (action) {
        case Action::ChooseCategory:
            return "choose category";
        case Action::Next:
            return "next page";
        case Action::Previous:
            return "previous page";
        case Action::FirstPage:
            return "first page";
        case Action::Search:
            return "search";
        case Action::OpenArticle:
            return "open and close an article";
        case Action::Back:
            return "back to categories";
    }
    return "?";
}

class LongRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site_.Start());
        services_.settings.site_base = site_.BaseUrl();
        services_.settings.update_check = false;
        window_ = std::make_unique<MainWindow>(*state_, services_);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        MainWindowCreated(*state_, *window_, services_);
        top_level_windows_ = QApplication::topLevelWidgets().size();
    }

    void TearDown() override {
        window_.reset();
        QApplication::processEvents();
    }

    template <typename T>
    T* Find(const char* name) const {
        return window_->findChild<T*>(QString::fromUtf8(name));
    }
    QTreeWidget* List() const { return Find<QTreeWidget>("超级列表框1"); }
    void Settle() const {
        test::Settle(*state_);
        QApplication::processEvents();
    }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }

    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            rows << WithoutSearchMarks(List()->topLevelItem(i)->text(0));
        }
        return rows;
    }

    // The actions a user could take now; categories are chosen, articles opened from the list.
    std::vector<Action> Available() const {
        std::vector<Action> actions{Action::Search};
        if (expected_.categories) {
            actions.insert(actions.end(), 4, Action::ChooseCategory);
        } else {
            actions.insert(actions.end(), 3, Action::OpenArticle);
            actions.push_back(Action::Back);
        }
        if (Button("按钮2")->isEnabled()) {
            actions.insert(actions.end(), 3, Action::Next);
        }
        if (Button("按钮1")->isEnabled()) {
            actions.insert(actions.end(), 2, Action::Previous);
        }
        if (Button("按钮4")->isEnabled()) {
            actions.insert(actions.end(), 2, Action::FirstPage);
        }
        return actions;
    }

    // Performs one action through the window and checks what the user then sees. Returns the
    // number of user steps it took.
    int Perform(Action action) {
        dialogs_.texts.clear();
        std::vector<std::string> messages;
        const int selected_before = expected_.selected;
        expected_.selected = 0;  // a listing shown afresh starts at its first row
        int steps = 1;
        switch (action) {
            case Action::ChooseCategory: {
                const int index = rng_.Below(static_cast<int>(std::size(kCategories)));
                window_->SetSelectedIndex(index);
                QTest::keyClick(List(), Qt::Key_Return);
                expected_.categories = false;
                expected_.slug = kCategories[index].slug;
                expected_.search = false;
                expected_.page = 1;
                expected_.last_category = index;
                break;
            }
            case Action::Next:
                expected_.listed = expected_.box;  // paging loads what the box holds now
                QTest::mouseClick(Button("按钮2"), Qt::LeftButton);
                if (expected_.page >= PageCount(expected_)) {
                    messages.push_back("没有下一页了。");  // and the same page again
                } else {
                    ++expected_.page;
                }
                break;
            case Action::Previous:
                expected_.listed = expected_.box;
                QTest::mouseClick(Button("按钮1"), Qt::LeftButton);
                --expected_.page;
                break;
            case Action::FirstPage:
                QTest::mouseClick(Button("按钮4"), Qt::LeftButton);
                // The first page of the listing the search started from.
                expected_.categories = false;
                expected_.search = false;
                expected_.page = 1;
                break;
            case Action::Search: {
                const std::string& keyword = keywords_[static_cast<std::size_t>(
                    rng_.Below(static_cast<int>(keywords_.size())))];
                Find<QLineEdit>("超级编辑框1")->setText(QString::fromStdString(keyword));
                QTest::mouseClick(Button("按钮3"), Qt::LeftButton);
                expected_.box = keyword;
                if (keyword.empty()) {
                    messages.push_back("搜索内容不能为空");
                    expected_.selected = selected_before;
                    break;
                }
                expected_.listed = keyword;
                expected_.categories = false;
                expected_.search = true;
                expected_.page = 1;
                if (PageCount(expected_) == 0) {
                    messages.push_back("没有搜索到内容，不如换个关键词试试");
                }
                break;
            }
            case Action::OpenArticle:
                steps = 2;
                if (!OpenAndCloseArticle(messages)) {
                    return -1;
                }
                break;
            case Action::Back:
                QTest::keyClick(List(), Qt::Key_Backspace);
                expected_.categories = true;
                expected_.slug.clear();
                expected_.search = false;
                break;
        }
        Settle();
        SCOPED_TRACE(::testing::Message()
                     << "expected " << (expected_.categories ? "categories" : "a listing")
                     << ", category \"" << expected_.slug << "\", search " << expected_.search
                     << " for \"" << expected_.listed << "\", page " << expected_.page);
        EXPECT_EQ(Utf8(Rows()), Utf8(ExpectedRows(expected_)));
        EXPECT_EQ(dialogs_.texts, messages);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(QApplication::topLevelWidgets().size(), top_level_windows_);
        if (expected_.categories) {
            EXPECT_EQ(window_->SelectedIndex(), expected_.last_category);
        } else {
            EXPECT_EQ(window_->SelectedIndex(), Rows().isEmpty() ? -1 : expected_.selected);
        }
        return steps;
    }

    bool OpenAndCloseArticle(std::vector<std::string>& messages) {
        const QStringList rows = Rows();
        if (rows.isEmpty()) {
            return true;  // nothing to open on an empty search listing
        }
        const int row = rng_.Below(static_cast<int>(rows.size()));
        const auto articles = ListingArticles(expected_);
        const sample_site::Article& article = *articles[static_cast<std::size_t>(
            (expected_.page - 1) * sample_site::kPageSize + row)];
        if (OffersMusic(article)) {
            messages.push_back("这篇文章含有音乐，是否播放，点是开始播放，点否不播放");
        }
        window_->SetSelectedIndex(row);
        expected_.selected = row;
        QTest::keyClick(List(), Qt::Key_Return);
        Settle();
        QPointer<ArticleWindow> reader = window_->findChild<ArticleWindow*>();
        if (reader.isNull()) {
            ADD_FAILURE() << "no article window for " << article.title;
            return false;
        }
        EXPECT_EQ(WithoutSearchMarks(reader->windowTitle()).toStdString(), article.title);
        EXPECT_EQ(QApplication::activeModalWidget(), reader.data());
        auto* body = reader->findChild<QPlainTextEdit*>("超级编辑框1");
        EXPECT_FALSE(body->toPlainText().isEmpty()) << article.title;
        // The ways a reader leaves the window: the three close keys in the body, or the window
        // manager's close.
        switch (rng_.Below(4)) {
            case 0:
                QTest::keyClick(body, Qt::Key_Space);
                break;
            case 1:
                QTest::keyClick(body, Qt::Key_Return);
                break;
            case 2:
                QTest::keyClick(body, Qt::Key_Backspace);
                break;
            default:
                reader->close();
                break;
        }
        if (!QTest::qWaitFor([&] { return reader.isNull(); }, 5000)) {
            ADD_FAILURE() << "the article window stayed open: " << article.title;
            return false;
        }
        return true;
    }

    sample_site::SampleSite site_;
    std::unique_ptr<AppState> state_ = InitializeGlobals();
    CurlHttp http_;
    SilentSounds sounds_;
    AnsweringDialogs dialogs_;
    test::FakeDesktop desktop_;
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
    std::unique_ptr<MainWindow> window_;
    qsizetype top_level_windows_ = 0;

    SplitMix rng_{20240611};
    Expected expected_;
    // Keywords with many hits, a few, one page's worth, none, and an empty box.
    const std::vector<std::string> keywords_{"定理", "方程", "的", "诗", "没有这样的词", ""};
};

TEST_F(LongRun, ThousandActionsKeepTheWindowRightAndMemoryLevel) {
    ASSERT_EQ(Utf8(Rows()), Utf8(ExpectedRows(expected_)));
    std::int64_t warm_kib = -1;
    std::int64_t warm_heap_kib = -1;
    int done = 0;
    int performed[7] = {};
    const auto start = std::chrono::steady_clock::now();
    auto measured_from = start;
    while (done < kActions) {
        const std::vector<Action> actions = Available();
        const Action action =
            actions[static_cast<std::size_t>(rng_.Below(static_cast<int>(actions.size())))];
        SCOPED_TRACE(::testing::Message() << "action " << done << ": " << ActionName(action));
        const int steps = Perform(action);
        ASSERT_GT(steps, 0);
        ASSERT_FALSE(HasFailure()) << "stopped at the first wrong step";
        ++performed[static_cast<int>(action)];
        const bool warmed_up = done < kWarmUpActions && done + steps >= kWarmUpActions;
        done += steps;
        if (warmed_up) {
            QApplication::processEvents();
            warm_kib = ResidentKiB();
            warm_heap_kib = LiveHeapKiB();
            measured_from = std::chrono::steady_clock::now();
        }
    }
    QApplication::processEvents();
    const std::int64_t end_kib = ResidentKiB();
    const std::int64_t end_heap_kib = LiveHeapKiB();
    const auto end = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    const double measured_seconds = std::chrono::duration<double>(end - measured_from).count();

    std::printf("long run: %d actions in %.1f s (%.1f actions/s)\n", done, seconds, done / seconds);
    std::printf(
        "long run: RSS after %d warm-up actions %lld KiB, at the end %lld KiB, growth "
        "%lld KiB over %d actions in %.1f s (bound %lld KiB)\n",
        kWarmUpActions, static_cast<long long>(warm_kib), static_cast<long long>(end_kib),
        static_cast<long long>(end_kib - warm_kib), done - kWarmUpActions, measured_seconds,
        static_cast<long long>(kAllowedGrowthKiB));
    std::printf(
        "long run: categories %d, next %d, previous %d, first page %d, search %d, "
        "articles %d, back %d\n",
        performed[0], performed[1], performed[2], performed[3], performed[4], performed[5],
        performed[6]);
    if (end_heap_kib >= 0) {
        std::printf("long run: heap in use after warm-up %lld KiB, at the end %lld KiB\n",
                    static_cast<long long>(warm_heap_kib), static_cast<long long>(end_heap_kib));
    }
    std::fflush(stdout);

    // Every kind of action came up often enough to matter.
    for (int kind = 0; kind < 7; ++kind) {
        EXPECT_GE(performed[kind], 20) << ActionName(static_cast<Action>(kind));
    }
    ASSERT_GT(warm_kib, 0);
    EXPECT_LT(end_kib - warm_kib, kAllowedGrowthKiB);
    // Where the allocator counts what is in use, that must stay level too: memory still
    // referenced (an ever-growing list, a cache without bound) is no leak at exit, but it is here.
    if (end_heap_kib >= 0) {
        EXPECT_LT(end_heap_kib - warm_heap_kib, 1024);
    }
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
