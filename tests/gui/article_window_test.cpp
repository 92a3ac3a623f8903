// The real article window, opened from the real main window, against the sample site.
#include "gui/article_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <set>
#include <sstream>

#include "adapters/curl/curl_http.h"
#include "adapters/qt/qt_zoom.h"
#include "core/commands/startup.h"
#include "core/listing/listing_loader.h"
#include "core/ports/key_event.h"
#include "core/wait/wait.h"
#include "gui/main_window.h"
#include "sample-site/sample_site.h"
#include "support/fakes.h"
#include "support/settle.h"
#include "support/zoom_check.h"

namespace vennadar {
namespace {

class ArticleWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new sample_site::SampleSite();
        ASSERT_TRUE(site_->Start());
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    void SetUp() override {
        services_.settings.site_base = site_->BaseUrl();
        main_ = std::make_unique<MainWindow>(*state_, services_);
        main_->show();
        MainWindowCreated(*state_, *main_, services_);
        QTest::keyClick(main_->findChild<QTreeWidget*>("超级列表框1"), Qt::Key_Return);
        Settle();
    }

    void Settle() const { test::Settle(*state_); }

    void TearDown() override {
        main_.reset();
        QApplication::processEvents();
    }

    // Opens the first article of the home page whose body holds links (or lacks them).
    ArticleWindow* OpenArticle(bool with_links) {
        const auto& articles = sample_site::Articles();
        for (int i = 0; i < sample_site::kPageSize; ++i) {
            const bool has_links =
                articles[static_cast<std::size_t>(i)].body_html.find("<a ") != std::string::npos;
            if (has_links == with_links) {
                expected_title_ = articles[static_cast<std::size_t>(i)].title;
                main_->SetSelectedIndex(i);
                QTest::keyClick(main_->findChild<QTreeWidget*>("超级列表框1"), Qt::Key_Return);
                Settle();
                window_ = main_->findChild<ArticleWindow*>();
                if (window_ != nullptr) {
                    window_->activateWindow();
                    EXPECT_TRUE(QTest::qWaitForWindowActive(window_));
                }
                return window_;
            }
        }
        return nullptr;
    }

    // Opens the sample site's article with audio, as the main window does, and plays it.
    ArticleWindow* OpenAudioArticle() {
        dialogs_.answer = kAnswerYes;
        for (const sample_site::Article& article : sample_site::Articles()) {
            if (article.has_audio) {
                const std::string link =
                    site_->BaseUrl() + "/archives/" + std::to_string(article.id) + ".html";
                state_->article_handoff = {Utf8ToGbk(article.title), FetchPageText(http_, link),
                                           link};
                break;
            }
        }
        main_->OpenArticleWindow();
        window_ = main_->findChild<ArticleWindow*>();
        return window_;
    }

    QPlainTextEdit* Body() const { return window_->findChild<QPlainTextEdit*>("超级编辑框1"); }
    QTreeWidget* Links() const { return window_->findChild<QTreeWidget*>("超级列表框1"); }

    static sample_site::SampleSite* site_;
    std::unique_ptr<AppState> state_ = InitializeGlobals();
    CurlHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hot_keys_;  // wired in only where a test asks for it
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
    std::unique_ptr<MainWindow> main_;
    QPointer<ArticleWindow> window_;
    std::string expected_title_;
};

sample_site::SampleSite* ArticleWindowTest::site_ = nullptr;

TEST_F(ArticleWindowTest, ShowsTitleReadableBodyAndLinks) {
    ASSERT_NE(OpenArticle(true), nullptr);
    EXPECT_EQ(window_->windowTitle().toStdString(), expected_title_);
    EXPECT_TRUE(window_->isModal());
    const QString body = Body()->toPlainText();
    EXPECT_FALSE(body.isEmpty());
    EXPECT_FALSE(body.contains('<')) << body.toStdString();
    EXPECT_FALSE(body.contains("&nbsp;"));
    EXPECT_FALSE(body.contains('?')) << body.toStdString();
    EXPECT_TRUE(Body()->isReadOnly());
    EXPECT_TRUE(Body()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    EXPECT_EQ(Body()->accessibleName(), "正文");
    EXPECT_EQ(Body()->geometry(), QRect(32, 32, 560, 400));
    ASSERT_TRUE(Links()->isVisible());
    EXPECT_EQ(Links()->accessibleName(), "链接");
    EXPECT_EQ(Links()->geometry(), QRect(620, 32, 120, 400));
    EXPECT_TRUE(window_->findChild<QLabel*>("标签1")->isVisible());
    EXPECT_GT(Links()->topLevelItemCount(), 0);
    EXPECT_EQ(Links()->indexOfTopLevelItem(Links()->currentItem()), 0);
    EXPECT_EQ(window_->size(), QSize(800, 600));
}

// The text size from the body: the body's own wheel zoom is gone, it keeps no font of its own,
// and at 400 % every caption fits.
TEST_F(ArticleWindowTest, ZoomStepsTheTextSizeOfTheWholeWindow) {
    ASSERT_NE(OpenArticle(true), nullptr);
    QTemporaryDir config;
    const QFont desktop = QApplication::font();
    QtZoom zoom(config.filePath("settings.ini").toStdString());
    services_.zoom = &zoom;
    Body()->setFocus();
    test::ExpectZoomWalk(zoom, window_, Body()->viewport());
    EXPECT_EQ(Body()->font(), QApplication::font());
    EXPECT_EQ(window_->size(), QSize(800, 600));
    zoom.SetPercent(400);
    QApplication::processEvents();
    EXPECT_EQ(Body()->font(), QApplication::font());
    EXPECT_GT(Links()->width(), 120);
    test::ExpectCaptionsFit(window_);
    services_.zoom = nullptr;
    QApplication::setFont(desktop);
}

TEST_F(ArticleWindowTest, ArticleWithoutLinksHidesTheList) {
    ASSERT_NE(OpenArticle(false), nullptr);
    EXPECT_FALSE(Links()->isVisible());
    EXPECT_FALSE(window_->findChild<QLabel*>("标签1")->isVisible());
}

TEST_F(ArticleWindowTest, OnlyPlainCloseKeysInTheBodyClose) {
    ASSERT_NE(OpenArticle(true), nullptr);
    const std::pair<Qt::Key, Qt::KeyboardModifier> kept[] = {{Qt::Key_Return, Qt::ControlModifier},
                                                             {Qt::Key_Space, Qt::ShiftModifier},
                                                             {Qt::Key_Backspace, Qt::AltModifier},
                                                             {Qt::Key_Down, Qt::NoModifier}};
    for (const auto& [key, modifier] : kept) {
        QTest::keyClick(Body(), key, modifier);
    }
    QTest::keyClick(Links(), Qt::Key_Return);  // opens the link instead
    QApplication::processEvents();
    ASSERT_FALSE(window_.isNull());
    QTest::keyClick(Body(), Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_.isNull(); }, 2000));
}

TEST_F(ArticleWindowTest, CtrlCCopiesTheLinkOnlyInTheList) {
    ASSERT_NE(OpenArticle(true), nullptr);
    QGuiApplication::clipboard()->clear();
    Links()->setFocus();
    QTest::keyClick(Links(), Qt::Key_C, Qt::ControlModifier);
    const QString link = QGuiApplication::clipboard()->text();
    EXPECT_EQ(link.toStdString(), GbkToUtf8(state_->article_links[0]));

    Body()->setFocus();
    Body()->selectAll();
    QTest::keyClick(Body(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Body()->toPlainText());
}

TEST_F(ArticleWindowTest, LinkMenuOnlyWithASelectedRow) {
    ASSERT_NE(OpenArticle(true), nullptr);
    QTest::keyClick(Links(), Qt::Key_Menu, Qt::ShiftModifier);
    EXPECT_FALSE(window_->LinkMenu()->isVisible());
    QTest::keyClick(Links(), Qt::Key_Menu);
    EXPECT_TRUE(window_->LinkMenu()->isVisible());
    window_->LinkMenu()->hide();
    Links()->clearSelection();
    QTest::keyClick(Links(), Qt::Key_Menu);
    EXPECT_FALSE(window_->LinkMenu()->isVisible());
}

TEST_F(ArticleWindowTest, ClosingReleasesTheSixPlaybackKeysAndTheirHandler) {
    services_.hot_keys = &hot_keys_;
    ASSERT_NE(OpenAudioArticle(), nullptr);
    ASSERT_EQ(hot_keys_.registered.size(), 6U);
    ASSERT_TRUE(hot_keys_.handler);
    window_->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_.isNull(); }, 2000));
    EXPECT_EQ(hot_keys_.unregistered, (std::vector<int>{101, 102, 103, 104, 105, 106}));
    EXPECT_FALSE(hot_keys_.handler);
}

TEST_F(ArticleWindowTest, PlaybackKeysNoSystemWideWayHoldsAreTheWindowsOwnAndActOnce) {
    struct Row {
        const char* name;
        bool system_wide;       // a system-wide way is there
        std::set<int> refused;  // keys it refuses at once
        bool fails_later;       // it gives the keys up after binding them
        int louder;             // what Alt+Shift+Up in the window adds to the level
        int flag_after_end;     // PlayingFlag after Alt+Shift+End in the window
    };
    const Row rows[] = {
        {"the grab of Up refused", true, {kKeyUp}, false, 1, 1},
        {"no system-wide way", false, {}, false, 1, 0},
        {"all held system-wide", true, {}, false, 0, 1},
        {"the system-wide way failed", true, {}, true, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        hot_keys_ = test::FakeHotKeys();
        hot_keys_.refused = row.refused;
        services_.hot_keys = row.system_wide ? &hot_keys_ : nullptr;
        dialogs_.shown.clear();
        ASSERT_NE(OpenAudioArticle(), nullptr);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window_; }, 2000));
        if (row.fails_later) {
            hot_keys_.on_failure();
        }
        const int level = state_->left_volume;
        QTest::keyClick(Body(), Qt::Key_Up, Qt::AltModifier | Qt::ShiftModifier);
        EXPECT_EQ(state_->left_volume, level + row.louder);
        QTest::keyClick(Body(), Qt::Key_End, Qt::AltModifier | Qt::ShiftModifier);
        EXPECT_EQ(state_->playing_flag, row.flag_after_end);
        EXPECT_EQ(dialogs_.shown.size(), 1U);  // the question about the audio, nothing more
        window_->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_.isNull(); }, 2000));
    }
}

TEST_F(ArticleWindowTest, CtrlSSavesTheBodyAsGbk) {
    ASSERT_NE(OpenArticle(true), nullptr);
    QTemporaryDir dir;
    dialogs_.save_path = dir.filePath("saved.txt").toStdString();
    QTest::keyClick(Body(), Qt::Key_S, Qt::ControlModifier);
    std::ifstream in(*dialogs_.save_path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), Utf8ToGbk(Body()->toPlainText().toStdString()));
    ASSERT_EQ(dialogs_.save_requests.size(), 1U);
    EXPECT_EQ(dialogs_.save_requests[0], expected_title_ + ".txt|文本文件*.txt|*.txt");
}

}  // namespace
}  // namespace vennadar
