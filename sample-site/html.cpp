#include "sample-site/html.h"

#include <charconv>
#include <cstdint>

#include "sample-site/sample_site.h"

namespace vennadar::sample_site {
namespace {

void AppendUtf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// Decodes the reference starting at html[at] == '&'. Returns the length consumed, 0 if it is
// not a reference this site writes (then the '&' stays literal, as a browser would show it).
std::size_t DecodeReference(std::string_view html, std::size_t at, std::string& out) {
    const std::size_t semicolon = html.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 10) {
        return 0;
    }
    const std::string_view name = html.substr(at + 1, semicolon - at - 1);
    struct Named {
        std::string_view name;
        std::uint32_t code_point;
    };
    static constexpr Named kNamed[] = {{"amp", '&'},       {"lt", '<'},      {"gt", '>'},
                                       {"quot", '"'},      {"nbsp", 0xA0},   {"middot", 0xB7},
                                       {"hellip", 0x2026}, {"mdash", 0x2014}};
    for (const Named& named : kNamed) {
        if (name == named.name) {
            AppendUtf8(out, named.code_point);
            return name.size() + 2;
        }
    }
    if (name.size() < 2 || name[0] != '#') {
        return 0;
    }
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t code_point = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code_point, hex ? 16 : 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        code_point == 0 || code_point > 0x10FFFF) {
        return 0;
    }
    AppendUtf8(out, code_point);
    return name.size() + 2;
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string Utf8Prefix(std::string_view text, std::size_t max_chars) {
    std::size_t at = 0;
    for (std::size_t count = 0; at < text.size() && count < max_chars; ++count) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    return std::string(text.substr(0, at));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return std::string(text);
    }
    std::string out;
    std::size_t at = 0;
    for (std::size_t found = text.find(from); found != std::string_view::npos;
         found = text.find(from, at)) {
        out.append(text.substr(at, found - at));
        out.append(to);
        at = found + from.size();
    }
    out.append(text.substr(at));
    return out;
}

std::string VisibleText(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    for (std::size_t at = 0; at < html.size();) {
        const char c = html[at];
        if (c == '<') {
            const std::size_t close = html.find('>', at);
            if (close == std::string_view::npos) {
                break;
            }
            const std::string_view tag = html.substr(at + 1, close - at - 1);
            if (tag.starts_with("br")) {
                out += '\n';
            }
            at = close + 1;
        } else if (c == '&') {
            const std::size_t used = DecodeReference(html, at, out);
            if (used == 0) {
                out += c;
                ++at;
            } else {
                at += used;
            }
        } else {
            out += c;
            ++at;
        }
    }
    return out;
}

}  // namespace vennadar::sample_site
