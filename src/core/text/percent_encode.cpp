#include "core/text/percent_encode.h"

#include "core/text/code_page.h"

namespace vennadar {
namespace {

bool IsSafe(unsigned char byte) {
    return (byte > 0x2C && byte < 0x3A && byte != 0x2F) || (byte >= 'A' && byte <= 'Z') ||
           (byte >= 'a' && byte <= 'z');
}

}  // namespace

Text PercentEncode(const Text& text, bool keep_safe, bool as_utf8) {
    const std::string_view own = TextView(text);
    if (own.empty()) {
        return Text();
    }
    const std::string bytes = as_utf8 ? GbkToUtf8(own) : std::string(own);
    static constexpr char kHex[] = "0123456789ABCDEF";
    Text result;
    result.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep_safe && IsSafe(byte)) {
            result.push_back(c);
        } else {
            result.push_back('%');
            result.push_back(kHex[byte >> 4]);
            result.push_back(kHex[byte & 0x0F]);
        }
    }
    return result;
}

}  // namespace vennadar
