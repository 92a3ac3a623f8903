#include "core/text/code_page.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vennadar {
namespace {

struct Conversion {
    const char* name;
    std::string utf8;
    std::string gbk;
};

class Utf8GbkPairs : public ::testing::TestWithParam<Conversion> {};

TEST_P(Utf8GbkPairs, ConvertBothWays) {
    const Conversion& c = GetParam();
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf8GbkPairs,
                         ::testing::Values(Conversion{"Empty", "", ""},
                                           Conversion{"Ascii", "abc", "abc"},
                                           Conversion{"Zhong", "\xE4\xB8\xAD", "\xD6\xD0"},
                                           Conversion{"MixedLongerThanEightBytes",
                                                      "page \xE4\xB8\xAD 12345678 end",
                                                      "page \xD6\xD0 12345678 end"},
                                           Conversion{"FullWidthColon", "\xEF\xBC\x9A", "\xA3\xBA"},
                                           Conversion{"Euro", "\xE2\x82\xAC", "\x80"}),
                         test::CaseName());

struct Lossy {
    const char* name;
    std::string utf8;
    std::string gbk;
};

class MalformedOrUnmappable : public ::testing::TestWithParam<Lossy> {};

// Bad input never stops the conversion: each bad piece becomes "?" and the rest follows.
TEST_P(MalformedOrUnmappable, BecomesQuestionMarkAndGoesOn) {
    EXPECT_EQ(Utf8ToGbk(GetParam().utf8), GetParam().gbk);
}

INSTANTIATE_TEST_SUITE_P(Texts, MalformedOrUnmappable,
                         ::testing::Values(Lossy{"Hangul",
                                                 "a\xED\x95\x9C"
                                                 "b",
                                                 "a?b"},
                                           Lossy{"LoneContinuation",
                                                 "a\x80"
                                                 "b",
                                                 "a?b"},
                                           Lossy{"TruncatedAtEnd", "a\xE4\xB8", "a?"},
                                           Lossy{"TruncatedBeforeAscii", "\xE4\xB8x\xE4\xB8\xAD",
                                                 "?x\xD6\xD0"},
                                           Lossy{"Overlong",
                                                 "\xC0\xAF"
                                                 "z",
                                                 "??z"},
                                           Lossy{"OverlongThreeByte",
                                                 "\xE0\x80\xAF"
                                                 "z",
                                                 "???z"},
                                           Lossy{"SurrogateCodePoint",
                                                 "\xED\xA0\x80"
                                                 "z",
                                                 "???z"},
                                           Lossy{"BeyondUnicode",
                                                 "\xF4\x90\x80\x80"
                                                 "z",
                                                 "????z"},
                                           Lossy{"InvalidLeadBytes",
                                                 "\xFE\xFF"
                                                 "z",
                                                 "??z"},
                                           Lossy{"SupplementaryCharacter",
                                                 "\xF0\x9F\x98\x80"
                                                 "z",
                                                 "?z"}),
                         test::CaseName());

TEST(CodePage, TextEndsAtFirstNul) {
    const std::string utf8("ab\0\xE4\xB8\xAD", 5);
    EXPECT_EQ(Utf8ToGbk(utf8), "ab");
    EXPECT_EQ(GbkToUtf8(std::string("\xD6\xD0\0x", 4)), "\xE4\xB8\xAD");
    EXPECT_EQ(TextToWide(std::string("a\0b", 3)), (WideBuffer{u'a', u'\0'}));
    EXPECT_EQ(WideToText(std::u16string(u"a\0b", 3), kCodePageGbk), "a");
}

TEST(CodePage, WideBufferEndsWithOneNulUnit) {
    EXPECT_EQ(TextToWide(""), (WideBuffer{u'\0'}));
    EXPECT_EQ(TextToWide("\xE4\xB8\xAD", kCodePageUtf8), (WideBuffer{u'\x4E2D', u'\0'}));
    EXPECT_EQ(TextToWide("\xD6\xD0", kCodePageGbk), (WideBuffer{u'\x4E2D', u'\0'}));
    EXPECT_EQ(TextToWide("\xD6\xD0", kCodePageAnsi), (WideBuffer{u'\x4E2D', u'\0'}));
    EXPECT_EQ(TextToWide("\xF0\x9F\x98\x80"), (WideBuffer{u'\xD83D', u'\xDE00', u'\0'}));
}

TEST(CodePage, WideToTextDefaultsToGbkAndHandlesSurrogates) {
    EXPECT_EQ(WideToText(u"\x4E2D"), "\xD6\xD0");
    EXPECT_EQ(WideToText(u"\xD83D\xDE00x"), "?x");  // one character, one "?"
    EXPECT_EQ(WideToText(u"\xDC00x", kCodePageUtf8), "\xEF\xBF\xBDx");
    EXPECT_EQ(WideToText(u"\xD83D\xDE00", kCodePageUtf8), "\xF0\x9F\x98\x80");
}

// Where CPython's gbk codec and code page 936 differ: the cell the fixture holds and what the
// code page maps (UTF-8; empty for no character).
struct KnownDifference {
    std::string code;
    std::string cpython;
    std::string cp936;
};
const KnownDifference kKnownDifferences[] = {
    // The euro sign, added to code page 936 as its one single byte above ASCII; CPython's gbk
    // codec leaves it out.
    {"\x80", "", "\xE2\x82\xAC"},
};

std::string Utf8Of(const std::string& cell) {
    if (cell == "----") {
        return "";
    }
    return WideToText(std::u16string(1, static_cast<char16_t>(std::stoul(cell, nullptr, 16))),
                      kCodePageUtf8);
}

// Every code against another implementation's table (tests/text/make-gbk-fixture writes it from
// CPython's codec; ours comes from the C library's), both ways, fused and through UTF-16.
TEST(CodePage, EveryCodeConvertsAsAnIndependentTableSays) {
    std::istringstream lines(test::ReadFixture("gbk_cpython.txt"));
    std::vector<std::string> wrong;
    int codes = 0;
    int mapped = 0;
    int differences_seen = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with('#')) {
            continue;
        }
        std::istringstream cells(line);
        std::string lead;
        cells >> lead;
        const std::vector<std::string> row{std::istream_iterator<std::string>(cells), {}};
        for (std::size_t i = 0; i < row.size(); ++i) {
            std::string code(1, static_cast<char>(std::stoul(lead, nullptr, 16)));
            if (row.size() > 1) {
                const std::size_t trail = 0x40 + i + (i >= 0x3F ? 1 : 0);  // no 7F
                code += static_cast<char>(trail);
            }
            ++codes;
            std::string expected = Utf8Of(row[i]);
            for (const KnownDifference& known : kKnownDifferences) {
                if (known.code == code && known.cpython == expected) {
                    expected = known.cp936;
                    ++differences_seen;
                }
            }
            const std::string decoded = GbkToUtf8(code);
            const std::string shown = expected.empty() ? "\xEF\xBF\xBD" : expected;
            if (decoded != shown ||
                WideToText(TextToWide(code, kCodePageGbk), kCodePageUtf8) != shown ||
                (!expected.empty() &&
                 (Utf8ToGbk(expected) != code ||
                  WideToText(TextToWide(expected, kCodePageUtf8), kCodePageGbk) != code))) {
                wrong.push_back(lead + (code.size() > 1 ? " trail " + std::to_string(i) : "") +
                                ": ours " + decoded + ", table " + row[i]);
            }
            mapped += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_EQ(codes, 2 + 126 * 190);
    EXPECT_EQ(mapped, 21792);
    EXPECT_EQ(differences_seen, static_cast<int>(std::size(kKnownDifferences)))
        << "a known difference is gone";
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " codes, the first: " << wrong.front();
}

TEST(CodePage, LoneGbkLeadByteDoesNotSwallowAscii) {
    EXPECT_EQ(GbkToUtf8("\xD6<a>"), "\xEF\xBF\xBD<a>");
    EXPECT_EQ(GbkToUtf8("x\xD6"), "x\xEF\xBF\xBD");
    // A four-byte GB18030 sequence (lead, digit, lead, digit) is no character of code page 936.
    EXPECT_EQ(GbkToUtf8("\x81\x30\x81\x30"),
              "\xEF\xBF\xBD"
              "0\xEF\xBF\xBD"
              "0");
    EXPECT_EQ(TextToWide("\x81\x30\x81\x30", kCodePageGbk),
              (WideBuffer{u'\xFFFD', u'0', u'\xFFFD', u'0', u'\0'}));
}

TEST(CodePage, UnknownCodePageGivesEmptyText) {
    EXPECT_EQ(TextToWide("abc", 1252), (WideBuffer{u'\0'}));
    EXPECT_EQ(WideToText(u"abc", 1252), "");
}

}  // namespace
}  // namespace vennadar
