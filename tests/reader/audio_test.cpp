#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/reader/article_audio.h"
#include "core/reader/article_reader.h"
#include "support/fakes.h"

namespace vennadar {
namespace {

using Calls = std::vector<std::string>;

std::string ArticlePage(const std::vector<std::string>& lines) {
    std::string page =
        "<center><h1>T</h1>\n<div>正文：</div></center>\n"
        "   <article id=\"post_content\">\n";
    for (const std::string& line : lines) {
        page += "    " + line + "\n";
    }
    return page + "       </article>\n";
}

class Audio : public ::testing::Test {
  protected:
    Audio() { services_.hot_keys = &hot_keys_; }

    void Open(const std::vector<std::string>& lines) {
        state_->article_handoff = {"T", Utf8ToGbk(ArticlePage(lines)),
                                   "http://site/archives/7.html"};
        ShowArticle(*state_, view_, services_);
    }

    // Opens an article with audio, says Yes, and forgets what that did.
    void Playing() {
        dialogs_.answer = kAnswerYes;
        Open({R"(<audio controls src="/audio/a.mp3"></audio>)"});
        view_.player.calls.clear();
    }

    void Press(int slot) { HotKeyPressed(*state_, view_, 101 + slot); }

    std::unique_ptr<AppState> state_ = InitializeGlobals();
    test::FakeArticleView view_;
    test::FakeHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hot_keys_;
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
};

TEST_F(Audio, NoAudioNoQuestion) {
    Open({"<p>文字</p>"});
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_TRUE(hot_keys_.registered.empty());
}

TEST_F(Audio, AudioOverSeveralLinesIsNotFound) {
    Open({R"(<audio controls)", R"(src="/audio/a.mp3"></audio>)"});
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(Audio, NoMeansNothingRegistered) {
    dialogs_.answer = kAnswerNo;
    Open({R"(<audio controls src="/audio/a.mp3"></audio>)"});
    EXPECT_EQ(dialogs_.shown,
              (std::vector<test::ShownMessage>{
                  {"这篇文章含有音乐，是否播放，点是开始播放，点否不播放", "提示", 0x44}}));
    EXPECT_TRUE(view_.player.calls.empty());
    EXPECT_TRUE(hot_keys_.registered.empty());
    EXPECT_EQ(view_.keys_registered, 0);
    EXPECT_EQ(state_->playing_flag, 0);
}

TEST_F(Audio, YesPlaysTheFirstSourceAndRegistersSixKeysInOrder) {
    dialogs_.answer = kAnswerYes;
    Open({R"(<audio controls src="/audio/a.mp3?x=1&amp;y=2"></audio>)",
          R"(<audio controls src="http://other/b.mp3"></audio>)"});
    EXPECT_EQ(dialogs_.shown.size(), 1U);
    EXPECT_EQ(view_.player.calls,
              (Calls{"open http://site/audio/a.mp3?x=1&y=2", "volume 50 50", "play -1"}));
    EXPECT_EQ(state_->playing_flag, 1);
    EXPECT_EQ(hot_keys_.registered, (std::vector<std::pair<int, int>>{
                                        {5, 36}, {5, 35}, {5, 39}, {5, 37}, {5, 38}, {5, 40}}));
    EXPECT_EQ(state_->playback_hot_keys, (std::array<int, 6>{101, 102, 103, 104, 105, 106}));
    EXPECT_EQ(view_.keys_registered, 1);
}

TEST_F(Audio, SourcesOtherThanHttpAreNotOpened) {
    dialogs_.answer = kAnswerYes;
    Open({R"(<audio controls src="file:///etc/passwd"></audio>)"});
    EXPECT_EQ(view_.player.calls, (Calls{"volume 50 50", "play -1"}));
}

TEST_F(Audio, HomeTogglesWithEndInBetween) {
    Playing();
    Press(0);  // pause
    Press(0);  // pause when paused resumes; the flag stays 1
    Press(0);  // and pauses again
    Press(1);  // stop
    Press(0);  // play again from where it stands
    EXPECT_EQ(view_.player.calls, (Calls{"pause", "play -1", "pause", "stop", "play -1"}));
    EXPECT_EQ(state_->playing_flag, 1);
}

TEST_F(Audio, JumpsMoveFiveSecondsAndNotBeforeTheStart) {
    Playing();
    view_.player.position = 12000;
    Press(2);
    Press(3);
    view_.player.position = 3000;
    Press(3);
    EXPECT_EQ(view_.player.calls, (Calls{"play 17000", "play 7000", "play 0"}));
}

TEST_F(Audio, LevelsChangeTogetherWithinRange) {
    Playing();
    Press(4);
    Press(5);
    Press(5);
    EXPECT_EQ(view_.player.calls, (Calls{"volume 51 51", "volume 50 50", "volume 49 49"}));
    for (int i = 0; i < 60; ++i) {
        Press(4);
    }
    EXPECT_EQ(view_.player.calls.back(), "volume 100 100");
    for (int i = 0; i < 120; ++i) {
        Press(5);
    }
    EXPECT_EQ(view_.player.calls.back(), "volume 0 0");
    EXPECT_EQ(state_->left_volume, 0);
}

TEST_F(Audio, UnknownIdentifierDoesNothing) {
    Playing();
    HotKeyPressed(*state_, view_, 999);
    EXPECT_TRUE(view_.player.calls.empty());
}

TEST_F(Audio, ReleaseUnregistersTheStoredSixEvenAfterNo) {
    Playing();
    dialogs_.answer = kAnswerNo;
    Open({R"(<audio controls src="/a.mp3"></audio>)"});
    ReleaseHotKeys(*state_, services_);
    EXPECT_EQ(hot_keys_.unregistered, (std::vector<int>{101, 102, 103, 104, 105, 106}));
}

}  // namespace
}  // namespace vennadar
