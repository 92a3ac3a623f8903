// System-wide hot keys on a real X server (Xvfb): xdotool presses the keys, and a second raw
// xcb client stands in for the other programs on the desktop.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/key_event.h"
#include "platform/xcb_hot_keys.h"

namespace vennadar {
namespace {

constexpr int kWaitMs = 5000;
constexpr std::uint8_t kBadAccess = 10;
constexpr std::uint16_t kAltShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
constexpr char kOffscreenChild[] = "--register-offscreen";

// Runs a program to its end; false if it fails or outlasts the wait.
bool RunProgram(const QString& program, const QStringList& arguments,
                QByteArray* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    const bool ended =
        QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, kWaitMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    if (output != nullptr) {
        *output = process.readAllStandardOutput();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool Xdotool(const QStringList& arguments) {
    return RunProgram(QStringLiteral("xdotool"), arguments);
}

// Another X client: it grabs keys and owns a window that can take the keyboard focus.
class OtherClient {
  public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_) == 0) {
            root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        }
    }
    ~OtherClient() { xcb_disconnect(connection_); }

    bool Connected() const { return root_ != 0; }

    xcb_keycode_t Keycode(xcb_keysym_t keysym) const {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t keycode = keycodes != nullptr ? keycodes[0] : 0;
        std::free(keycodes);
        xcb_key_symbols_free(symbols);
        return keycode;
    }

    // The X error code of grabbing the key on the root window; 0 when the grab is held.
    std::uint8_t Grab(xcb_keysym_t keysym, std::uint16_t modifiers) {
        xcb_generic_error_t* error = xcb_request_check(
            connection_, xcb_grab_key_checked(connection_, 0, root_, modifiers, Keycode(keysym),
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const std::uint8_t code = error != nullptr ? error->error_code : 0;
        std::free(error);
        return code;
    }

    void Ungrab(xcb_keysym_t keysym, std::uint16_t modifiers) {
        xcb_ungrab_key(connection_, Keycode(keysym), root_, modifiers);
        xcb_flush(connection_);
    }

    // Gives the keyboard focus to a window of this client, away from the test's windows.
    void TakeFocus() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection_, window);
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        focus_window_ = window;
        xcb_flush(connection_);
    }

    xcb_window_t Focus() const {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
        const xcb_window_t focus = reply != nullptr ? reply->focus : 0;
        std::free(reply);
        return focus;
    }
    xcb_window_t FocusWindow() const { return focus_window_; }

    // The keyboard's modifier state as the server reports it, locks included.
    std::uint16_t ModifierState() const {
        xcb_query_pointer_reply_t* reply =
            xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
        const std::uint16_t mask = reply != nullptr ? reply->mask : 0;
        std::free(reply);
        return mask;
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_window_t focus_window_ = 0;
};

// A window of the program that records the keys it is given.
class KeyWindow final : public QWidget {
  public:
    int Count(QKeyCombination keys) const {
        return static_cast<int>(std::count(keys_.begin(), keys_.end(), keys));
    }
    int Homes() const {
        return static_cast<int>(std::count_if(keys_.begin(), keys_.end(), [](QKeyCombination keys) {
            return keys.key() == Qt::Key_Home;
        }));
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        keys_.push_back(event->keyCombination());
        QWidget::keyPressEvent(event);
    }

  private:
    std::vector<QKeyCombination> keys_;
};

class XcbHotKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(other_.Connected());
        window_.resize(200, 100);
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        hot_keys_ = std::make_unique<XcbHotKeys>();
        ASSERT_TRUE(hot_keys_->Available());
        hot_keys_->SetHandler([this](int id) { pressed_.push_back(id); });
    }

    void TearDown() override {
        hot_keys_.reset();
        // Locks toggled by a failed test must not carry over.
        const std::uint16_t state = other_.ModifierState();
        if ((state & XCB_MOD_MASK_2) != 0) {
            Xdotool({"key", "Num_Lock"});
        }
        if ((state & XCB_MOD_MASK_LOCK) != 0) {
            Xdotool({"key", "Caps_Lock"});
        }
    }

    bool Arrived(int id) {
        return QTest::qWaitFor([&] { return std::count(pressed_.begin(), pressed_.end(), id) > 0; },
                               kWaitMs);
    }

    // Presses `keys` (xdotool notation) and then Alt+Shift+`sentinel`, registered as
    // `sentinel_id`; true once the sentinel has come, so whatever `keys` did has happened.
    bool PressThenSentinel(const QString& keys, const QString& sentinel, int sentinel_id) {
        pressed_.clear();
        return Xdotool({"key", keys}) && Xdotool({"key", "alt+shift+" + sentinel}) &&
               Arrived(sentinel_id);
    }

    OtherClient other_;
    KeyWindow window_;
    std::unique_ptr<XcbHotKeys> hot_keys_;
    std::vector<int> pressed_;
};

TEST_F(XcbHotKeysTest, PressesReachTheHandlerWhicheverWindowHasTheFocus) {
    const int home = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    const int end = hot_keys_->Register(kHotKeyModifierAltShift, kKeyEnd);
    ASSERT_NE(home, 0);
    ASSERT_NE(end, 0);
    EXPECT_NE(home, end);

    // The program's own window is active: the press must not go to it as an ordinary key.
    ASSERT_TRUE(Xdotool({"key", "alt+shift+Home"}));
    EXPECT_TRUE(Arrived(home));

    // Held down, the key repeats; the repeats come during the grab, not as the focused window's.
    pressed_.clear();
    ASSERT_TRUE(Xdotool({"keydown", "alt+shift+Home"}));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::count(pressed_.begin(), pressed_.end(), home) >= 3; }, kWaitMs));
    ASSERT_TRUE(Xdotool({"keyup", "alt+shift+Home"}));
    EXPECT_EQ(window_.Homes(), 0);

    other_.TakeFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other_.Focus() == other_.FocusWindow(); }, kWaitMs));
    pressed_.clear();
    ASSERT_TRUE(Xdotool({"key", "alt+shift+End"}));
    EXPECT_TRUE(Arrived(end));
    EXPECT_EQ(pressed_, std::vector<int>{end});
}

TEST_F(XcbHotKeysTest, PressesArriveWithNumLockOrCapsLockOn) {
    const int home = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    ASSERT_NE(home, 0);
    const struct {
        const char* key;
        std::uint16_t mask;
    } locks[] = {{"Num_Lock", XCB_MOD_MASK_2}, {"Caps_Lock", XCB_MOD_MASK_LOCK}};
    for (const auto& lock : locks) {
        SCOPED_TRACE(lock.key);
        ASSERT_TRUE(Xdotool({"key", lock.key}));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return (other_.ModifierState() & lock.mask) != 0; }, kWaitMs));
        pressed_.clear();
        ASSERT_TRUE(Xdotool({"key", "alt+shift+Home"}));
        EXPECT_TRUE(Arrived(home));
        ASSERT_TRUE(Xdotool({"key", lock.key}));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return (other_.ModifierState() & lock.mask) == 0; }, kWaitMs));
    }
}

TEST_F(XcbHotKeysTest, OtherCombinationsStillReachTheFocusedWindow) {
    const int home = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    const int end = hot_keys_->Register(kHotKeyModifierAltShift, kKeyEnd);
    ASSERT_NE(home, 0);
    ASSERT_NE(end, 0);

    for (const char* keys : {"Home", "alt+Home", "shift+Home", "ctrl+alt+shift+Home"}) {
        SCOPED_TRACE(keys);
        ASSERT_TRUE(PressThenSentinel(keys, "End", end));
        EXPECT_EQ(std::count(pressed_.begin(), pressed_.end(), home), 0);
    }
    // The plain Home was the focused window's, not swallowed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_.Count(QKeyCombination(Qt::Key_Home)) == 1; },
                                kWaitMs));
}

TEST_F(XcbHotKeysTest, RegistrationsComeAndGo) {
    const int home = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    const int end = hot_keys_->Register(kHotKeyModifierAltShift, kKeyEnd);
    ASSERT_NE(home, 0);
    ASSERT_NE(end, 0);
    // Held already by this program, and key codes with no key.
    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome), 0);
    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, 0), 0);
    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, 0x7fff), 0);

    hot_keys_->Unregister(0);
    hot_keys_->Unregister(home + end + 100);
    ASSERT_TRUE(PressThenSentinel("alt+shift+Home", "End", end));
    EXPECT_EQ(std::count(pressed_.begin(), pressed_.end(), home), 1);

    hot_keys_->Unregister(home);
    ASSERT_TRUE(PressThenSentinel("alt+shift+Home", "End", end));
    EXPECT_EQ(std::count(pressed_.begin(), pressed_.end(), home), 0);

    // Registered again it works again, under a new identifier.
    const int again = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    ASSERT_NE(again, 0);
    EXPECT_NE(again, home);
    ASSERT_TRUE(PressThenSentinel("alt+shift+Home", "End", end));
    EXPECT_EQ(std::count(pressed_.begin(), pressed_.end(), again), 1);
}

TEST_F(XcbHotKeysTest, GrabsAreExclusiveBetweenClients) {
    constexpr std::uint16_t num_lock = XCB_MOD_MASK_2;
    constexpr std::uint16_t locked[] = {XCB_MOD_MASK_LOCK, num_lock, XCB_MOD_MASK_LOCK | num_lock};
    const int home = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    ASSERT_NE(home, 0);
    EXPECT_EQ(other_.Grab(XK_Home, kAltShift), kBadAccess);
    EXPECT_EQ(other_.Grab(XK_Home, kAltShift | num_lock), kBadAccess);

    hot_keys_->Unregister(home);
    EXPECT_EQ(other_.Grab(XK_Home, kAltShift), 0);
    other_.Ungrab(XK_Home, kAltShift);
    for (const std::uint16_t locks : locked) {
        EXPECT_EQ(other_.Grab(XK_Home, kAltShift | locks), 0) << "locks " << locks;
        other_.Ungrab(XK_Home, kAltShift | locks);
    }

    // The other client was first: registering fails, and leaves none of its variants behind.
    ASSERT_EQ(other_.Grab(XK_Home, kAltShift), 0);
    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome), 0);
    for (const std::uint16_t locks : locked) {
        EXPECT_EQ(other_.Grab(XK_Home, kAltShift | locks), 0) << "locks " << locks;
        other_.Ungrab(XK_Home, kAltShift | locks);
    }
    other_.Ungrab(XK_Home, kAltShift);

    // The program carries on: the key is its own once the other client lets go.
    const int end = hot_keys_->Register(kHotKeyModifierAltShift, kKeyEnd);
    ASSERT_NE(end, 0);
    const int taken = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    ASSERT_NE(taken, 0);
    ASSERT_TRUE(PressThenSentinel("alt+shift+Home", "End", end));
    EXPECT_EQ(std::count(pressed_.begin(), pressed_.end(), taken), 1);

    // Going away releases every grab.
    hot_keys_.reset();
    EXPECT_EQ(other_.Grab(XK_Home, kAltShift), 0);
    EXPECT_EQ(other_.Grab(XK_End, kAltShift | XCB_MOD_MASK_LOCK), 0);
}

TEST(XcbHotKeysElsewhere, NothingRegistersOffX11) {
    QByteArray output;
    ASSERT_TRUE(RunProgram(QCoreApplication::applicationFilePath(), {kOffscreenChild}, &output));
    EXPECT_EQ(output.trimmed(), "offscreen 0 0");
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], vennadar::kOffscreenChild) == 0) {
        // A display is still there, but the program does not draw on it.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication application(argc, argv);
        vennadar::XcbHotKeys hot_keys;
        std::printf("%s %d %d\n", qUtf8Printable(QGuiApplication::platformName()),
                    hot_keys.Available() ? 1 : 0,
                    hot_keys.Register(vennadar::kHotKeyModifierAltShift, vennadar::kKeyHome));
        return 0;
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
