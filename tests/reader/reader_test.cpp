#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/reader/article_reader.h"
#include "core/reader/link_address.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

using test::FakeArticleView;

// An article page as the site writes it, around the given body lines (UTF-8).
std::string ArticlePage(const std::vector<std::string>& lines, const std::string& eol = "\n") {
    std::string page = "<html><body>" + eol + "<center><h1>T</h1>" + eol +
                       "<div>正文：</div></center>" + eol + "   <article id=\"post_content\">" +
                       eol;
    for (const std::string& line : lines) {
        page += "    " + line + eol;
    }
    return page + "       </article>" + eol + "</body></html>" + eol;
}

class Reader : public ::testing::Test {
  protected:
    void Open(const std::string& page_utf8, const std::string& title = "标题") {
        state_->article_handoff = {Utf8ToGbk(title), Utf8ToGbk(page_utf8),
                                   "http://site/archives/7.html"};
        ShowArticle(*state_, view_, services_);
    }
    std::string BodyHtml() const { return GbkToUtf8(state_->article_body_html); }

    std::unique_ptr<AppState> state_ = InitializeGlobals();
    FakeArticleView view_;
    test::FakeHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
};

TEST_F(Reader, SingleLineBodyLosesItsIndentAndKeepsItsLineFeed) {
    Open(ArticlePage({"<p>勾股定理</p>"}));
    EXPECT_EQ(BodyHtml(), "<p>勾股定理</p>\n");
    EXPECT_EQ(GbkToUtf8(view_.body), "勾股定理");
    EXPECT_EQ(GbkToUtf8(view_.title), "标题");
    EXPECT_EQ(state_->left_volume, 50);
    EXPECT_EQ(state_->right_volume, 50);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(Reader, BodyRunsToTheLastClosingSequence) {
    Open(ArticlePage({"<p>a</p>", "       </article>", "<p>b</p>"}));
    EXPECT_EQ(BodyHtml(), "<p>a</p>\n           </article>\n    <p>b</p>\n");
}

TEST_F(Reader, SecondPrefixInsideTheBodyStartsNoMatchOfItsOwn) {
    const std::string inner = "<div>正文：</div></center>\n   <article id=\"post_content\">\n    x";
    Open(ArticlePage({inner}));
    EXPECT_EQ(BodyHtml().substr(0, 30), "<div>正文：</div></center>\n");
}

struct FailingPage {
    const char* name;
    std::string page;
};

class BodyMissing : public Reader, public ::testing::WithParamInterface<FailingPage> {};

TEST_P(BodyMissing, ShowsTheFailureAndStopsThere) {
    Open(GetParam().page);
    EXPECT_EQ(dialogs_.shown, (std::vector<test::ShownMessage>{{"获取正文失败", "提示", 0x40}}));
    EXPECT_EQ(GbkToUtf8(view_.title), "标题");
    EXPECT_TRUE(view_.body.empty());
    EXPECT_FALSE(view_.links_shown);
    EXPECT_EQ(view_.selected, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, BodyMissing,
    ::testing::Values(
        FailingPage{"EmptyPage", ""}, FailingPage{"CrLfPage", ArticlePage({"<p>a</p>"}, "\r\n")},
        FailingPage{"OtherLayout", "<article id=\"post_content\">\n<p>x</p>\n</article>"},
        // The second alternative reads its brace literally and never matches here.
        FailingPage{"BraceAlternative", "<article id=\"post_content\">\nx\n     </article>\n"}),
    test::CaseName());

TEST_F(Reader, LinksKeepOrderAndFollowThePatternsReading) {
    Open(ArticlePage({
        R"(<p><a href="http://a/1">第一</a></p>)",
        R"(<p><a href="/2">二</a> 和 <a href="/3">三</a></p>)",
        R"(<p><a href="/4"><img src="x.png"></a></p>)",
        R"(<p><a href='/5'>单引号</a> <A HREF="/6">大写</A></p>)",
        R"(<p><a target="_blank" href="/7?a=1&amp;b=2">参考&amp;资料</a></p>)",
    }));
    EXPECT_TRUE(view_.links_shown);
    EXPECT_EQ(view_.rows, (std::vector<std::string>{"第一", "三", "", "参考&资料"}));
    std::vector<std::string> links;
    for (const Text& link : state_->article_links) {
        links.push_back(GbkToUtf8(link));
    }
    EXPECT_EQ(links, (std::vector<std::string>{"http://a/1", "/2", "/4", "/7?a=1&amp;b=2"}));
    EXPECT_EQ(view_.selected, 0);
}

TEST_F(Reader, NoLinksNoList) {
    Open(ArticlePage({"<p>没有链接</p>"}));
    EXPECT_FALSE(view_.links_shown);
    EXPECT_TRUE(state_->article_links.empty());
    EXPECT_EQ(view_.selected, -1);
    CopyLink(*state_, view_);
    ShowLinkMenu(view_);
    EXPECT_TRUE(view_.clipboard.empty());
    EXPECT_EQ(view_.menus, 0);
}

TEST_F(Reader, CopyGivesTheAddressExactlyAsWritten) {
    Open(ArticlePage({R"(<a href="/7?a=1&amp;b=2">x</a>)"}));
    CopyLink(*state_, view_);
    EXPECT_EQ(view_.clipboard, "/7?a=1&amp;b=2");
    ShowLinkMenu(view_);
    EXPECT_EQ(view_.menus, 1);
}

struct OpenCase {
    const char* name;
    std::string href;
    std::vector<std::string> opened;
};

class OpeningLinks : public Reader, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpeningLinks, OnlyBrowsableAddressesResolvedAndDecoded) {
    Open(ArticlePage({"<a href=\"" + GetParam().href + "\">x</a>"}));
    OpenLink(*state_, view_, services_);
    EXPECT_EQ(desktop_.opened, GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, OpeningLinks,
    ::testing::Values(OpenCase{"Absolute", "https://example.org/a", {"https://example.org/a"}},
                      OpenCase{"RootRelative", "/archives/9.html", {"http://site/archives/9.html"}},
                      OpenCase{"PathRelative", "9.html", {"http://site/archives/9.html"}},
                      OpenCase{"ReferencesDecoded", "/s?a=1&amp;b=2", {"http://site/s?a=1&b=2"}},
                      OpenCase{"Mailto", "mailto:team@example.org", {"mailto:team@example.org"}},
                      OpenCase{"JavascriptRefused", "javascript:alert(1)", {}},
                      OpenCase{"EncodedJavascriptRefused", "&#106;avascript:alert(1)", {}},
                      OpenCase{"FileRefused", "file:///etc/passwd", {}},
                      OpenCase{"CustomSchemeRefused", "steam://run/1", {}}),
    test::CaseName());

TEST_F(Reader, OpenWithoutSelectionDoesNothing) {
    Open(ArticlePage({R"(<a href="/1">x</a>)"}));
    view_.selected = -1;
    OpenLink(*state_, view_, services_);
    EXPECT_TRUE(desktop_.opened.empty());
}

struct CloseKey {
    const char* name;
    int key;
    int modifiers;
    bool closes;
};

class BodyKeys : public ::testing::TestWithParam<CloseKey> {};

TEST_P(BodyKeys, OnlyPlainEnterSpaceBackspaceClose) {
    FakeArticleView view;
    EXPECT_EQ(BodyKeyPressed(view, {GetParam().key, GetParam().modifiers}), GetParam().closes);
    EXPECT_EQ(view.closed, GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(Keys, BodyKeys,
                         ::testing::Values(CloseKey{"Enter", kKeyEnter, 0, true},
                                           CloseKey{"Space", kKeySpace, 0, true},
                                           CloseKey{"Backspace", kKeyBackspace, 0, true},
                                           CloseKey{"CtrlEnter", kKeyEnter, 1, false},
                                           CloseKey{"ShiftSpace", kKeySpace, 1, false},
                                           CloseKey{"AltBackspace", kKeyBackspace, 1, false},
                                           CloseKey{"OtherKey", kKeyF5, 0, false}),
                         test::CaseName());

class Saving : public Reader {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vennadar-save-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        std::filesystem::remove_all(dir_);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    long FileCount() const {
        return std::distance(std::filesystem::directory_iterator(dir_),
                             std::filesystem::directory_iterator());
    }
    // Runs `check` in a child process as the user nobody when the tests run as root, who may
    // write anything; its expectations reach this test through the exit status.
    void AsUnprivilegedUser(const std::function<void()>& check) {
        constexpr uid_t kNobody = 65534;
        // The folder becomes the user's own, as the user's own folders are.
        ASSERT_EQ(geteuid() == 0 ? chown(dir_.c_str(), kNobody, kNobody) : 0, 0);
        std::fflush(stdout);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                 setresuid(kNobody, kNobody, kNobody) != 0 || geteuid() != kNobody)) {
                _exit(2);
            }
            check();
            std::fflush(stdout);
            _exit(::testing::Test::HasFailure() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become an unprivileged user";
    }
    std::string dir_;
};

TEST_F(Saving, WritesTheBoxAsGbkAndASecondSaveReplaces) {
    view_.title = Utf8ToGbk("分数/小数");
    view_.body = Utf8ToGbk("第一行\n第二行");
    dialogs_.save_path = dir_ + "/a.txt";
    SaveArticleAsText(view_, services_);
    EXPECT_EQ(dialogs_.save_requests,
              (std::vector<std::string>{"分数_小数.txt|文本文件*.txt|*.txt"}));
    EXPECT_EQ(Read(dir_ + "/a.txt"), Utf8ToGbk("第一行\n第二行"));  // no BOM, nothing added
    view_.body = "x";
    SaveArticleAsText(view_, services_);
    EXPECT_EQ(Read(dir_ + "/a.txt"), "x");
    view_.body.clear();
    SaveArticleAsText(view_, services_);
    EXPECT_EQ(Read(dir_ + "/a.txt"), "");
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              1);  // no temporary file left behind
}

TEST_F(Saving, CancelWritesNothing) {
    view_.body = "x";
    SaveArticleAsText(view_, services_);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(Saving, FailedWriteKeepsTheOldFileAndSaysSo) {
    AsUnprivilegedUser([this] {
        dialogs_.save_path = dir_ + "/a.txt";
        view_.body = "old";
        SaveArticleAsText(view_, services_);
        chmod(dir_.c_str(), 0500);
        view_.body = "new";
        SaveArticleAsText(view_, services_);
        EXPECT_EQ(Read(dir_ + "/a.txt"), "old");
        EXPECT_EQ(dialogs_.shown, (std::vector<test::ShownMessage>{{"保存失败", "提示", 0x30}}));
    });
}

TEST_F(Saving, WriteCutShortKeepsTheOldFileAndSaysSo) {
    dialogs_.save_path = dir_ + "/a.txt";
    view_.body = "old";
    SaveArticleAsText(view_, services_);
    // A file-size limit stops the write part-way, for root too.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit unlimited = limit;
    limit.rlim_cur = 2;
    const auto on_too_large = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    view_.body = "new";
    SaveArticleAsText(view_, services_);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    signal(SIGXFSZ, on_too_large);
    EXPECT_EQ(Read(dir_ + "/a.txt"), "old");
    EXPECT_EQ(dialogs_.shown, (std::vector<test::ShownMessage>{{"保存失败", "提示", 0x30}}));
    EXPECT_EQ(FileCount(), 1);  // the part-written file is gone
}

TEST_F(Saving, ReadOnlyFileIsNotReplaced) {
    AsUnprivilegedUser([this] {
        const std::string path = dir_ + "/a.txt";
        std::ofstream(path) << "old";
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        ASSERT_NE(access(path.c_str(), W_OK), 0);  // really without root's privileges
        dialogs_.save_path = path;
        view_.body = "new";
        SaveArticleAsText(view_, services_);
        EXPECT_EQ(Read(path), "old");
        EXPECT_EQ(dialogs_.shown, (std::vector<test::ShownMessage>{{"保存失败", "提示", 0x30}}));
        EXPECT_EQ(FileCount(), 1);
    });
}

TEST_F(Saving, SymbolicLinkIsWrittenThroughAndKept) {
    std::filesystem::create_directory(dir_ + "/real");
    const std::string file = dir_ + "/real/a.txt";
    std::ofstream(file) << "old";
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    std::filesystem::create_symlink("real/a.txt", dir_ + "/link.txt");
    std::filesystem::create_symlink(dir_ + "/link.txt", dir_ + "/link-to-link.txt");
    dialogs_.save_path = dir_ + "/link-to-link.txt";
    view_.body = "new";
    SaveArticleAsText(view_, services_);
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/link.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/link-to-link.txt"));
    EXPECT_EQ(Read(file), "new");
    struct stat status {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640U);  // the file's own mode is kept
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(Saving, NameNearTheLengthLimitIsSaved) {
    std::string title;
    for (int i = 0; i < 83; ++i) {
        title += "诗";
    }
    const std::string name = title + ".txt";  // 253 bytes, within the 255 a name may have
    dialogs_.save_path = dir_ + "/" + name;
    view_.body = "x";
    SaveArticleAsText(view_, services_);
    EXPECT_EQ(Read(dir_ + "/" + name), "x");
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(FileCount(), 1);
}

TEST_F(Saving, UnwritablePathKeepsTheOldFileAndSaysSo) {
    // A path whose folder does not exist fails for root too.
    dialogs_.save_path = dir_ + "/no/such/folder/a.txt";
    view_.body = "new";
    SaveArticleAsText(view_, services_);
    EXPECT_EQ(dialogs_.shown, (std::vector<test::ShownMessage>{{"保存失败", "提示", 0x30}}));
}

}  // namespace
}  // namespace vennadar
