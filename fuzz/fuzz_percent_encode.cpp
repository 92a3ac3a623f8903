// Percent-encoding of any text: decoding the result gives back exactly the bytes that were
// meant to be sent (the text's own GBK bytes, or their UTF-8 form), up to the first NUL.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/text/code_page.h"
#include "core/text/percent_encode.h"

namespace {

bool IsSafe(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;  // lower-case digits are never produced
}

void CheckEncoding(const std::string& text, bool keep_safe, bool as_utf8) {
    const std::string_view own = vennadar::TextView(text);
    const std::string expected = as_utf8 ? vennadar::GbkToUtf8(own) : std::string(own);
    const std::string encoded = vennadar::PercentEncode(text, keep_safe, as_utf8);
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size();) {
        if (encoded[i] == '%') {
            FUZZ_CHECK(i + 3 <= encoded.size());
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            decoded.push_back(static_cast<char>(high << 4 | low));
            i += 3;
        } else {
            // Only the safe set ever passes as it stands, and only when asked for.
            FUZZ_CHECK(keep_safe && IsSafe(encoded[i]));
            decoded.push_back(encoded[i]);
            ++i;
        }
    }
    FUZZ_CHECK(decoded == expected);
    if (keep_safe) {
        // A safe byte never gets escaped when keeping the safe set.
        for (std::size_t i = 0; i + 2 < encoded.size(); ++i) {
            if (encoded[i] == '%') {
                const char byte =
                    static_cast<char>(HexValue(encoded[i + 1]) << 4 | HexValue(encoded[i + 2]));
                FUZZ_CHECK(!IsSafe(byte));
                i += 2;
            }
        }
    } else {
        FUZZ_CHECK(encoded.size() == 3 * expected.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The whole input, NUL bytes included: the encoder must stop at the first one.
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const bool keep_safe : {false, true}) {
        for (const bool as_utf8 : {false, true}) {
            CheckEncoding(text, keep_safe, as_utf8);
        }
    }
    return 0;
}
