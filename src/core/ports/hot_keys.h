#pragma once

#include <functional>

namespace vennadar {

// The hot-key modifier value of the program's playback keys: Alt+Shift.
inline constexpr int kHotKeyModifierAltShift = 5;

// System-wide hot keys. A registration gives an identifier at once (0 when the key could not be
// registered); every press of the combination calls the handler with that identifier. A way
// that binds later (the desktop's portal) may still fail after handing out identifiers: it then
// calls the failure handler, and none of its identifiers will be pressed again.
class HotKeys {
  public:
    virtual ~HotKeys() = default;
    // key: a key code of app/key_event.h; modifiers: kHotKeyModifierAltShift.
    virtual int Register(int modifiers, int key) = 0;
    // Identifiers that are not registered (0, or from an earlier window) are ignored.
    virtual void Unregister(int id) = 0;
    virtual void SetHandler(std::function<void(int id)> handler) = 0;
    // Empty: nobody listens.
    virtual void SetFailureHandler(std::function<void()> handler) = 0;
};

}  // namespace vennadar
