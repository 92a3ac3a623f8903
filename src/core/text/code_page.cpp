#include "core/text/code_page.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace vennadar {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr unsigned kLeadFirst = 0x81;
constexpr unsigned kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailLast = 0xFE;
constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;

// Code page 936 in both directions, built once from the C library's CP936 tables so that the
// hot loops below are plain table look-ups.
struct GbkTables {
    std::vector<char16_t> decode;       // (lead, trail) -> BMP code point, 0 when unmapped
    char16_t single80 = 0;              // the one mapped single byte above ASCII (the euro sign)
    std::vector<std::uint16_t> encode;  // BMP code point -> GBK code (0 when unmapped)

    GbkTables() : decode((kLeadLast - kLeadFirst + 1) * kTrailCount, 0), encode(0x10000, 0) {
        iconv_t to_unicode = iconv_open("UTF-16LE", "CP936");
        iconv_t to_gbk = iconv_open("CP936", "UTF-16LE");
        if (to_unicode == reinterpret_cast<iconv_t>(-1) ||
            to_gbk == reinterpret_cast<iconv_t>(-1)) {
            return;  // no tables: every non-ASCII character becomes "?"
        }
        auto decode_bytes = [&](const char* in, std::size_t in_len) -> char16_t {
            char out[8];
            char* in_ptr = const_cast<char*>(in);
            char* out_ptr = out;
            std::size_t out_left = sizeof out;
            iconv(to_unicode, nullptr, nullptr, nullptr, nullptr);
            if (iconv(to_unicode, &in_ptr, &in_len, &out_ptr, &out_left) ==
                    static_cast<size_t>(-1) ||
                in_len != 0 || out_ptr - out != 2) {
                return 0;
            }
            return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                         (static_cast<unsigned char>(out[1]) << 8));
        };
        const char euro_byte = static_cast<char>(0x80);
        single80 = decode_bytes(&euro_byte, 1);

        std::vector<bool> ambiguous(0x10000, false);
        for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
            for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
                if (trail == 0x7F) {
                    continue;
                }
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const char16_t unit = decode_bytes(pair, 2);
                if (unit == 0 || (unit >= 0xD800 && unit <= 0xDFFF)) {
                    continue;
                }
                decode[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] = unit;
                if (encode[unit] == 0) {
                    encode[unit] = static_cast<std::uint16_t>(lead << 8 | trail);
                } else {
                    ambiguous[unit] = true;
                }
            }
        }
        if (single80 != 0) {
            if (encode[single80] != 0) {
                ambiguous[single80] = true;
            } else {
                encode[single80] = 0x80;
            }
        }
        // Where two GBK codes decode to one character, encode it the way the C library does.
        for (unsigned unit = 0; unit < 0x10000; ++unit) {
            if (!ambiguous[unit]) {
                continue;
            }
            const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
            char out[8];
            char* in_ptr = const_cast<char*>(in);
            std::size_t in_len = 2;
            char* out_ptr = out;
            std::size_t out_left = sizeof out;
            iconv(to_gbk, nullptr, nullptr, nullptr, nullptr);
            if (iconv(to_gbk, &in_ptr, &in_len, &out_ptr, &out_left) != static_cast<size_t>(-1)) {
                const auto b0 = static_cast<unsigned char>(out[0]);
                if (out_ptr - out == 2) {
                    encode[unit] =
                        static_cast<std::uint16_t>(b0 << 8 | static_cast<unsigned char>(out[1]));
                } else if (out_ptr - out == 1) {
                    encode[unit] = b0;
                }
            }
        }
        iconv_close(to_unicode);
        iconv_close(to_gbk);
    }
};

const GbkTables& Tables() {
    static const GbkTables tables;
    return tables;
}

bool AllAscii8(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ULL) == 0;
}

// Decodes one UTF-8 character at p (p < end, *p >= 0x80). Invalid input yields U+FFFD for each
// maximal subpart of an ill-formed sequence, as the Unicode standard recommends.
char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned b0 = *p++;
    int more;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        more = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        more = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) {
            low = 0xA0;
        } else if (b0 == 0xED) {
            high = 0x9F;  // no surrogate code points
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        more = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) {
            low = 0x90;
        } else if (b0 == 0xF4) {
            high = 0x8F;
        }
    } else {
        return kReplacement;
    }
    for (int i = 0; i < more; ++i) {
        if (p == end || *p < low || *p > high) {
            return kReplacement;
        }
        cp = (cp << 6) | (*p++ & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return cp;
}

// Decodes one GBK character at p (p < end, *p >= 0x80).
char32_t DecodeGbk(const unsigned char*& p, const unsigned char* end, const GbkTables& tables) {
    const unsigned lead = *p++;
    if (lead == 0x80) {
        return tables.single80 != 0 ? tables.single80 : kReplacement;
    }
    if (lead > kLeadLast || p == end) {
        return kReplacement;
    }
    const unsigned trail = *p;
    if (trail < kTrailFirst || trail > kTrailLast || trail == 0x7F) {
        return kReplacement;  // the lone lead byte; the next byte stands on its own
    }
    ++p;
    const char16_t unit = tables.decode[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)];
    return unit != 0 ? unit : kReplacement;
}

char* EncodeGbk(char32_t cp, char* out, const GbkTables& tables) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
        return out;
    }
    const std::uint16_t code = cp <= 0xFFFF ? tables.encode[cp] : 0;
    if (code == 0) {
        *out++ = '?';
    } else if (code < 0x100) {
        *out++ = static_cast<char>(code);
    } else {
        *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
    }
    return out;
}

char* EncodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Runs over a text: copies ASCII runs as they stand and hands every other character to
// `convert`, which writes its output and returns the new end. The output goes through a small
// buffer into a result reserved at `expected` bytes: sized for the worst case instead, the
// result would hold several times the text for as long as it lives.
template <typename Convert>
std::string ConvertText(std::string_view text, std::size_t expected, Convert convert) {
    text = TextView(text);
    std::string result;
    result.reserve(expected);
    char chunk[4096];
    char* const chunk_full = chunk + sizeof chunk - 8;  // room for one step's output
    char* out = chunk;
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = p + text.size();
    while (p < end) {
        if (out > chunk_full) {
            result.append(chunk, static_cast<std::size_t>(out - chunk));
            out = chunk;
        }
        if (end - p >= 8 && AllAscii8(p)) {
            std::memcpy(out, p, 8);
            p += 8;
            out += 8;
        } else if (*p < 0x80) {
            *out++ = static_cast<char>(*p++);
        } else {
            out = convert(p, end, out);
        }
    }
    result.append(chunk, static_cast<std::size_t>(out - chunk));
    return result;
}

// Code page 936 and 0 decode and encode alike on this port.
bool IsGbk(int code_page) {
    return code_page == kCodePageGbk || code_page == kCodePageAnsi;
}

}  // namespace

WideBuffer TextToWide(std::string_view text, int code_page) {
    WideBuffer wide;
    if (code_page != kCodePageUtf8 && !IsGbk(code_page)) {
        wide.push_back(u'\0');
        return wide;
    }
    text = TextView(text);
    const GbkTables& tables = Tables();
    wide.reserve(text.size() + 1);
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            wide.push_back(static_cast<char16_t>(*p++));
            continue;
        }
        const char32_t cp =
            code_page == kCodePageUtf8 ? DecodeUtf8(p, end) : DecodeGbk(p, end, tables);
        if (cp >= 0x10000) {
            wide.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(cp));
        }
    }
    wide.push_back(u'\0');
    return wide;
}

Text WideToText(std::u16string_view wide, int code_page) {
    wide = wide.substr(0, wide.find(u'\0'));
    if (code_page != kCodePageUtf8 && !IsGbk(code_page)) {
        return Text();
    }
    const GbkTables& tables = Tables();
    std::string result(wide.size() * 3, '\0');
    char* out = result.data();
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;  // a lone surrogate
        }
        out = code_page == kCodePageUtf8 ? EncodeUtf8(cp, out) : EncodeGbk(cp, out, tables);
    }
    result.resize(static_cast<std::size_t>(out - result.data()));
    return result;
}

Text Utf8ToGbk(std::string_view utf8) {
    const GbkTables& tables = Tables();
    // GBK never needs more bytes than UTF-8 for the same character.
    return ConvertText(utf8, TextView(utf8).size(),
                       [&](const unsigned char*& p, const unsigned char* end, char* out) {
                           return EncodeGbk(DecodeUtf8(p, end), out, tables);
                       });
}

std::string GbkToUtf8(std::string_view gbk) {
    const GbkTables& tables = Tables();
    // A two-byte GBK character takes three bytes of UTF-8; only an invalid byte (U+FFFD) takes
    // more than that, and the result grows for it.
    const std::size_t size = TextView(gbk).size();
    return ConvertText(gbk, size + size / 2,
                       [&](const unsigned char*& p, const unsigned char* end, char* out) {
                           return EncodeUtf8(DecodeGbk(p, end, tables), out);
                       });
}

}  // namespace vennadar
