#include "core/listing/navigation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/commands/main_commands.h"
#include "core/commands/startup.h"
#include "core/reader/article_reader.h"
#include "core/search/search_command.h"
#include "core/wait/wait.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

using test::ShownMessage;
using test::StartedProgram;

constexpr char kBase[] = "http://site";

// A listing page whose rows are titled "<name> <i>".
std::string ListingPage(const std::string& name, int rows) {
    std::string page = "<html><body>\n";
    for (int i = 1; i <= rows; ++i) {
        const std::string id = name + std::to_string(i);
        page += "<h2><a target=\"_blank\" href=\"http://site/archives/" + id + ".html\">" + name +
                " " + std::to_string(i) + "</a></h2>\n";
        page += "<span>发表日期：2020-01-0" + std::to_string(i % 9 + 1) + "</span>\n";
        page += "<span>点击：" + std::to_string(10 + i) + "</span>\n";
    }
    return page + "</body></html>\n";
}

BuildSettings TestSettings() {
    BuildSettings settings;
    settings.site_base = kBase;
    settings.chat_group_url = "https://chat.example/invite";
    settings.update_check = false;
    return settings;
}

class Navigation : public ::testing::Test {
  protected:
    Navigation() {
        view_.title_of_handoff = [this] { return GbkToUtf8(state_->article_handoff.title); };
        // Home: two pages; category jdxt: three pages; zsgn: four pages.
        Serve("/page/1", "home", 10);
        Serve("/page/2", "homeB", 3);
        for (int page = 1; page <= 3; ++page) {
            Serve("/category/jdxt/page/" + std::to_string(page), "jdxt" + std::to_string(page), 10);
        }
        for (int page = 1; page <= 4; ++page) {
            Serve("/category/zsgn/page/" + std::to_string(page), "zsgn" + std::to_string(page), 10);
        }
        http_.pages["http://site/archives/home3.html"] = "<p>article</p>";
    }

    void Serve(const std::string& path, const std::string& name, int rows) {
        http_.pages[kBase + path] = ListingPage(name, rows);
    }

    void Start() { MainWindowCreated(*state_, view_, services_); }

    // Selects the category row with this name and activates it.
    void Choose(const std::string& name) {
        for (int i = 0; i < view_.RowCount(); ++i) {
            if (view_.rows[static_cast<std::size_t>(i)] == name) {
                view_.selected = i;
            }
        }
        ActivateListItem(*state_, view_, services_);
    }

    void Key(int key, int modifiers = 0) {
        ListKeyPressed(*state_, view_, services_, KeyEvent{key, modifiers});
    }

    std::string LastRequest() const {
        return http_.requests.empty() ? std::string() : http_.requests.back();
    }

    std::unique_ptr<AppState> state_ = InitializeGlobals();
    test::FakeMainView view_;
    test::FakeHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    Services services_{http_, sounds_, dialogs_, desktop_, TestSettings()};
};

const std::vector<std::string> kCategoryNames = {"最新文章", "最新动态", "经典习题",
                                                 "高考试题", "知识归纳", "教材相关",
                                                 "课外知识", "文艺展示", "学习工具"};

TEST_F(Navigation, StartUpShowsTheNineCategoriesWithTheFirstCurrent) {
    Start();
    EXPECT_EQ(view_.rows, kCategoryNames);
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(view_.title, "Vennadar - ");  // no version record yet
    EXPECT_FALSE(view_.previous_enabled);
    EXPECT_FALSE(view_.next_enabled);
    EXPECT_FALSE(view_.first_enabled);
    EXPECT_TRUE(state_->showing_categories);
    EXPECT_EQ(state_->listing_query.page_number, 1);
    EXPECT_EQ(sounds_.played,
              (std::vector<EmbeddedSound>{EmbeddedSound::Startup, EmbeddedSound::Select}));
    EXPECT_TRUE(http_.requests.empty());
}

TEST_F(Navigation, ChoosingTheHomeCategoryListsItsFirstPage) {
    Start();
    sounds_.played.clear();
    Choose("最新文章");
    EXPECT_EQ(LastRequest(), "http://site/page/1");
    ASSERT_EQ(view_.rows.size(), 10U);
    EXPECT_EQ(view_.rows[2], "home 3:发表日期：2020-01-04:点击：13");
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(view_.focus, "list");
    EXPECT_TRUE(view_.next_enabled);
    EXPECT_FALSE(view_.previous_enabled);
    EXPECT_FALSE(view_.first_enabled);
    EXPECT_FALSE(state_->showing_categories);
    EXPECT_EQ(state_->last_category_index, 0);
    EXPECT_EQ(sounds_.played,
              (std::vector<EmbeddedSound>{EmbeddedSound::Select, EmbeddedSound::Listing}));
}

TEST_F(Navigation, ChoosingACategoryStartsAtPageOneWhateverPageWasCurrent) {
    Start();
    state_->listing_query.page_number = 5;
    Choose("经典习题");
    EXPECT_EQ(LastRequest(), "http://site/category/jdxt/page/1");
    EXPECT_TRUE(state_->listing_query.category_flag);
    EXPECT_EQ(state_->listing_query.category_slug, "jdxt");
    EXPECT_EQ(state_->last_category_index, 2);
}

TEST_F(Navigation, NextPageOnLastPageWarnsOnceAndGoesBack) {
    Start();
    Choose("经典习题");
    NextPage(*state_, view_, services_);
    EXPECT_TRUE(view_.previous_enabled);
    EXPECT_TRUE(view_.first_enabled);
    NextPage(*state_, view_, services_);
    EXPECT_TRUE(dialogs_.shown.empty());
    http_.requests.clear();
    NextPage(*state_, view_, services_);
    EXPECT_EQ(dialogs_.shown, (std::vector<ShownMessage>{{"没有下一页了。", "提示", 0x30}}));
    EXPECT_EQ(http_.requests, (std::vector<std::string>{"http://site/category/jdxt/page/4",
                                                        "http://site/category/jdxt/page/3"}));
    EXPECT_EQ(state_->listing_query.page_number, 3);
    ASSERT_EQ(view_.rows.size(), 10U);
    EXPECT_EQ(view_.rows[0].substr(0, 7), "jdxt3 1");
    EXPECT_EQ(view_.focus, "list");
    // The last page is a later page, and there may be more tomorrow.
    EXPECT_TRUE(view_.next_enabled);
    EXPECT_TRUE(view_.previous_enabled);
    EXPECT_TRUE(view_.first_enabled);
}

// Written out from the site's addresses, not taken from the program's table.
const std::pair<const char*, const char*> kFirstAddresses[] = {
    {"最新文章", "http://site/page/1"},
    {"最新动态", "http://site/category/zxdt/page/1"},
    {"经典习题", "http://site/category/jdxt/page/1"},
    {"高考试题", "http://site/category/gkst/page/1"},
    {"知识归纳", "http://site/category/zsgn/page/1"},
    {"教材相关", "http://site/category/jcxg/page/1"},
    {"课外知识", "http://site/category/kyzs/page/1"},
    {"文艺展示", "http://site/category/wyzs/page/1"},
    {"学习工具", "http://site/category/xxgj/page/1"}};

TEST_F(Navigation, EveryCategoryAsksForItsOwnFirstPage) {
    Start();
    for (const auto& [name, address] : kFirstAddresses) {
        http_.requests.clear();
        Choose(name);
        EXPECT_EQ(http_.requests, std::vector<std::string>{address}) << name;
        Key(kKeyBackspace);
    }
}

TEST_F(Navigation, ActivatingTheCategoriesWithNothingSelectedLeavesNothingSelectedLater) {
    Start();
    view_.selected = -1;
    ActivateListItem(*state_, view_, services_);
    EXPECT_TRUE(http_.requests.empty());
    EXPECT_TRUE(state_->showing_categories);
    view_.search_text = "勾股";
    SearchCommand(*state_, view_, services_);
    Key(kKeyBackspace);
    EXPECT_EQ(view_.rows, kCategoryNames);
    EXPECT_EQ(view_.selected, -1);
}

TEST_F(Navigation, PreviousPageGoesBackOnePage) {
    Start();
    Choose("经典习题");
    NextPage(*state_, view_, services_);
    PreviousPage(*state_, view_, services_);
    EXPECT_EQ(LastRequest(), "http://site/category/jdxt/page/1");
    EXPECT_FALSE(view_.previous_enabled);
    EXPECT_FALSE(view_.first_enabled);
}

TEST_F(Navigation, BackspaceThenSameCategoryRestartsAtPageOneWithItSelected) {
    Start();
    Choose("经典习题");
    NextPage(*state_, view_, services_);
    sounds_.played.clear();
    Key(kKeyBackspace);
    EXPECT_EQ(view_.rows, kCategoryNames);
    EXPECT_EQ(view_.selected, 2);
    EXPECT_TRUE(state_->showing_categories);
    EXPECT_FALSE(view_.previous_enabled);
    EXPECT_FALSE(view_.next_enabled);
    EXPECT_TRUE(view_.first_enabled);  // keeps its state
    EXPECT_EQ(sounds_.played, (std::vector<EmbeddedSound>{EmbeddedSound::Select}));
    Choose("经典习题");
    EXPECT_EQ(LastRequest(), "http://site/category/jdxt/page/1");
}

TEST_F(Navigation, StaleFirstPageButtonOverCategoriesLoadsHomeListing) {
    Start();
    Choose("经典习题");
    NextPage(*state_, view_, services_);
    Key(kKeyBackspace);
    ASSERT_TRUE(view_.first_enabled);
    BackToFirstPage(*state_, view_, services_);
    EXPECT_EQ(LastRequest(), "http://site/page/1");
    EXPECT_FALSE(view_.next_enabled);
    EXPECT_FALSE(state_->showing_categories);
}

struct KeyCase {
    const char* name;
    bool in_listing;
    bool row_selected;
    int key;
    int modifiers;
    int expected_requests;
    int expected_menus;
    bool expect_categories;
};

class ListKeys : public Navigation, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ListKeys, ActOnlyOnAListingWithoutModifiers) {
    const KeyCase& c = GetParam();
    Start();
    if (c.in_listing) {
        Choose("最新文章");
    }
    if (!c.row_selected) {
        view_.selected = -1;
    }
    http_.requests.clear();
    Key(c.key, c.modifiers);
    EXPECT_EQ(static_cast<int>(http_.requests.size()), c.expected_requests);
    EXPECT_EQ(view_.menus_shown, c.expected_menus);
    EXPECT_EQ(state_->showing_categories, c.expect_categories);
}

constexpr int kShift = 0x02000000;
constexpr int kCtrl = 0x04000000;
constexpr int kAlt = 0x08000000;

INSTANTIATE_TEST_SUITE_P(
    Keys, ListKeys,
    ::testing::Values(
        KeyCase{"F5Refreshes", true, true, kKeyF5, 0, 1, 0, false},
        KeyCase{"F5WithCtrlDoesNothing", true, true, kKeyF5, kCtrl, 0, 0, false},
        KeyCase{"F5OnCategoriesDoesNothing", false, true, kKeyF5, 0, 0, 0, true},
        KeyCase{"BackspaceShowsCategories", true, true, kKeyBackspace, 0, 0, 0, true},
        KeyCase{"BackspaceWithShiftDoesNothing", true, true, kKeyBackspace, kShift, 0, 0, false},
        KeyCase{"MenuKeyPopsUpMenu", true, true, kKeyApplications, 0, 0, 1, false},
        KeyCase{"MenuKeyWithAltDoesNothing", true, true, kKeyApplications, kAlt, 0, 0, false},
        KeyCase{"MenuKeyWithoutSelectionDoesNothing", true, false, kKeyApplications, 0, 0, 0,
                false},
        KeyCase{"MenuKeyOnCategoriesDoesNothing", false, true, kKeyApplications, 0, 0, 0, true}),
    test::CaseName());

TEST_F(Navigation, RightClickMenuOnlyOverASelectedListingRow) {
    Start();
    ListContextMenuRequested(*state_, view_);
    EXPECT_EQ(view_.menus_shown, 0);
    Choose("最新文章");
    ListContextMenuRequested(*state_, view_);
    EXPECT_EQ(view_.menus_shown, 1);
    view_.selected = -1;
    ListContextMenuRequested(*state_, view_);
    EXPECT_EQ(view_.menus_shown, 1);
}

TEST_F(Navigation, ActivatingAnArticleDownloadsItOnceAndOpensTheWindow) {
    Start();
    Choose("最新文章");
    view_.selected = 2;
    http_.requests.clear();
    sounds_.played.clear();
    ActivateListItem(*state_, view_, services_);
    EXPECT_EQ(http_.requests, (std::vector<std::string>{"http://site/archives/home3.html"}));
    EXPECT_EQ(state_->article_handoff.page_text, "<p>article</p>");
    EXPECT_EQ(state_->article_handoff.link, "http://site/archives/home3.html");
    EXPECT_EQ(view_.article_titles, (std::vector<std::string>{"home 3"}));
    EXPECT_EQ(sounds_.played, (std::vector<EmbeddedSound>{EmbeddedSound::Select}));
}

// A row's link is the page's own text: relative, with references, beyond ASCII. What is
// downloaded, opened in the browser and handed to the article is the address it stands for.
TEST_F(Navigation, RowLinksResolveAgainstTheirListingPage) {
    struct Row {
        const char* href;
        const char* address;  // empty: neither downloaded nor opened
    };
    const Row rows[] = {
        {"/archives/7.html", "http://site/archives/7.html"},
        {"8.html", "http://site/category/jdxt/page/8.html"},
        {" /a?x=1&amp;y=2 ", "http://site/a?x=1&y=2"},
        {"http://site/archives/诗歌朗诵.html",
         "http://site/archives/%E8%AF%97%E6%AD%8C%E6%9C%97%E8%AF%B5.html"},
        {"javascript:alert(1)", ""},
        {"mailto:reader@example.org", ""},
    };
    std::string page;
    for (const Row& row : rows) {
        page += std::string("<h2><a href=\"") + row.href +
                "\">T</a></h2>\n<span>2020-01-01</span>\n"
                "<span>点击：1</span>\n";
    }
    http_.pages["http://site/category/jdxt/page/1"] = page;
    Start();
    Choose("经典习题");
    ASSERT_EQ(state_->current_rows.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.href);
        http_.pages[row.address] = "<p>article</p>";
        view_.selected = static_cast<int>(i);
        desktop_.opened.clear();
        http_.requests.clear();
        OpenSelectedArticleInBrowser(*state_, view_, services_);
        ActivateListItem(*state_, view_, services_);
        const std::vector<std::string> expected = *row.address != '\0'
                                                      ? std::vector<std::string>{row.address}
                                                      : std::vector<std::string>{};
        EXPECT_EQ(desktop_.opened, expected);
        EXPECT_EQ(http_.requests, expected);
        if (!expected.empty()) {
            EXPECT_EQ(GbkToUtf8(state_->article_handoff.link), row.address);
        }
        EXPECT_EQ(GbkToUtf8(state_->current_rows[i].link), row.href);  // the row as written
    }
}

TEST_F(Navigation, ActivatingWithNothingSelectedOnlyPlaysTheSound) {
    Start();
    Choose("最新文章");
    view_.selected = -1;
    http_.requests.clear();
    ActivateListItem(*state_, view_, services_);
    EXPECT_TRUE(http_.requests.empty());
    EXPECT_TRUE(view_.article_titles.empty());
}

TEST_F(Navigation, FailedCategoryDownloadLeavesEmptyListWithNextEnabled) {
    Start();
    Choose("学习工具");
    EXPECT_TRUE(view_.rows.empty());
    EXPECT_EQ(view_.selected, -1);
    EXPECT_TRUE(view_.next_enabled);
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(sounds_.played.back(), EmbeddedSound::Listing);
}

TEST_F(Navigation, EmptySearchWarnsAndFetchesNothing) {
    Start();
    SearchCommand(*state_, view_, services_);
    EXPECT_EQ(dialogs_.shown, (std::vector<ShownMessage>{{"搜索内容不能为空", "提示", 0x30}}));
    EXPECT_EQ(view_.focus, "search");
    EXPECT_TRUE(http_.requests.empty());
    EXPECT_EQ(view_.rows, kCategoryNames);
}

TEST_F(Navigation, SpaceIsSearchedAndNoResultsLeaveTheListEmpty) {
    Start();
    view_.search_text = " ";
    SearchCommand(*state_, view_, services_);
    EXPECT_EQ(http_.requests, (std::vector<std::string>{"http://site/page/1?s=%20"}));
    EXPECT_EQ(dialogs_.shown,
              (std::vector<ShownMessage>{{"没有搜索到内容，不如换个关键词试试", "提示", 0x30}}));
    EXPECT_TRUE(view_.rows.empty());
    EXPECT_TRUE(state_->listing_query.search_flag);
    EXPECT_EQ(state_->listing_query.page_number, 1);
}

TEST_F(Navigation, SearchWinsOverCategoryAndPagingReadsTheEditedKeyword) {
    Start();
    Choose("经典习题");
    view_.search_text = "中";
    http_.pages["http://site/page/1?s=%E4%B8%AD"] = ListingPage("hit", 10);
    SearchCommand(*state_, view_, services_);
    EXPECT_EQ(LastRequest(), "http://site/page/1?s=%E4%B8%AD");
    EXPECT_EQ(view_.rows.size(), 10U);
    EXPECT_FALSE(view_.previous_enabled);
    view_.search_text = "a";
    NextPage(*state_, view_, services_);
    EXPECT_EQ(http_.requests[http_.requests.size() - 2], "http://site/page/2?s=%61");
}

TEST_F(Navigation, MenuCommandsOpenTheRightPlaces) {
    Start();
    OpenUsageHelp(services_);
    OpenUpgradeLog(services_);
    EXPECT_EQ(desktop_.started,
              (std::vector<StartedProgram>{
                  {"xdg-open", {"/opt/my programs/vennadar/help/help.txt"}},
                  {"xdg-open", {"/opt/my programs/vennadar/help/升级日志.txt"}}}));
    OpenSiteHome(services_);
    OpenAboutSite(services_);
    OpenDonationPage(services_);
    OpenChatGroup(services_);
    Choose("最新文章");
    view_.selected = 2;
    OpenSelectedArticleInBrowser(*state_, view_, services_);
    EXPECT_EQ(desktop_.opened,
              (std::vector<std::string>{"http://site", "http://site/gywm-html",
                                        "http://site/jzbz-html", "https://chat.example/invite",
                                        "http://site/archives/home3.html"}));
    BackToCategoryList(*state_, view_, services_);
    EXPECT_EQ(view_.rows, kCategoryNames);
    ExitCommand(view_);
    EXPECT_TRUE(view_.closed);
}

// Downloads the user waits for, held by the fake until they arrive or are given up.
class Waits : public Navigation {
  public:
    // What the user sees and what the next action reads.
    struct Seen {
        std::vector<std::string> rows;
        int selected;
        bool previous, next, first;
        ListingQuery query;
        bool categories;
        int last_category;
        ListingRows current_rows;
        bool operator==(const Seen&) const = default;
    };
    Seen Now() const {
        return {view_.rows,
                view_.selected,
                view_.previous_enabled,
                view_.next_enabled,
                view_.first_enabled,
                state_->listing_query,
                state_->showing_categories,
                state_->last_category_index,
                state_->current_rows};
    }
    void Search(const std::string& keyword) {
        view_.search_text = keyword;
        SearchCommand(*state_, view_, services_);
    }
    using Navigation::Choose;
    using Navigation::Key;
    using Navigation::services_;
    using Navigation::Start;
    using Navigation::state_;
    using Navigation::view_;
};

struct WaitCase {
    const char* name;
    std::function<void(Waits&)> before;
    std::function<void(Waits&)> act;
    int arrivals = 0;  // pages that arrive before the user gives up
};

class GivingUp : public Waits, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(GivingUp, LeavesEverythingAsItWasBeforeTheAction) {
    GetParam().before(*this);
    const Seen before = Now();
    http_.hold = true;
    GetParam().act(*this);
    for (int i = 0; i < GetParam().arrivals; ++i) {
        http_.Arrive();
    }
    ASSERT_TRUE(IsWaiting(*state_));
    EXPECT_TRUE(view_.busy);
    sounds_.played.clear();
    dialogs_.shown.clear();
    view_.focus.clear();

    GiveUpWait(*state_, view_, services_);
    EXPECT_FALSE(IsWaiting(*state_));
    EXPECT_FALSE(view_.busy);
    EXPECT_TRUE(Now() == before);
    EXPECT_EQ(view_.rows, before.rows);
    EXPECT_EQ(http_.cancelled.size(), 1U);
    EXPECT_TRUE(http_.held.empty());
    EXPECT_TRUE(sounds_.played.empty());
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_TRUE(view_.article_titles.empty());
    EXPECT_EQ(view_.focus, "list");
}

const WaitCase kWaitCases[] = {
    {"ChoosingACategory",
     [](Waits& t) {
         t.Start();
         t.view_.selected = 2;
     },
     [](Waits& t) { ActivateListItem(*t.state_, t.view_, t.services_); }},
    {"NextPage", [](Waits& t) { t.Start(), t.Choose("经典习题"); },
     [](Waits& t) { NextPage(*t.state_, t.view_, t.services_); }},
    {"ReloadAfterTheLastPageMessage",
     [](Waits& t) {
         t.Start();
         t.Choose("最新文章");
         NextPage(*t.state_, t.view_, t.services_);
     },
     [](Waits& t) { NextPage(*t.state_, t.view_, t.services_); }, 1},
    {"PreviousPage",
     [](Waits& t) {
         t.Start();
         t.Choose("经典习题");
         NextPage(*t.state_, t.view_, t.services_);
     },
     [](Waits& t) { PreviousPage(*t.state_, t.view_, t.services_); }},
    {"Search", [](Waits& t) { t.Start(), t.Choose("经典习题"); },
     [](Waits& t) { t.Search("定理"); }},
    {"Refresh", [](Waits& t) { t.Start(), t.Choose("最新文章"); }, [](Waits& t) { t.Key(kKeyF5); }},
    {"OpeningAnArticle",
     [](Waits& t) {
         t.Start();
         t.Choose("最新文章");
         t.view_.selected = 2;
     },
     [](Waits& t) { ActivateListItem(*t.state_, t.view_, t.services_); }},
};
INSTANTIATE_TEST_SUITE_P(Actions, GivingUp, ::testing::ValuesIn(kWaitCases), test::CaseName());

struct AskedCase {
    const char* name;
    std::function<void(Waits&)> before;
    std::function<void(Waits&)> act;
    std::string address;
};

class Asks : public Waits, public ::testing::WithParamInterface<AskedCase> {};

TEST_P(Asks, ForTheAddressOfTheListingItShows) {
    GetParam().before(*this);
    http_.requests.clear();
    GetParam().act(*this);
    EXPECT_EQ(http_.requests, std::vector<std::string>{GetParam().address});
}

void FirstPage(Waits& t) {
    BackToFirstPage(*t.state_, t.view_, t.services_);
}

const AskedCase kAskedCases[] = {
    {"FirstPageOnPageFourOfACategory",
     [](Waits& t) {
         t.Start();
         t.Choose("知识归纳");
         for (int i = 0; i < 3; ++i) {
             NextPage(*t.state_, t.view_, t.services_);
         }
     },
     FirstPage, "http://site/category/zsgn/page/1"},
    {"FirstPageAfterASearchFromTheCategoryList", [](Waits& t) { t.Start(), t.Search("勾股"); },
     FirstPage, "http://site/page/1"},
    {"FirstPageAfterASearchFromTheHomeListing",
     [](Waits& t) { t.Start(), t.Choose("最新文章"), t.Search("勾股"); }, FirstPage,
     "http://site/page/1"},
    {"FirstPageAfterASearchInsideACategory",
     [](Waits& t) { t.Start(), t.Choose("经典习题"), t.Search("勾股"); }, FirstPage,
     "http://site/category/jdxt/page/1"},
    {"RefreshOnALaterPageOfACategory",
     [](Waits& t) {
         t.Start();
         t.Choose("经典习题");
         NextPage(*t.state_, t.view_, t.services_);
     },
     [](Waits& t) { t.Key(kKeyF5); }, "http://site/category/jdxt/page/2"},
    {"RefreshOfASearch", [](Waits& t) { t.Start(), t.Search("中"); },
     [](Waits& t) { t.Key(kKeyF5); }, "http://site/page/1?s=%E4%B8%AD"},
};
INSTANTIATE_TEST_SUITE_P(Actions, Asks, ::testing::ValuesIn(kAskedCases), test::CaseName());

TEST_F(Waits, EveryActionThatWouldChangeTheListIsIgnoredMeanwhile) {
    Start();
    Choose("经典习题");
    http_.hold = true;
    NextPage(*state_, view_, services_);
    const Seen waiting = Now();
    sounds_.played.clear();
    state_->remote_version = "99";
    NextPage(*state_, view_, services_);
    PreviousPage(*state_, view_, services_);
    BackToFirstPage(*state_, view_, services_);
    RefreshListing(*state_, view_, services_);
    ActivateListItem(*state_, view_, services_);
    Search("定理");
    Key(kKeyF5);
    Key(kKeyBackspace);
    BackToCategoryList(*state_, view_, services_);
    CheckForUpdatesCommand(*state_, view_, services_);
    EXPECT_EQ(http_.held.size(), 1U);
    EXPECT_TRUE(Now() == waiting);
    EXPECT_TRUE(sounds_.played.empty());
    EXPECT_TRUE(dialogs_.shown.empty());

    http_.Arrive();  // the awaited page lands on the list it was asked from
    EXPECT_FALSE(IsWaiting(*state_));
    EXPECT_EQ(state_->listing_query.page_number, 2);
    EXPECT_EQ(view_.rows[0].substr(0, 7), "jdxt2 1");
}

HttpResponse Answer(long status, std::string body = {}, std::string etag = {},
                    std::string modified = {}) {
    return HttpResponse{true, false, status, std::move(etag), std::move(modified), std::move(body)};
}

// The reader's memory: pages kept with their validators, shown offline, and the marks of rows.
class Remembering : public Navigation {
  protected:
    Remembering() {
        services_.store = &store_;
        setenv("TZ", "UTC", 1);  // the notice's time is local time
        tzset();
        view_.title_of_handoff = [this] {
            test::FakeArticleView article;
            ShowArticle(*state_, article, services_);
            article_announced_ = article.announced;
            return GbkToUtf8(state_->article_handoff.title);
        };
        for (const char* id : {"home1", "home3", "fresh1"}) {
            http_.pages[std::string("http://site/archives/") + id + ".html"] =
                "<div>正文：</div></center>\n   <article id=\"post_content\">\n    <p>" +
                std::string(id) + "</p>\n       </article>\n";
        }
    }

    void Home() {
        Start();
        Choose("最新文章");
    }

    // The next run: the same store, nothing else kept.
    void Restart() {
        state_ = InitializeGlobals();
        view_ = test::FakeMainView();
        view_.title_of_handoff = [this] {
            test::FakeArticleView article;
            ShowArticle(*state_, article, services_);
            return GbkToUtf8(state_->article_handoff.title);
        };
    }

    void Open(int row) {
        view_.selected = row;
        ActivateListItem(*state_, view_, services_);
    }

    test::FakeStore store_;
    std::vector<std::string> article_announced_;
    static constexpr char kHome[] = "http://site/page/1";
    static constexpr char kNotice[] = "离线，12-09 15:30";
};

TEST_F(Remembering, RevisitSendsTheKeptValidatorsAndUnchangedShowsTheKeptRows) {
    http_.answers[kHome] =
        Answer(200, ListingPage("home", 10), "\"v1\"", "Tue, 09 Dec 2025 15:00:00 GMT");
    Home();
    ASSERT_EQ(store_.kept.count(kHome), 1U);
    EXPECT_EQ(store_.kept[kHome].etag, "\"v1\"");
    EXPECT_EQ(http_.conditional.back(), "|");  // nothing was kept before

    http_.answers[kHome] = Answer(304);
    Key(kKeyF5);
    EXPECT_EQ(http_.conditional.back(), "\"v1\"|Tue, 09 Dec 2025 15:00:00 GMT");
    ASSERT_EQ(view_.rows.size(), 10U);
    EXPECT_EQ(view_.rows[2], "home 3:发表日期：2020-01-04:点击：13");
    EXPECT_TRUE(view_.announced.empty());  // unchanged is not offline
    EXPECT_EQ(view_.title, "Vennadar - ");
}

struct FailureCase {
    std::string name;
    HttpResponse response;
    bool offline;
};

class Failures : public Remembering, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, ShowTheKeptCopyOfflineOnlyWhenTheSiteCannotAnswer) {
    Home();
    Open(2);
    http_.answers[kHome] = GetParam().response;
    http_.answers["http://site/archives/home3.html"] = GetParam().response;
    Key(kKeyF5);
    if (!GetParam().offline) {
        EXPECT_TRUE(view_.rows.empty());  // as without a kept copy
        EXPECT_EQ(view_.title, "Vennadar - ");
        EXPECT_TRUE(view_.announced.empty());
        return;
    }
    EXPECT_EQ(view_.rows.size(), 10U);
    EXPECT_EQ(GbkToUtf8(view_.title), std::string("Vennadar - （") + kNotice + "）");
    EXPECT_EQ(view_.announced, std::vector<std::string>{kNotice});
    Open(2);
    EXPECT_EQ(article_announced_, std::vector<std::string>{kNotice});
    EXPECT_EQ(view_.article_titles.back(), "home 3");  // the notice never reaches the title

    http_.answers.clear();  // the site is back
    Key(kKeyF5);
    EXPECT_EQ(view_.title, "Vennadar - ");
}

HttpResponse Unanswered(bool unreachable) {
    HttpResponse response;
    response.unreachable = unreachable;
    return response;
}

const FailureCase kFailures[] = {
    {"Refused", Unanswered(true), true},
    {"ServiceUnavailable", Answer(503, "busy"), true},
    {"ServerError", Answer(500), true},
    {"NotFound", Answer(404), false},
    {"RefusedByTheReader", Unanswered(false), false},  // too large, an address it does not fetch
};
INSTANTIATE_TEST_SUITE_P(Site, Failures, ::testing::ValuesIn(kFailures), test::CaseName());

TEST_F(Remembering, ArticlesAreNewAfterAFirstVisitUntilOpenedAndReadAcrossRuns) {
    using enum RowMark;
    http_.answers[kHome] = Unanswered(true);
    Home();  // nothing shown: not a visit
    http_.answers.clear();
    Key(kKeyF5);
    EXPECT_EQ(view_.marks, std::vector<RowMark>(10, kNone));  // a first visit marks nothing

    Restart();
    Serve("/page/1", "fresh", 2);
    http_.pages[kHome] += ListingPage("home", 10);
    Home();
    ASSERT_EQ(view_.marks.size(), 12U);
    EXPECT_EQ(view_.marks[0], kNew);
    EXPECT_EQ(view_.marks[1], kNew);
    EXPECT_EQ(view_.marks[2], kNone);
    Key(kKeyF5);
    EXPECT_EQ(view_.marks[1], kNew);  // kept for the run
    Open(0);
    EXPECT_EQ(view_.marks[0], kRead);  // at once
    EXPECT_EQ(store_.read, std::set<std::string>{"http://site/archives/fresh1.html"});

    Restart();
    Home();
    EXPECT_EQ(view_.marks[0], kRead);
    EXPECT_EQ(view_.marks[1], kNone);  // new only in the run that first listed it
}

TEST_F(Remembering, SearchesAreNeitherKeptNorMarkedNew) {
    Home();
    view_.search_text = "中";
    http_.pages["http://site/page/1?s=%E4%B8%AD"] = ListingPage("hit", 3);
    SearchCommand(*state_, view_, services_);
    SearchCommand(*state_, view_, services_);
    EXPECT_EQ(view_.marks, std::vector<RowMark>(3, RowMark::kNone));
    EXPECT_EQ(store_.kept.count("http://site/page/1?s=%E4%B8%AD"), 0U);
    EXPECT_EQ(store_.visited, std::set<std::string>{kHome});
    EXPECT_EQ(http_.conditional.back(), "|");
}

TEST_F(Remembering, ClearingAsksWithNoAsTheDefaultAndForgetsOnYes) {
    for (const int answer : {kAnswerNo, kAnswerYes}) {
        SCOPED_TRACE(answer);
        Restart();
        Home();
        Open(2);
        dialogs_.answer = answer;
        ClearReadingHistoryCommand(*state_, view_, services_);
        EXPECT_EQ(dialogs_.shown.back(),
                  (ShownMessage{"清除全部阅读记录和保存的网页吗？", "提示",
                                kStyleYesNo | kStyleQuestionIcon | kStyleDefaultSecond}));
        EXPECT_EQ(view_.marks[2], answer == kAnswerYes ? RowMark::kNone : RowMark::kRead);
        EXPECT_EQ(store_.clears, answer == kAnswerYes ? 1 : 0);
    }
}

}  // namespace
}  // namespace vennadar
