// System-wide hot keys on a real X server (Xvfb): xdotool presses the keys, and a raw xcb
// connection plays another program on the desktop.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QApplication>
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

#include "adapters/x11/xcb_hot_keys.h"
#include "core/ports/key_event.h"

namespace vennadar {
namespace {

constexpr int kWaitMs = 5000;
constexpr std::uint16_t kAltShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
constexpr std::uint16_t kNumLock = XCB_MOD_MASK_2;  // where Xvfb's keymap puts it
constexpr std::uint16_t kLocks[] = {0, XCB_MOD_MASK_LOCK, kNumLock, XCB_MOD_MASK_LOCK | kNumLock};
constexpr std::uint8_t kBadAccess = 10;
constexpr char kOffscreenChild[] = "--register-offscreen";

// Runs a program to its end; false if it fails or outlasts the wait.
bool RunProgram(const QString& program, const QStringList& arguments,
                QByteArray* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWaitMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    if (output != nullptr) {
        *output = process.readAllStandardOutput();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool Xdotool(const QString& command, const QString& keys) {
    return RunProgram(QStringLiteral("xdotool"), {command, keys});
}

// Another X client: it grabs keys, and has a window to take the keyboard focus.
class OtherClient {
  public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(connection_); }

    // The X error code of grabbing Alt+Shift+`keysym` with `locks`; 0 when granted.
    std::uint8_t Grab(xcb_keysym_t keysym, std::uint16_t locks) {
        xcb_generic_error_t* error = xcb_request_check(
            connection_,
            xcb_grab_key_checked(connection_, 0, Screen()->root, kAltShift | locks, Keycode(keysym),
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const std::uint8_t code = error != nullptr ? error->error_code : 0;
        std::free(error);
        return code;
    }
    void Ungrab(xcb_keysym_t keysym, std::uint16_t locks) {
        xcb_ungrab_key(connection_, Keycode(keysym), Screen()->root, kAltShift | locks);
        Sync();
    }

    void TakeFocus() {
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, Screen()->root, 0, 0, 100, 100,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, Screen()->root_visual, 0, nullptr);
        xcb_map_window(connection_, window);
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        Sync();
    }

    // The server's modifier state, locks included.
    std::uint16_t State() {
        xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(
            connection_, xcb_query_pointer(connection_, Screen()->root), nullptr);
        const std::uint16_t mask = reply != nullptr ? reply->mask : 0;
        std::free(reply);
        return mask;
    }

  private:
    // Requests of different clients are not handled in any set order: wait for these to be.
    void Sync() {
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    xcb_screen_t* Screen() { return xcb_setup_roots_iterator(xcb_get_setup(connection_)).data; }
    xcb_keycode_t Keycode(xcb_keysym_t keysym) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t keycode = keycodes != nullptr ? keycodes[0] : 0;
        std::free(keycodes);
        xcb_key_symbols_free(symbols);
        return keycode;
    }

    xcb_connection_t* connection_;
};

// A window of the program, recording the keys it gets.
class KeyWindow final : public QWidget {
  public:
    std::vector<QKeyCombination> keys;

  protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->keyCombination()); }
};

class XcbHotKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        hot_keys_ = std::make_unique<XcbHotKeys>();
        ASSERT_TRUE(hot_keys_->Available());
        hot_keys_->SetHandler([this](int id) { pressed_.push_back(id); });
        home_ = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
        end_ = hot_keys_->Register(kHotKeyModifierAltShift, kKeyEnd);
        ASSERT_NE(home_, 0);
        ASSERT_NE(end_, 0);
        ASSERT_NE(home_, end_);
    }

    int Count(int id) const {
        return static_cast<int>(std::count(pressed_.begin(), pressed_.end(), id));
    }
    bool Arrives(int id, int times = 1) {
        return QTest::qWaitFor([&] { return Count(id) >= times; }, kWaitMs);
    }
    // Presses `keys`, then Alt+Shift+End: once that has come, whatever `keys` did has happened.
    bool PressThenEnd(const QString& keys) {
        pressed_.clear();
        return Xdotool("key", keys) && Xdotool("key", "alt+shift+End") && Arrives(end_);
    }

    KeyWindow window_;
    OtherClient other_;
    std::unique_ptr<XcbHotKeys> hot_keys_;
    std::vector<int> pressed_;
    int home_ = 0;
    int end_ = 0;
};

TEST_F(XcbHotKeysTest, PressesReachTheHandlerWhicheverWindowHasTheFocus) {
    ASSERT_TRUE(Xdotool("key", "alt+shift+Home"));  // the program's own window is active
    EXPECT_TRUE(Arrives(home_));

    // Held down it repeats, and the repeats are not the active window's keys either.
    pressed_.clear();
    ASSERT_TRUE(Xdotool("keydown", "alt+shift+Home"));
    EXPECT_TRUE(Arrives(home_, 3));
    ASSERT_TRUE(Xdotool("keyup", "alt+shift+Home"));
    EXPECT_EQ(std::count_if(window_.keys.begin(), window_.keys.end(),
                            [](QKeyCombination keys) { return keys.key() == Qt::Key_Home; }),
              0);

    other_.TakeFocus();
    EXPECT_TRUE(PressThenEnd("alt+shift+Home"));
    EXPECT_EQ(pressed_, (std::vector<int>{home_, end_}));
}

TEST_F(XcbHotKeysTest, PressesArriveWithNumLockOrCapsLockOn) {
    for (const auto& [key, mask] : {std::pair{"Num_Lock", kNumLock},
                                    std::pair{"Caps_Lock", std::uint16_t{XCB_MOD_MASK_LOCK}}}) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(Xdotool("key", key));
        ASSERT_NE(other_.State() & mask, 0);
        EXPECT_TRUE(PressThenEnd("alt+shift+Home"));
        EXPECT_EQ(Count(home_), 1);
        ASSERT_TRUE(Xdotool("key", key));
        ASSERT_EQ(other_.State() & mask, 0);
    }
}

TEST_F(XcbHotKeysTest, OnlyRegisteredCombinationsAreTaken) {
    for (const char* keys : {"Home", "alt+Home", "shift+Home", "ctrl+alt+shift+Home"}) {
        SCOPED_TRACE(keys);
        EXPECT_TRUE(PressThenEnd(keys));
        EXPECT_EQ(Count(home_), 0);
    }
    // The plain Home was the focused window's.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::count(window_.keys.begin(), window_.keys.end(),
                              QKeyCombination(Qt::Key_Home)) == 1;
        },
        kWaitMs));

    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome), 0);  // held already
    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, 0x7fff), 0);    // no such key
    hot_keys_->Unregister(0);
    hot_keys_->Unregister(home_ + end_);
    EXPECT_TRUE(PressThenEnd("alt+shift+Home"));
    EXPECT_EQ(Count(home_), 1);
    hot_keys_->Unregister(home_);
    EXPECT_TRUE(PressThenEnd("alt+shift+Home"));
    EXPECT_EQ(Count(home_), 0);
}

TEST_F(XcbHotKeysTest, GrabsAreExclusiveBetweenClients) {
    for (const std::uint16_t locks : kLocks) {
        EXPECT_EQ(other_.Grab(XK_Home, locks), kBadAccess) << locks;
    }
    hot_keys_->Unregister(home_);
    for (const std::uint16_t locks : kLocks) {
        EXPECT_EQ(other_.Grab(XK_Home, locks), 0) << locks;
    }
    for (const std::uint16_t locks : kLocks) {
        other_.Ungrab(XK_Home, locks);
    }

    // The other client was first: registering fails, and leaves none of its grabs behind.
    ASSERT_EQ(other_.Grab(XK_Home, 0), 0);
    EXPECT_EQ(hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome), 0);
    for (const std::uint16_t locks : {kLocks[1], kLocks[2], kLocks[3]}) {
        EXPECT_EQ(other_.Grab(XK_Home, locks), 0) << locks;
    }
    for (const std::uint16_t locks : kLocks) {
        other_.Ungrab(XK_Home, locks);
    }
    // Once the other client has let go, the key is the program's.
    const int home = hot_keys_->Register(kHotKeyModifierAltShift, kKeyHome);
    ASSERT_NE(home, 0);
    EXPECT_TRUE(PressThenEnd("alt+shift+Home"));
    EXPECT_EQ(Count(home), 1);

    hot_keys_.reset();  // going away releases every grab
    EXPECT_EQ(other_.Grab(XK_Home, 0), 0);
    EXPECT_EQ(other_.Grab(XK_End, XCB_MOD_MASK_LOCK), 0);
}

TEST(XcbHotKeysOffX11, NothingRegisters) {
    QByteArray output;
    ASSERT_TRUE(RunProgram(QCoreApplication::applicationFilePath(), {kOffscreenChild}, &output));
    EXPECT_EQ(output.trimmed(), "offscreen 0 0");
}

}  // namespace
}  // namespace vennadar

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], vennadar::kOffscreenChild) == 0) {
        // The X display is still there, but the program is not drawing on it.
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
