#pragma once

#include <array>
#include <string>

namespace vennadar {

// The program's text size, in percent of the desktop's font size. One size for the whole
// program, kept between runs in the user's settings file.
inline constexpr std::array<int, 13> kZoomSteps{50,  67,  80,  90,  100, 110, 125,
                                                150, 175, 200, 250, 300, 400};
inline constexpr int kDefaultZoom = 100;

// The step closest to `percent` (the lower one on a tie).
int NearestZoomStep(int percent);

// One step up (direction > 0) or down (< 0) from `percent`, held at the ends; 0 goes back to
// 100 %.
int SteppedZoom(int percent, int direction);

// A per-user base folder: `xdg_folder` (an XDG_*_HOME value) when it is absolute, else `home`
// with `below_home` ("/.config", "/.local/share") when unset, empty or relative (the rule the key
// store follows). Empty when no home is known.
std::string UserBaseFolder(const char* xdg_folder, const char* home, const char* below_home);

// $XDG_CONFIG_HOME/vennadar/settings.ini, by that rule.
std::string SettingsFilePath(const char* config_home, const char* home);

// The stored size, as a step; 100 when the file is missing, unreadable or holds no size.
int ReadZoomSetting(const std::string& path);

// Stores the size, replacing the file whole. False when it cannot be written.
bool WriteZoomSetting(const std::string& path, int percent);

}  // namespace vennadar
