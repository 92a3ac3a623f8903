#include "core/update/version_compare.h"

#include <algorithm>

namespace vennadar {
namespace {

std::string_view TrimAscii(std::string_view text) {
    const auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    };
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view NextField(std::string_view& text) {
    const std::size_t dot = text.find('.');
    const std::string_view field = text.substr(0, dot);
    text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    return field;
}

bool AllDigits(std::string_view field) {
    return std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int CompareFields(std::string_view a, std::string_view b) {
    if (a.empty()) {
        a = "0";
    }
    if (b.empty()) {
        b = "0";
    }
    if (AllDigits(a) && AllDigits(b)) {
        // Numbers of any length: drop leading zeros, then the longer is larger.
        a.remove_prefix(std::min(a.find_first_not_of('0'), a.size() - 1));
        b.remove_prefix(std::min(b.find_first_not_of('0'), b.size() - 1));
        if (a.size() != b.size()) {
            return a.size() < b.size() ? -1 : 1;
        }
    }
    const int order = a.compare(b);  // std::char_traits<char>::compare compares as unsigned
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

int CompareVersions(std::string_view running, std::string_view remote) {
    remote = TrimAscii(remote);
    while (!running.empty() || !remote.empty()) {
        const int order = CompareFields(NextField(running), NextField(remote));
        if (order != 0) {
            return order;
        }
    }
    return 0;
}

bool IsNewerVersion(std::string_view running, std::string_view remote) {
    if (TrimAscii(remote).empty()) {
        return false;
    }
    // Without a version of its own the program takes any announced version as newer.
    return running.empty() || CompareVersions(running, remote) < 0;
}

}  // namespace vennadar
