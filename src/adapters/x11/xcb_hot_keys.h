#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/ports/hot_keys.h"

struct xcb_connection_t;

namespace vennadar {

// System-wide hot keys on X11: passive key grabs on the root windows of the application's own
// xcb connection, so a combination reaches the program whichever window has the focus. Where
// the display is not X11 (Wayland, offscreen) nothing can be registered and Register gives 0.
// Construct after the QGuiApplication and destroy before it.
class XcbHotKeys final : public HotKeys, public QAbstractNativeEventFilter {
  public:
    XcbHotKeys();
    ~XcbHotKeys() override;
    XcbHotKeys(const XcbHotKeys&) = delete;
    XcbHotKeys& operator=(const XcbHotKeys&) = delete;

    // Whether registrations can succeed at all: the application runs on an X11 display.
    bool Available() const { return connection_ != nullptr; }

    int Register(int modifiers, int key) override;
    void Unregister(int id) override;
    void SetHandler(std::function<void(int id)> handler) override;
    // A grab is refused at once or held for good: nothing fails later.
    void SetFailureHandler(std::function<void()>) override {}

    bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr* result) override;

  private:
    struct Registration {
        int id = 0;
        std::vector<std::uint8_t> keycodes;
        std::uint16_t modifiers = 0;  // X modifier mask, without Lock and Num Lock
        std::uint16_t num_lock = 0;   // Num Lock's mask when the grabs were made (0: none)
    };

    void Ungrab(const Registration& registration);

    xcb_connection_t* connection_ = nullptr;
    std::vector<std::uint32_t> roots_;
    std::vector<Registration> registrations_;
    std::function<void(int id)> handler_;
    int next_id_ = 1;
};

}  // namespace vennadar
