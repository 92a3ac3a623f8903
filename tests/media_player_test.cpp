// The article's audio player against the sample site's MP3 over loopback HTTP. Without an audio
// device the GStreamer back end still plays, silently; should a back end refuse instead, it must
// report an error, the tests that need playback skip, and nothing may wait on the window's
// thread either way.
#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QAudioOutput>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMetaEnum>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "reader/qt_media_player.h"
#include "sample-site/sample_site.h"

namespace vennadar {
namespace {

constexpr int kLoadMs = 15000;
// The longest the window's thread may go without running its timers.
constexpr qint64 kLongestStallMs = 1000;

const char* StatusName(QMediaPlayer::MediaStatus status) {
    return QMetaEnum::fromType<QMediaPlayer::MediaStatus>().valueToKey(status);
}

// Measures how long the event loop goes without running a timer.
class Stall {
  public:
    Stall() {
        since_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, since_.restart());
            ++ticks_;
        });
        timer_.start();
    }
    qint64 Longest() const { return std::max(longest_, since_.elapsed()); }
    int Ticks() const { return ticks_; }

  private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
    int ticks_ = 0;
};

class QtMediaPlayerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new sample_site::SampleSite();
        ASSERT_TRUE(site_->Start());
        ASSERT_FALSE(sample_site::AudioNames().empty());
        back_end_plays_ = BackEndPlays();
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    // Whether Qt Multimedia, used directly, plays the stream on this machine: without an audio
    // device GStreamer still does, silently, but another back end might refuse.
    static bool BackEndPlays() {
        QAudioOutput output;
        QMediaPlayer player;
        player.setAudioOutput(&output);
        player.setSource(QUrl(QString::fromStdString(AudioUrl())));
        player.play();
        const bool plays =
            QTest::qWaitFor(
                [&] { return player.position() > 0 || player.error() != QMediaPlayer::NoError; },
                kLoadMs) &&
            player.position() > 0;
        if (!plays) {
            std::fprintf(stderr, "no playback here (%d audio outputs): %s\n",
                         static_cast<int>(QMediaDevices::audioOutputs().size()),
                         qUtf8Printable(player.errorString()));
        }
        return plays;
    }

    static std::string AudioUrl() {
        return site_->BaseUrl() + "/audio/" + sample_site::AudioNames().front() + ".mp3";
    }

    // Until the stream has loaded or failed to.
    bool Settled() {
        return QTest::qWaitFor(
            [this] {
                const QMediaPlayer::MediaStatus status = player_.Native()->mediaStatus();
                return status != QMediaPlayer::NoMedia && status != QMediaPlayer::LoadingMedia;
            },
            kLoadMs);
    }

    // Whether this machine plays the stream at all; without an audio device it may not.
    bool Plays() const {
        return player_.Native()->error() == QMediaPlayer::NoError &&
               player_.Native()->mediaStatus() != QMediaPlayer::InvalidMedia;
    }

    // Where Qt itself plays nothing, the player must say so rather than hang.
    void ExpectReported() const {
        EXPECT_EQ(player_.Native()->mediaStatus(), QMediaPlayer::InvalidMedia);
        EXPECT_FALSE(player_.Native()->errorString().isEmpty());
    }

    // Until the player's own position has reached `position`.
    bool Reaches(qint64 position) {
        return QTest::qWaitFor([&] { return player_.Native()->position() >= position; }, kLoadMs);
    }

    static sample_site::SampleSite* site_;
    static bool back_end_plays_;
    mutable QtMediaPlayer player_;
};

sample_site::SampleSite* QtMediaPlayerTest::site_ = nullptr;
bool QtMediaPlayerTest::back_end_plays_ = false;

TEST_F(QtMediaPlayerTest, PlaysTheStreamWithoutHoldingUpTheWindow) {
    Stall stall;
    player_.Open(AudioUrl());
    player_.Play(-1);
    ASSERT_TRUE(Settled());
    const QMediaPlayer::MediaStatus status = player_.Native()->mediaStatus();
    if (back_end_plays_) {
        ASSERT_TRUE(Plays()) << player_.Native()->errorString().toStdString();
        EXPECT_TRUE(Reaches(500)) << StatusName(status);
        EXPECT_EQ(player_.Native()->playbackState(), QMediaPlayer::PlayingState);
        EXPECT_TRUE(QTest::qWaitFor([&] { return player_.Position() > 700; }, kLoadMs));
    } else {
        ExpectReported();
    }
    EXPECT_GT(stall.Ticks(), 0);
    EXPECT_LT(stall.Longest(), kLongestStallMs);
}

TEST_F(QtMediaPlayerTest, PlayFromAPositionSeeks) {
    Stall stall;
    std::vector<qint64> positions;
    QObject::connect(player_.Native(), &QMediaPlayer::positionChanged,
                     [&positions](qint64 position) { positions.push_back(position); });
    player_.Open(AudioUrl());
    // Asked for while the stream still loads: kept, and reported as where the player stands.
    player_.Play(3000);
    EXPECT_EQ(player_.Position(), 3000);
    ASSERT_TRUE(Settled());
    if (!back_end_plays_) {
        ExpectReported();
        GTEST_SKIP() << "Qt Multimedia plays nothing on this machine";
    }
    ASSERT_TRUE(Plays()) << player_.Native()->errorString().toStdString();
    ASSERT_TRUE(Reaches(3200));
    EXPECT_EQ(player_.Native()->playbackState(), QMediaPlayer::PlayingState);
    // It jumped there rather than playing its way there from the start.
    EXPECT_EQ(std::count_if(positions.begin(), positions.end(),
                            [](qint64 position) { return position > 1000 && position < 2900; }),
              0);

    // Back while playing, then below the start, which means the start.
    player_.Play(1000);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player_.Position() >= 1000 && player_.Position() < 2500; }, kLoadMs));
    player_.Play(-20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player_.Position() < 900; }, kLoadMs));

    // Beyond the end: the end, straight away, and from there it plays again when asked.
    positions.clear();
    player_.Play(60000);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player_.Native()->mediaStatus() == QMediaPlayer::EndOfMedia; }, kLoadMs));
    EXPECT_EQ(std::count_if(positions.begin(), positions.end(),
                            [](qint64 position) { return position > 1000 && position < 4000; }),
              0);
    player_.Play(2000);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return player_.Native()->playbackState() == QMediaPlayer::PlayingState &&
                   player_.Position() >= 2000 && player_.Position() < 4000;
        },
        kLoadMs));
    EXPECT_LT(stall.Longest(), kLongestStallMs);
}

TEST_F(QtMediaPlayerTest, PauseHoldsAndPlayContinues) {
    player_.Open(AudioUrl());
    // Paused before the stream has loaded: it must not start once it has.
    player_.Play(-1);
    player_.Pause();
    ASSERT_TRUE(Settled());
    if (!back_end_plays_) {
        ExpectReported();
        GTEST_SKIP() << "Qt Multimedia plays nothing on this machine";
    }
    ASSERT_TRUE(Plays()) << player_.Native()->errorString().toStdString();
    QTest::qWait(300);
    EXPECT_NE(player_.Native()->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_EQ(player_.Position(), 0);

    player_.Play(-1);
    ASSERT_TRUE(Reaches(1000));
    player_.Pause();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player_.Native()->playbackState() == QMediaPlayer::PausedState; }, kLoadMs));
    const int paused_at = player_.Position();
    QTest::qWait(300);
    EXPECT_EQ(player_.Position(), paused_at);

    player_.Play(-1);
    EXPECT_TRUE(Reaches(paused_at + 300));
    EXPECT_GE(player_.Position(), paused_at);
}

TEST_F(QtMediaPlayerTest, StopGoesBackToTheStart) {
    player_.Open(AudioUrl());
    // Stopped while loading: neither the playing nor the position asked for survives.
    player_.Play(3000);
    player_.Stop();
    EXPECT_EQ(player_.Position(), 0);
    ASSERT_TRUE(Settled());
    if (!back_end_plays_) {
        ExpectReported();
        GTEST_SKIP() << "Qt Multimedia plays nothing on this machine";
    }
    ASSERT_TRUE(Plays()) << player_.Native()->errorString().toStdString();
    QTest::qWait(300);
    EXPECT_EQ(player_.Native()->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_EQ(player_.Position(), 0);

    player_.Play(2000);
    ASSERT_TRUE(Reaches(2200));

    player_.Stop();
    EXPECT_EQ(player_.Native()->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_EQ(player_.Position(), 0);

    // Played again it starts over.
    player_.Play(-1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player_.Native()->playbackState() == QMediaPlayer::PlayingState; }, kLoadMs));
    EXPECT_TRUE(Reaches(300));
    EXPECT_LT(player_.Position(), 2000);
}

TEST_F(QtMediaPlayerTest, VolumeIsTheMeanOfBothLevels) {
    // Set before the Qt player exists, then after.
    player_.SetVolume(30, 70);
    QAudioOutput* output = player_.Native()->audioOutput();
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
    // A port nobody listens on: bound and let go again.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 refused_port = closed.serverPort();
    closed.close();

    const std::string sources[] = {
        site_->BaseUrl() + "/audio/no-such-recording.mp3",
        "http://127.0.0.1:" + std::to_string(refused_port) + "/audio/melody.mp3",
    };
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        Stall stall;
        QtMediaPlayer player;
        QMediaPlayer* native = player.Native();
        player.Open(source);
        player.Play(-1);
        ASSERT_TRUE(QTest::qWaitFor(
            [native] { return native->mediaStatus() == QMediaPlayer::InvalidMedia; }, kLoadMs));
        EXPECT_NE(native->error(), QMediaPlayer::NoError);
        // Further presses do nothing and hurt nothing.
        player.Play(2000);
        player.Pause();
        player.Play(-1);
        EXPECT_EQ(player.Position(), 0);
        EXPECT_NE(native->playbackState(), QMediaPlayer::PlayingState);
        EXPECT_GT(stall.Ticks(), 0);
        EXPECT_LT(stall.Longest(), kLongestStallMs);
    }

    // A player that failed goes on to play a good source.
    player_.Open(sources[0]);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player_.Native()->mediaStatus() == QMediaPlayer::InvalidMedia; }, kLoadMs));
    player_.Open(AudioUrl());
    player_.Play(-1);
    ASSERT_TRUE(Settled());
    if (!back_end_plays_) {
        ExpectReported();
        GTEST_SKIP() << "Qt Multimedia plays nothing on this machine";
    }
    ASSERT_TRUE(Plays()) << player_.Native()->errorString().toStdString();
    EXPECT_TRUE(Reaches(300));
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
