// The article's audio player against the sample site's MP3 over loopback HTTP. Without an audio
// device GStreamer still plays, silently; scripts/install-deps installs it, so a machine where Qt
// plays nothing fails these tests. Nothing may hold up the window's thread either way.
#include <gtest/gtest.h>

#include <QAudioOutput>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <string>
#include <vector>

#include "adapters/audio/qt_media_player.h"
#include "sample-site/sample_site.h"

namespace vennadar {
namespace {

constexpr int kWaitMs = 15000;

// The longest stretch the event loop goes without running a 10 ms timer.
class Stall {
  public:
    Stall() {
        since_.start();
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, since_.restart()); });
        timer_.start(10);
    }
    qint64 Longest() const { return std::max(longest_, since_.elapsed()); }

  private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
};

class QtMediaPlayerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new sample_site::SampleSite();
        ASSERT_TRUE(site_->Start());
        // Qt on its own, as the measure of what this machine can play.
        QAudioOutput output;
        QMediaPlayer player;
        player.setAudioOutput(&output);
        player.setSource(QUrl(QString::fromStdString(AudioUrl())));
        player.play();
        back_end_plays_ = QTest::qWaitFor([&] { return player.position() > 0; }, kWaitMs);
    }
    static void TearDownTestSuite() { delete site_; }

    static std::string AudioUrl() {
        return site_->BaseUrl() + "/audio/" + sample_site::AudioNames().front() + ".mp3";
    }

    QMediaPlayer* Native() { return player_.Native(); }

    // Waits for the stream to load; fails where Qt plays nothing.
    void WaitForLoad() {
        ASSERT_TRUE(QTest::qWaitFor(
            [this] {
                return Native()->mediaStatus() != QMediaPlayer::NoMedia &&
                       Native()->mediaStatus() != QMediaPlayer::LoadingMedia;
            },
            kWaitMs));
        ASSERT_TRUE(back_end_plays_) << "Qt plays nothing on this machine: no GStreamer back end?";
        ASSERT_EQ(Native()->error(), QMediaPlayer::NoError)
            << Native()->errorString().toStdString();
    }

    bool Reaches(qint64 position) {
        return QTest::qWaitFor([&] { return Native()->position() >= position; }, kWaitMs);
    }
    bool Is(QMediaPlayer::PlaybackState state) {
        return QTest::qWaitFor([&] { return Native()->playbackState() == state; }, kWaitMs);
    }

    static sample_site::SampleSite* site_;
    static bool back_end_plays_;
    QtMediaPlayer player_;
};

sample_site::SampleSite* QtMediaPlayerTest::site_ = nullptr;
bool QtMediaPlayerTest::back_end_plays_ = false;

TEST_F(QtMediaPlayerTest, PlaysWithoutHoldingUpTheWindow) {
    Stall stall;
    player_.Open(AudioUrl());
    player_.Play(-1);
    WaitForLoad();
    if (!HasFailure()) {
        EXPECT_TRUE(Is(QMediaPlayer::PlayingState));
        EXPECT_TRUE(QTest::qWaitFor([&] { return player_.Position() > 700; }, kWaitMs));
    }
    EXPECT_LT(stall.Longest(), 1000);
}

TEST_F(QtMediaPlayerTest, PlayFromAPositionSeeks) {
    // The positions heard: while a position waits to be applied the stream may play a moment,
    // silently, to learn its length.
    std::vector<qint64> positions;
    QObject::connect(Native(), &QMediaPlayer::positionChanged, [this, &positions](qint64 position) {
        if (!Native()->audioOutput()->isMuted()) {
            positions.push_back(position);
        }
    });
    const auto passed_through = [&positions](qint64 from, qint64 to) {
        return std::any_of(positions.begin(), positions.end(),
                           [=](qint64 position) { return position > from && position < to; });
    };
    player_.Open(AudioUrl());
    // Asked for while the stream loads: kept, and reported as where the player stands.
    player_.Play(-20);
    EXPECT_EQ(player_.Position(), 0);
    player_.Play(3000);
    EXPECT_EQ(player_.Position(), 3000);
    WaitForLoad();
    if (HasFatalFailure()) {
        return;
    }
    ASSERT_TRUE(Reaches(3200));
    EXPECT_FALSE(passed_through(1000, 2900));  // jumped there rather than playing there

    // Back while playing; below the start means the start.
    player_.Play(1000);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player_.Position() >= 1000 && player_.Position() < 2500; }, kWaitMs));
    player_.Play(-20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player_.Position() < 900; }, kWaitMs));

    // Beyond the end is the end, straight away; from there it plays again when asked.
    positions.clear();
    player_.Play(60000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Native()->mediaStatus() == QMediaPlayer::EndOfMedia; },
                                kWaitMs));
    EXPECT_FALSE(passed_through(1000, 4000));
    player_.Play(2000);
    EXPECT_TRUE(Is(QMediaPlayer::PlayingState));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player_.Position() >= 2000 && player_.Position() < 4000; }, kWaitMs));
}

TEST_F(QtMediaPlayerTest, PauseHoldsAndPlayContinues) {
    player_.Open(AudioUrl());
    // Paused before the stream has loaded: it must not start once it has.
    player_.Play(-1);
    player_.Pause();
    WaitForLoad();
    if (HasFatalFailure()) {
        return;
    }
    QTest::qWait(300);
    EXPECT_NE(Native()->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_EQ(player_.Position(), 0);

    player_.Play(-1);
    ASSERT_TRUE(Reaches(1000));
    player_.Pause();
    EXPECT_TRUE(Is(QMediaPlayer::PausedState));
    EXPECT_TRUE(player_.IsPaused());
    const int paused_at = player_.Position();
    QTest::qWait(300);
    EXPECT_EQ(player_.Position(), paused_at);
    player_.Play(-1);
    EXPECT_TRUE(Reaches(paused_at + 300));
}

TEST_F(QtMediaPlayerTest, StopGoesBackToTheStart) {
    player_.Open(AudioUrl());
    // Stopped while loading: neither the playing nor the position asked for survives.
    player_.Play(3000);
    player_.Stop();
    EXPECT_EQ(player_.Position(), 0);
    QSignalSpy state_changes(Native(), &QMediaPlayer::playbackStateChanged);
    WaitForLoad();
    if (HasFatalFailure()) {
        return;
    }
    // Loaded and settled, it has not started.
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return Native()->mediaStatus() == QMediaPlayer::LoadedMedia; }, kWaitMs));
    EXPECT_TRUE(state_changes.isEmpty());
    EXPECT_EQ(Native()->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_EQ(player_.Position(), 0);

    player_.Play(2000);
    ASSERT_TRUE(Reaches(2200));
    player_.Stop();
    EXPECT_EQ(Native()->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_EQ(player_.Position(), 0);
    player_.Play(-1);  // starts over
    EXPECT_TRUE(Reaches(300));
    EXPECT_LT(player_.Position(), 2000);
}

TEST_F(QtMediaPlayerTest, VolumeIsTheMeanOfBothLevels) {
    player_.SetVolume(30, 70);  // before the Qt player exists
    QAudioOutput* output = Native()->audioOutput();
    ASSERT_NE(output, nullptr);
    EXPECT_FLOAT_EQ(output->volume(), 0.5f);
    player_.SetVolume(100, 100);
    EXPECT_FLOAT_EQ(output->volume(), 1.0f);
    player_.SetVolume(0, 0);
    EXPECT_FLOAT_EQ(output->volume(), 0.0f);
    player_.SetVolume(150, -20);
    EXPECT_FLOAT_EQ(output->volume(), 0.5f);
}

TEST_F(QtMediaPlayerTest, SourcesThatCannotBeOpenedPlayNothing) {
    QTcpServer closed;  // a port bound and let go again: nobody listens there
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/audio/a.mp3";
    closed.close();
    const std::string missing = site_->BaseUrl() + "/audio/no-such-recording.mp3";

    for (const std::string& source : {missing, refused}) {
        SCOPED_TRACE(source);
        Stall stall;
        QtMediaPlayer player;
        player.Open(source);
        player.Play(-1);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return player.Native()->mediaStatus() == QMediaPlayer::InvalidMedia; }, kWaitMs));
        EXPECT_NE(player.Native()->error(), QMediaPlayer::NoError);
        // Told as it is, though the back end may still call itself playing.
        EXPECT_EQ(player.State(), PlaybackState::kStopped);
        player.Play(2000);  // further presses do nothing and hurt nothing
        player.Pause();
        player.Play(-1);
        EXPECT_EQ(player.Position(), 0);
        EXPECT_NE(player.Native()->playbackState(), QMediaPlayer::PlayingState);
        EXPECT_EQ(player.State(), PlaybackState::kStopped);
        EXPECT_LT(stall.Longest(), 1000);
    }

    // A player whose source failed goes on to play the next one.
    player_.Open(missing);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Native()->mediaStatus() == QMediaPlayer::InvalidMedia; }, kWaitMs));
    player_.Open(AudioUrl());
    player_.Play(-1);
    WaitForLoad();
    if (!HasFatalFailure()) {
        EXPECT_TRUE(Reaches(300));
    }
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
