#include "adapters/x11/xcb_hot_keys.h"

#include <QtGui/qguiapplication_platform.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLatin1String>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "core/ports/key_event.h"

namespace vennadar {
namespace {

// The callers' modifier flags are those of the Windows hot-key calls.
constexpr int kModAlt = 1;
constexpr int kModControl = 2;
constexpr int kModShift = 4;
constexpr int kModWin = 8;
static_assert(kHotKeyModifierAltShift == (kModAlt | kModShift));

// Shift, Lock, Control and Mod1-Mod5; the higher bits of a key event's state are mouse buttons
// and the keyboard group, which must not keep a combination from matching.
constexpr std::uint16_t kModifierBits = 0xff;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter>;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

// Waits for the server to have handled every request sent so far, so a key let go of is free for
// other programs as soon as the call returns.
void Sync(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

std::optional<std::uint16_t> XModifiers(int modifiers) {
    if ((modifiers & ~(kModAlt | kModControl | kModShift | kModWin)) != 0) {
        return std::nullopt;
    }
    std::uint16_t mask = 0;
    if ((modifiers & kModAlt) != 0) {
        mask |= XCB_MOD_MASK_1;
    }
    if ((modifiers & kModControl) != 0) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if ((modifiers & kModShift) != 0) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if ((modifiers & kModWin) != 0) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

xcb_keysym_t KeysymFor(int key) {
    switch (key) {
        case kKeyBackspace:
            return XK_BackSpace;
        case kKeyEnter:
            return XK_Return;
        case kKeySpace:
            return XK_space;
        case kKeyEnd:
            return XK_End;
        case kKeyHome:
            return XK_Home;
        case kKeyLeft:
            return XK_Left;
        case kKeyUp:
            return XK_Up;
        case kKeyRight:
            return XK_Right;
        case kKeyDown:
            return XK_Down;
        case kKeyApplications:
            return XK_Menu;
        default:
            break;
    }
    return XCB_NO_SYMBOL;
}

// Every key that produces `keysym` in the current keyboard mapping.
std::vector<std::uint8_t> KeycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
    std::vector<std::uint8_t> keycodes;
    const std::unique_ptr<xcb_keycode_t, FreeDeleter> found(
        xcb_key_symbols_get_keycode(symbols, keysym));
    for (const xcb_keycode_t* keycode = found.get(); keycode != nullptr && *keycode != 0;
         ++keycode) {
        keycodes.push_back(*keycode);
    }
    return keycodes;
}

// The modifier bit Num Lock is mapped to (usually Mod2), or 0 when it is on none.
std::uint16_t NumLockMask(xcb_connection_t* connection, xcb_key_symbols_t* symbols) {
    const std::vector<std::uint8_t> num_lock_keys = KeycodesOf(symbols, XK_Num_Lock);
    xcb_generic_error_t* error = nullptr;
    const std::unique_ptr<xcb_get_modifier_mapping_reply_t, FreeDeleter> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), &error));
    std::free(error);
    if (mapping == nullptr || num_lock_keys.empty()) {
        return 0;
    }
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int per_modifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int slot = 0; slot < per_modifier; ++slot) {
            const xcb_keycode_t keycode = keycodes[modifier * per_modifier + slot];
            if (keycode != 0 && std::find(num_lock_keys.begin(), num_lock_keys.end(), keycode) !=
                                    num_lock_keys.end()) {
                return static_cast<std::uint16_t>(1u << modifier);
            }
        }
    }
    return 0;
}

// The grabs that make a combination work whether or not Caps Lock and Num Lock are on.
std::vector<std::uint16_t> Variants(std::uint16_t modifiers, std::uint16_t num_lock) {
    std::vector<std::uint16_t> variants;
    for (const std::uint16_t locks : {std::uint16_t{0}, std::uint16_t{XCB_MOD_MASK_LOCK}, num_lock,
                                      static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | num_lock)}) {
        const auto variant = static_cast<std::uint16_t>(modifiers | locks);
        if (std::find(variants.begin(), variants.end(), variant) == variants.end()) {
            variants.push_back(variant);
        }
    }
    return variants;
}

}  // namespace

XcbHotKeys::XcbHotKeys() {
    if (qGuiApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    connection_ = x11->connection();
    for (xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection_));
         screen.rem > 0; xcb_screen_next(&screen)) {
        roots_.push_back(screen.data->root);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XcbHotKeys::~XcbHotKeys() {
    // The connection closes with the application, and the grabs with it.
    if (connection_ == nullptr || QCoreApplication::instance() == nullptr) {
        return;
    }
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Registration& registration : registrations_) {
        Ungrab(registration);
    }
    Sync(connection_);
}

int XcbHotKeys::Register(int modifiers, int key) {
    if (connection_ == nullptr) {
        return 0;
    }
    const std::optional<std::uint16_t> mask = XModifiers(modifiers);
    const xcb_keysym_t keysym = KeysymFor(key);
    if (!mask.has_value() || keysym == XCB_NO_SYMBOL) {
        return 0;
    }
    const KeySymbols symbols(xcb_key_symbols_alloc(connection_));
    if (symbols == nullptr) {
        return 0;
    }
    Registration registration;
    registration.keycodes = KeycodesOf(symbols.get(), keysym);
    registration.modifiers = *mask;
    registration.num_lock = NumLockMask(connection_, symbols.get());
    if (registration.keycodes.empty()) {
        return 0;
    }
    // The server lets a client grab a combination twice; one Unregister would then release both.
    for (const Registration& held : registrations_) {
        for (const std::uint8_t keycode : registration.keycodes) {
            if (held.modifiers == registration.modifiers &&
                std::find(held.keycodes.begin(), held.keycodes.end(), keycode) !=
                    held.keycodes.end()) {
                return 0;
            }
        }
    }

    struct Attempt {
        xcb_window_t root;
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        xcb_void_cookie_t cookie;
        bool held;
    };
    std::vector<Attempt> attempts;
    for (const xcb_window_t root : roots_) {
        for (const std::uint8_t keycode : registration.keycodes) {
            for (const std::uint16_t variant :
                 Variants(registration.modifiers, registration.num_lock)) {
                // Not owner_events: the repeats of a held combination, too, must come to the
                // root rather than to whichever of the program's windows has the focus.
                attempts.push_back({root, keycode, variant,
                                    xcb_grab_key_checked(connection_, 0, root, variant, keycode,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    true});
            }
        }
    }
    bool all_held = true;
    for (Attempt& attempt : attempts) {
        // BadAccess: another client holds the combination. Checked requests report their
        // errors here rather than to Qt's handler.
        if (xcb_generic_error_t* error = xcb_request_check(connection_, attempt.cookie)) {
            std::free(error);
            attempt.held = false;
            all_held = false;
        }
    }
    if (!all_held) {
        for (const Attempt& attempt : attempts) {
            if (attempt.held) {
                xcb_ungrab_key(connection_, attempt.keycode, attempt.root, attempt.modifiers);
            }
        }
        Sync(connection_);
        return 0;
    }
    registration.id = next_id_++;
    registrations_.push_back(std::move(registration));
    return registrations_.back().id;
}

void XcbHotKeys::Unregister(int id) {
    const auto found =
        std::find_if(registrations_.begin(), registrations_.end(),
                     [id](const Registration& registration) { return registration.id == id; });
    if (id == 0 || found == registrations_.end()) {
        return;
    }
    Ungrab(*found);
    registrations_.erase(found);
    Sync(connection_);
}

void XcbHotKeys::SetHandler(std::function<void(int id)> handler) {
    handler_ = std::move(handler);
}

bool XcbHotKeys::nativeEventFilter(const QByteArray& event_type, void* message, qintptr*) {
    if (registrations_.empty() || event_type != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) {
        return false;
    }
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (std::find(roots_.begin(), roots_.end(), press->event) == roots_.end()) {
        return false;
    }
    int id = 0;
    for (const Registration& registration : registrations_) {
        const auto held = static_cast<std::uint16_t>(press->state & kModifierBits &
                                                     ~(XCB_MOD_MASK_LOCK | registration.num_lock));
        if (held == registration.modifiers &&
            std::find(registration.keycodes.begin(), registration.keycodes.end(), press->detail) !=
                registration.keycodes.end()) {
            id = registration.id;
            break;
        }
    }
    if (id == 0) {
        return false;
    }
    // A copy: the handler may replace itself, unregister keys or destroy this object.
    const std::function<void(int)> handler = handler_;
    if (handler) {
        handler(id);
    }
    return true;
}

void XcbHotKeys::Ungrab(const Registration& registration) {
    for (const xcb_window_t root : roots_) {
        for (const std::uint8_t keycode : registration.keycodes) {
            for (const std::uint16_t variant :
                 Variants(registration.modifiers, registration.num_lock)) {
                xcb_ungrab_key(connection_, keycode, root, variant);
            }
        }
    }
}

}  // namespace vennadar
