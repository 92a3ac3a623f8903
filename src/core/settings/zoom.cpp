#include "core/settings/zoom.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "core/io/atomic_file.h"

namespace vennadar {
namespace {

constexpr std::string_view kSection = "[view]";
constexpr std::string_view kKey = "zoom";
constexpr std::size_t kLargestFile = 64 * 1024;  // a settings file is a few lines

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

int NearestZoomStep(int percent) {
    int nearest = kZoomSteps.front();
    for (int step : kZoomSteps) {
        if (std::abs(step - percent) < std::abs(nearest - percent)) {
            nearest = step;
        }
    }
    return nearest;
}

int SteppedZoom(int percent, int direction) {
    if (direction == 0) {
        return kDefaultZoom;
    }
    const int current = NearestZoomStep(percent);
    for (std::size_t i = 0; i < kZoomSteps.size(); ++i) {
        if (kZoomSteps[i] != current) {
            continue;
        }
        if (direction > 0) {
            return i + 1 < kZoomSteps.size() ? kZoomSteps[i + 1] : current;
        }
        return i > 0 ? kZoomSteps[i - 1] : current;
    }
    return current;
}

std::string UserBaseFolder(const char* xdg_folder, const char* home, const char* below_home) {
    if (xdg_folder != nullptr && xdg_folder[0] == '/') {
        return xdg_folder;
    }
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + below_home;
    }
    return {};
}

std::string SettingsFilePath(const char* config_home, const char* home) {
    const std::string base = UserBaseFolder(config_home, home, "/.config");
    return base.empty() ? base : base + "/vennadar/settings.ini";
}

int ReadZoomSetting(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > kLargestFile || error) {
        return kDefaultZoom;
    }
    std::ifstream file(path, std::ios::binary);
    std::string line;
    bool in_section = false;
    while (std::getline(file, line)) {
        const std::string_view text = Trimmed(line);
        if (!text.empty() && text.front() == '[') {
            in_section = text == kSection;
            continue;
        }
        const auto equals = text.find('=');
        if (!in_section || equals == std::string_view::npos ||
            Trimmed(text.substr(0, equals)) != kKey) {
            continue;
        }
        const std::string_view value = Trimmed(text.substr(equals + 1));
        int percent = 0;
        const auto [end, result] =
            std::from_chars(value.data(), value.data() + value.size(), percent);
        if (result == std::errc() && end == value.data() + value.size() && percent > 0) {
            return NearestZoomStep(percent);
        }
        return kDefaultZoom;
    }
    return kDefaultZoom;
}

bool WriteZoomSetting(const std::string& path, int percent) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!std::filesystem::exists(folder, error)) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return false;
        }
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    }
    std::ostringstream text;
    text << kSection << '\n' << kKey << '=' << NearestZoomStep(percent) << '\n';
    return WriteFileAtomically(path, text.str());
}

}  // namespace vennadar
