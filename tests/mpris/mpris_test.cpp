// A media-player client on the session bus steers the real article window playing the sample
// site's audio; the hot keys steer it too, and both must leave one state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QPointer>
#include <QTest>
#include <algorithm>
#include <regex>

#include "adapters/curl/curl_http.h"
#include "core/listing/listing_loader.h"
#include "core/reader/article_reader.h"
#include "gui/article_window.h"
#include "sample-site/sample_site.h"
#include "support/fakes.h"

namespace vennadar {
namespace {

const QString kName = QStringLiteral("org.mpris.MediaPlayer2.vennadar");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// What the player said on the bus.
class Listener : public QObject {
    Q_OBJECT

  public:
    std::vector<QVariantMap> changes;
    int seeks = 0;

    bool Heard(const QString& property, const QVariant& value) const {
        return std::any_of(changes.begin(), changes.end(), [&](const QVariantMap& change) {
            return change.value(property) == value;
        });
    }

  public Q_SLOTS:
    void PropertiesChanged(const QString&, const QVariantMap& changed, const QStringList&) {
        changes.push_back(changed);
    }
    void Seeked(qlonglong) { ++seeks; }
};

class Mpris : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new sample_site::SampleSite();
        ASSERT_TRUE(site_->Start());
    }
    static void TearDownTestSuite() { delete site_; }

    Mpris() { services_.hot_keys = &hot_keys_; }
    ~Mpris() override {
        delete window_;
        QApplication::processEvents();
    }

    // Opens the first article with (or without) a question about its audio, as the main window
    // does; `audio_name` replaces the name of the recording it plays.
    void Open(bool with_audio, int answer, const std::string& audio_name = "") {
        dialogs_.answer = answer;
        for (const sample_site::Article& article : sample_site::Articles()) {
            const bool asks =
                article.body_html.find("\" preload=\"none\"></audio>") != std::string::npos;
            if (asks == with_audio && article.has_audio == with_audio) {
                const std::string link =
                    site_->BaseUrl() + "/archives/" + std::to_string(article.id) + ".html";
                title_ = QString::fromStdString(article.title);
                std::string page = FetchPageText(http_, link);
                if (!audio_name.empty()) {
                    page = std::regex_replace(page, std::regex(R"(/audio/[A-Za-z0-9_-]+\.mp3)"),
                                              "/audio/" + audio_name + ".mp3");
                }
                state_->article_handoff = {Utf8ToGbk(article.title), page, Utf8ToGbk(link)};
                window_ = new ArticleWindow(*state_, services_);
                window_->show();
                ShowArticle(*state_, *window_, services_);
                return;
            }
        }
        FAIL() << "no such article";
    }

    bool Owned() { return client_.interface()->isServiceRegistered(kName); }

    // Asynchronous, so that this thread can answer its own call.
    QDBusMessage Call(const QString& interface, const QString& method, QVariantList args = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(kName, kPath, interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = client_.asyncCall(message);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 5000));
        EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
        return pending.reply();
    }
    void Steer(const QString& method, QVariantList args = {}) { Call(kPlayer, method, args); }
    QVariant Get(const QString& property, const QString& interface = kPlayer) {
        const QDBusMessage reply = Call(QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {interface, property});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    std::string Status() { return Get("PlaybackStatus").toString().toStdString(); }
    void SetVolume(double volume) {
        Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
             {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(volume))});
    }
    void Listen() {
        ASSERT_TRUE(client_.connect(kName, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("PropertiesChanged"), &listener_,
                                    SLOT(PropertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(client_.connect(kName, kPath, kPlayer, QStringLiteral("Seeked"), &listener_,
                                    SLOT(Seeked(qlonglong))));
    }
    void Press(int slot) { hot_keys_.handler(101 + slot); }
    bool HeardStatus(const char* status) {
        return QTest::qWaitFor(
            [&] { return listener_.Heard(QStringLiteral("PlaybackStatus"), status); }, 5000);
    }

    static sample_site::SampleSite* site_;
    std::unique_ptr<AppState> state_ = InitializeGlobals();
    CurlHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    test::FakeHotKeys hot_keys_;
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
    QPointer<ArticleWindow> window_;
    QString title_;
    QDBusConnection client_ =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    Listener listener_;
};

sample_site::SampleSite* Mpris::site_ = nullptr;

TEST_F(Mpris, OnTheBusOnlyWhileAnsweredAudioPlays) {
    ASSERT_TRUE(client_.isConnected()) << "run under dbus-run-session";
    Open(true, kAnswerNo);
    EXPECT_FALSE(Owned());
    delete window_;
    Open(false, kAnswerYes);
    EXPECT_EQ(dialogs_.shown.size(), 1U);
    EXPECT_FALSE(Owned());
    delete window_;

    Open(true, kAnswerYes);
    ASSERT_TRUE(Owned());
    EXPECT_EQ(Get("Identity", "org.mpris.MediaPlayer2").toString(), "Vennadar");
    EXPECT_TRUE(Get("CanRaise", "org.mpris.MediaPlayer2").toBool());
    const QVariantMap metadata = qdbus_cast<QVariantMap>(Get("Metadata"));
    EXPECT_EQ(metadata.value("xesam:title").toString(), title_);
    EXPECT_TRUE(metadata.value("xesam:url").toString().endsWith(".mp3"));
    EXPECT_EQ(qdbus_cast<QDBusObjectPath>(metadata.value("mpris:trackid")).path(),
              "/org/vennadar/track/1");
    // Closed by its own key, the window leaves the bus.
    QTest::keyClick(window_->findChild<QWidget*>("超级编辑框1"), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_.isNull(); }, 2000));
    EXPECT_FALSE(Owned());
}

TEST_F(Mpris, ASourceThatCannotBeLoadedIsToldAsStoppedAndKeepsTheFlag) {
    Open(true, kAnswerYes, "no-such-recording");
    ASSERT_TRUE(Owned());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Status() == "Stopped"; }, 10000)) << Status();
    EXPECT_EQ(state_->playing_flag, 1);
}

TEST_F(Mpris, BusAndHotKeysShareOneState) {
    Open(true, kAnswerYes);
    ASSERT_TRUE(Owned());
    Listen();
    MediaPlayer& player = window_->Player();
    EXPECT_EQ(Status(), "Playing");

    // Start/pause: the bus and the Home key take turns; the flag stays 1 while paused.
    Steer("PlayPause");
    EXPECT_EQ(player.State(), PlaybackState::kPaused);
    EXPECT_TRUE(HeardStatus("Paused"));
    EXPECT_EQ(state_->playing_flag, 1);
    Press(0);
    EXPECT_EQ(Status(), "Playing");
    EXPECT_TRUE(HeardStatus("Playing"));
    Steer("Pause");
    Steer("Pause");  // never resumes
    EXPECT_EQ(Status(), "Paused");
    Steer("Play");
    Steer("Play");  // never pauses
    EXPECT_EQ(Status(), "Playing");

    // Stop clears the flag as End does; PlayPause then starts again as Home does.
    Steer("Stop");
    EXPECT_EQ(state_->playing_flag, 0);
    EXPECT_TRUE(HeardStatus("Stopped"));
    Steer("PlayPause");
    EXPECT_EQ(state_->playing_flag, 1);
    EXPECT_EQ(player.State(), PlaybackState::kPlaying);

    // One volume: the bus's 0.0-1.0 are the levels the Up and Down keys move.
    SetVolume(0.8);
    EXPECT_EQ(state_->left_volume, 80);
    EXPECT_EQ(state_->right_volume, 80);
    Press(4);
    EXPECT_DOUBLE_EQ(Get("Volume").toDouble(), 0.81);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listener_.Heard("Volume", 0.81); }, 5000));
    SetVolume(7.0);
    EXPECT_EQ(state_->left_volume, 100);

    // Seeking keeps a pause; a position for another track is stale.
    Steer("Pause");
    const qlonglong before = Get("Position").toLongLong();
    Steer("Seek", {qlonglong{3'000'000}});
    EXPECT_NEAR(Get("Position").toLongLong(), before + 3'000'000, 300'000);
    EXPECT_EQ(player.State(), PlaybackState::kPaused);
    Steer("SetPosition",
          {QVariant::fromValue(QDBusObjectPath("/org/vennadar/track/9")), qlonglong{1'000'000}});
    EXPECT_NEAR(Get("Position").toLongLong(), before + 3'000'000, 300'000);
    Steer("SetPosition",
          {QVariant::fromValue(QDBusObjectPath("/org/vennadar/track/1")), qlonglong{1'000'000}});
    EXPECT_NEAR(Get("Position").toLongLong(), 1'000'000, 300'000);
    EXPECT_EQ(Status(), "Paused");
    Press(2);  // the hot key's jump plays, as it always has
    EXPECT_EQ(player.State(), PlaybackState::kPlaying);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listener_.seeks == 3; }, 5000));

    // Going with its parent, the window leaves the bus too.
    auto parent = std::make_unique<QWidget>();
    window_->setParent(parent.get(), Qt::Window);
    parent.reset();
    EXPECT_FALSE(Owned());
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "mpris_test.moc"
