// Code-page conversion on any bytes: the fused converters agree with the two-step path through
// UTF-16, and text the program made itself survives a round trip unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/text/code_page.h"

namespace {

using vennadar::GbkToUtf8;
using vennadar::TextToWide;
using vennadar::Utf8ToGbk;
using vennadar::WideToText;

// Length of the UTF-8 sequence starting with `lead` in a text known to be valid UTF-8.
std::size_t SequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The input read both ways; the fused functions skip the UTF-16 buffer but must not differ.
    const std::string utf8 = GbkToUtf8(input);
    const std::string gbk = Utf8ToGbk(input);
    FUZZ_CHECK(WideToText(TextToWide(input, vennadar::kCodePageGbk), vennadar::kCodePageUtf8) ==
               utf8);
    FUZZ_CHECK(WideToText(TextToWide(input, vennadar::kCodePageUtf8), vennadar::kCodePageGbk) ==
               gbk);
    FUZZ_CHECK(WideToText(TextToWide(input, vennadar::kCodePageAnsi), vennadar::kCodePageUtf8) ==
               utf8);
    FUZZ_CHECK(WideToText(TextToWide(input, vennadar::kCodePageUtf8), vennadar::kCodePageAnsi) ==
               gbk);
    FUZZ_CHECK(utf8.find('\0') == std::string::npos && gbk.find('\0') == std::string::npos);

    // Unknown code pages give nothing rather than guessing.
    FUZZ_CHECK(TextToWide(input, 1252) == std::u16string(1, u'\0'));
    FUZZ_CHECK(WideToText(TextToWide(input), 1252).empty());

    // What GbkToUtf8 gives is valid UTF-8: decoding and encoding it again changes nothing.
    FUZZ_CHECK(WideToText(TextToWide(utf8, vennadar::kCodePageUtf8), vennadar::kCodePageUtf8) ==
               utf8);

    // Valid GBK (any GBK the program made from UTF-8) goes to UTF-8 and back unchanged.
    const std::string valid_gbk = Utf8ToGbk(utf8);
    FUZZ_CHECK(Utf8ToGbk(GbkToUtf8(valid_gbk)) == valid_gbk);
    FUZZ_CHECK(WideToText(TextToWide(valid_gbk, vennadar::kCodePageGbk), vennadar::kCodePageGbk) ==
               valid_gbk);

    // Each character of valid UTF-8 either comes back from GBK as itself or is one "?".
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(utf8[at]));
        FUZZ_CHECK(at + length <= utf8.size());
        const std::string_view character = std::string_view(utf8).substr(at, length);
        const std::string back = GbkToUtf8(Utf8ToGbk(character));
        FUZZ_CHECK(back == character || back == "?");
        at += length;
    }
    return 0;
}
