// The playback keys through the desktop's shortcuts portal, played by our fake_portal on a
// private session bus: what each bound shortcut does when the desktop reports it, and every way
// a binding ends.
#include "adapters/portal/portal_hot_keys.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>
#include <functional>

#include "core/reader/article_audio.h"
#include "core/reader/article_reader.h"
#include "support/fakes.h"

namespace vennadar {
namespace {

const QString kPortalName = QStringLiteral("org.freedesktop.portal.Desktop");

bool PortalOnBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kPortalName).value();
}

// The fake portal's process and its control interface.
class FakePortal {
  public:
    bool Start() {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(QStringLiteral(VENNADAR_FAKE_PORTAL), {});
        return process_.waitForStarted(5000) && QTest::qWaitFor(PortalOnBus, 10000);
    }
    bool Stop() {
        process_.terminate();
        process_.waitForFinished(5000);
        return QTest::qWaitFor([] { return !PortalOnBus(); }, 5000);
    }
    ~FakePortal() { static_cast<void>(Stop()); }

    QDBusMessage Tell(const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPortalName, QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.vennadar.FakePortal"), method);
        call.setArguments(arguments);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
        return reply;
    }
    QStringList Log() { return Tell(QStringLiteral("Log")).arguments().value(0).toStringList(); }
    // Waits, letting the program's own replies and signals in meanwhile.
    bool Logs(const QString& line) {
        return QTest::qWaitFor([&] { return Log().contains(line); }, 5000);
    }

  private:
    QProcess process_;
};

// One article window's worth of the reader: the logic with a fake player, the keys at the portal.
struct Reading {
    Reading() {
        services.hot_keys = &keys;
        keys.SetHandler([this](int id) { HotKeyPressed(*state, view, id); });
        keys.SetFailureHandler([this] { ++failures; });
    }
    // Says Yes to an article's audio, as the reader does; the six keys are registered.
    void OpenAudio() {
        dialogs.answer = kAnswerYes;
        state->article_handoff = {"T",
                                  Utf8ToGbk("<center><h1>T</h1>\n<div>正文：</div></center>\n"
                                            "   <article id=\"post_content\">\n"
                                            "    <audio controls src=\"/audio/a.mp3\"></audio>\n"
                                            "       </article>\n"),
                                  "http://site/archives/7.html"};
        ShowArticle(*state, view, services);
        view.player.calls.clear();
    }
    // Closing the article window releases the keys.
    void Close() { ReleaseHotKeys(*state, services); }

    std::unique_ptr<AppState> state = InitializeGlobals();
    test::FakeArticleView view;
    test::FakeHttp http;
    test::FakeSounds sounds;
    test::FakeDialogs dialogs;
    test::FakeDesktop desktop;
    PortalHotKeys keys{QDBusConnection::sessionBus()};
    Services services{http, sounds, dialogs, desktop, BuildSettings()};
    int failures = 0;
};

class PortalKeys : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        portal_ = new FakePortal();
        ASSERT_TRUE(portal_->Start()) << "run under dbus-run-session, with python3-dbus";
    }
    static void TearDownTestSuite() { delete portal_; }
    void SetUp() override { portal_->Tell(QStringLiteral("Reset")); }

    static FakePortal* portal_;
};

FakePortal* PortalKeys::portal_ = nullptr;

TEST_F(PortalKeys, EachShortcutActsOnceOnActivatedAndNotOnDeactivated) {
    Reading reading;
    ASSERT_TRUE(reading.keys.Available());
    reading.OpenAudio();
    ASSERT_TRUE(portal_->Logs("bound")) << portal_->Log().join("|").toStdString();
    // One session, registered as the program first, all six in one binding, no parent window.
    const QStringList log = portal_->Log();
    ASSERT_GE(log.size(), 4);
    EXPECT_EQ(log.mid(0, 4),
              (QStringList{"register vennadar", "create", "created",
                           "bind play-pause=ALT+SHIFT+Home stop=ALT+SHIFT+End "
                           "forward=ALT+SHIFT+Right back=ALT+SHIFT+Left louder=ALT+SHIFT+Up "
                           "softer=ALT+SHIFT+Down parent=''"}));
    EXPECT_TRUE(log.contains("description play-pause=暂停或继续播放"));
    EXPECT_EQ(reading.view.keys_registered, 1);

    // In turn, from playing at level 50: the effect of each key on the player and the flag.
    struct Row {
        const char* id;
        std::vector<std::string> calls;
        PlaybackState state;
        int playing_flag;
    };
    const Row rows[] = {
        {"play-pause", {"pause"}, PlaybackState::kPaused, 1},
        {"play-pause", {"play -1"}, PlaybackState::kPlaying, 1},
        {"stop", {"stop"}, PlaybackState::kStopped, 0},
        {"forward", {"play 5000"}, PlaybackState::kPlaying, 0},
        {"back", {"play 0"}, PlaybackState::kPlaying, 0},
        {"louder", {"volume 51 51"}, PlaybackState::kPlaying, 0},
        {"softer", {"volume 50 50"}, PlaybackState::kPlaying, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        reading.view.player.calls.clear();
        portal_->Tell(QStringLiteral("Activate"), {QString::fromLatin1(row.id)});
        EXPECT_TRUE(QTest::qWaitFor([&] { return !reading.view.player.calls.empty(); }, 5000));
        // Let go of: nothing more happens.
        portal_->Tell(QStringLiteral("Deactivate"), {QString::fromLatin1(row.id)});
        portal_->Log();
        QCoreApplication::processEvents();
        EXPECT_EQ(reading.view.player.calls, row.calls);
        EXPECT_EQ(reading.view.player.state, row.state);
        EXPECT_EQ(reading.state->playing_flag, row.playing_flag);
    }
    EXPECT_EQ(reading.failures, 0);

    // Closing the window closes the session; the desktop's keys then do nothing.
    reading.Close();
    EXPECT_TRUE(portal_->Logs("close-session"));
    reading.view.player.calls.clear();
    portal_->Tell(QStringLiteral("Activate"), {QStringLiteral("stop")});
    portal_->Log();
    QCoreApplication::processEvents();
    EXPECT_TRUE(reading.view.player.calls.empty());
}

TEST_F(PortalKeys, BindingsThatEndReachTheWindowOnceAndLeaveNoSession) {
    struct Row {
        const char* name;
        std::function<void()> before;  // what the desktop will do
        std::function<void()> after;   // what it does once the keys are bound
        int failures;
        bool we_close_session;  // the program closes the session (not the desktop)
        bool asks_again;        // the next article asks the portal again
    };
    const auto tell = [](const char* method, QVariantList arguments = {}) {
        return [method, arguments] { portal_->Tell(QString::fromLatin1(method), arguments); };
    };
    const auto nothing = [] {};
    const Row rows[] = {
        {"the user refuses the binding", tell("SetBindResponse", {1U}), nothing, 1, true, false},
        {"the desktop cannot bind", tell("SetBindResponse", {2U}), nothing, 1, true, true},
        {"bound without triggers", tell("SetEmptyTriggers", {true}), nothing, 1, true, true},
        {"the desktop closes the session", nothing, tell("CloseSession"), 1, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        portal_->Tell(QStringLiteral("Reset"));
        Reading reading;
        row.before();
        reading.OpenAudio();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QStringList log = portal_->Log();
                return log.contains("bound") || log.contains("refused 1") ||
                       log.contains("refused 2");
            },
            5000));
        row.after();
        EXPECT_TRUE(QTest::qWaitFor([&] { return reading.failures > 0; }, 5000));
        portal_->Tell(QStringLiteral("Activate"), {QStringLiteral("stop")});
        portal_->Log();
        QCoreApplication::processEvents();
        EXPECT_EQ(reading.failures, row.failures);
        EXPECT_TRUE(reading.view.player.calls.empty());
        EXPECT_EQ(portal_->Log().contains("close-session"), row.we_close_session);
        reading.Close();  // nothing left to close
        EXPECT_EQ(portal_->Log().count("close-session"), row.we_close_session ? 1 : 0);

        reading.OpenAudio();
        EXPECT_EQ(reading.state->playback_hot_keys[0] != 0, row.asks_again);
        reading.Close();
    }
}

TEST_F(PortalKeys, WindowClosedBeforeThePortalAnswersClosesTheLateSession) {
    portal_->Tell(QStringLiteral("SetHold"), {true});
    Reading reading;
    reading.OpenAudio();
    ASSERT_TRUE(portal_->Logs("create"));
    reading.Close();
    EXPECT_TRUE(portal_->Logs("close-request"));
    portal_->Tell(QStringLiteral("Release"));
    EXPECT_TRUE(portal_->Logs("close-session"));
    EXPECT_FALSE(portal_->Log().filter("bind").size() > 0);
    EXPECT_EQ(reading.failures, 0);
}

TEST_F(PortalKeys, AbsentPortalIsNotAvailable) {
    ASSERT_TRUE(portal_->Stop());
    {
        PortalHotKeys keys(QDBusConnection::sessionBus());
        EXPECT_FALSE(keys.Available());
    }
    EXPECT_FALSE(PortalOnBus());
    ASSERT_TRUE(portal_->Start());
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
