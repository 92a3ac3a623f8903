#pragma once

namespace vennadar {

// Key codes as the program's key handlers know them (the Windows virtual-key values).
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeySpace = 32;
inline constexpr int kKeyEnd = 35;
inline constexpr int kKeyHome = 36;
inline constexpr int kKeyLeft = 37;
inline constexpr int kKeyUp = 38;
inline constexpr int kKeyRight = 39;
inline constexpr int kKeyDown = 40;
inline constexpr int kKeyApplications = 93;
inline constexpr int kKeyF5 = 116;

// A key press: its code and the modifier state (0 when neither Shift, Ctrl nor Alt is held).
struct KeyEvent {
    int key = 0;
    int modifiers = 0;
};

}  // namespace vennadar
