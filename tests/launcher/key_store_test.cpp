#include "launcher/key_store.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vennadar {
namespace {

constexpr char kKey[] = "Software\\Vennadar\\Kernel\\Install";

std::optional<std::string> Find(const std::string& text, const char* key = kKey,
                                const char* name = "Path") {
    TextSpan value{nullptr, 0};
    if (!FindKeyStoreValue(TextSpan{text.data(), text.size()}, key, name, &value)) {
        return std::nullopt;
    }
    // The value must lie within the text it was found in.
    EXPECT_GE(value.data, text.data());
    EXPECT_LE(value.data + value.size, text.data() + text.size());
    return std::string(value.data, value.size);
}

struct Case {
    const char* name;
    std::string text;
    std::optional<std::string> expected;
};

class KeyStoreTest : public testing::TestWithParam<Case> {};

TEST_P(KeyStoreTest, FindsTheInstallPath) {
    EXPECT_EQ(Find(GetParam().text), GetParam().expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyStoreTest,
    testing::Values(
        Case{"Plain", "[Software\\Vennadar\\Kernel\\Install]\nPath=/usr/lib/vennadar\n",
             "/usr/lib/vennadar"},
        Case{"NoFinalNewline", "[Software\\Vennadar\\Kernel\\Install]\nPath=/opt/v", "/opt/v"},
        Case{"BlanksTrimmed",
             "  [ Software\\Vennadar\\Kernel\\Install ]  \n\t Path \t=\t /opt/a b \t\n",
             "/opt/a b"},
        Case{"CrLf", "[Software\\Vennadar\\Kernel\\Install]\r\nPath=/opt/v\r\n", "/opt/v"},
        Case{"ByteOrderMark", "\xEF\xBB\xBF[Software\\Vennadar\\Kernel\\Install]\nPath=/opt/v\n",
             "/opt/v"},
        Case{"NamesIgnoreAsciiCase", "[software\\VENNADAR\\kernel\\install]\npATH=/opt/v\n",
             "/opt/v"},
        Case{"Utf8Value", "[Software\\Vennadar\\Kernel\\Install]\nPath=/home/用户/阅读器\n",
             "/home/用户/阅读器"},
        Case{"EqualsInValue", "[Software\\Vennadar\\Kernel\\Install]\nPath=/opt/a=b\n", "/opt/a=b"},
        Case{"HashInValueIsKept", "[Software\\Vennadar\\Kernel\\Install]\nPath=/opt/#1\n",
             "/opt/#1"},
        Case{"EmptyValue", "[Software\\Vennadar\\Kernel\\Install]\nPath=\n", ""},
        Case{"CommentsAndOtherValues",
             "# installed by hand\n[Software\\Vennadar\\Kernel\\Install]\n# Path=/commented\n"
             "Version=1.0.0.8\nPath=/opt/v\n",
             "/opt/v"},
        Case{"CommentAfterBlanks", "[Software\\Vennadar\\Kernel\\Install]\n   # Path=/no\n", {}},
        Case{"FirstValueWins", "[Software\\Vennadar\\Kernel\\Install]\nPath=/first\nPath=/second\n",
             "/first"},
        Case{"FirstKeyWins",
             "[Software\\Vennadar\\Kernel\\Install]\nPath=/first\n"
             "[Software\\Vennadar\\Kernel\\Install]\nPath=/second\n",
             "/first"},
        Case{"RepeatedKeyWithoutValueFirst",
             "[Software\\Vennadar\\Kernel\\Install]\nOther=1\n[Other]\nPath=/no\n"
             "[Software\\Vennadar\\Kernel\\Install]\nPath=/second\n",
             "/second"},
        Case{"ValueUnderOtherKey", "[Software\\Vennadar\\Kernel]\nPath=/opt/v\n", {}},
        Case{"KeyIsNotAPrefixMatch", "[Software\\Vennadar\\Kernel\\Install2]\nPath=/opt/v\n", {}},
        Case{"ValueNameIsNotAPrefixMatch", "[Software\\Vennadar\\Kernel\\Install]\nPaths=/v\n", {}},
        Case{"ValueBeforeAnyKey", "Path=/opt/v\n[Software\\Vennadar\\Kernel\\Install]\n", {}},
        Case{"ValueAfterKeyEnds",
             "[Software\\Vennadar\\Kernel\\Install]\n[Other]\nPath=/opt/v\n",
             {}},
        Case{"BrokenHeaderEndsTheKey",
             "[Software\\Vennadar\\Kernel\\Install]\n[Other\nPath=/opt/v\n",
             {}},
        Case{"KeyWithoutValue", "[Software\\Vennadar\\Kernel\\Install]\n", {}},
        Case{"LineWithoutEquals", "[Software\\Vennadar\\Kernel\\Install]\nPath /opt/v\n", {}},
        Case{"NulLineSkipped",
             "[Software\\Vennadar\\Kernel\\Install]\nPath=/opt\0/v\nPath=/opt/w\n"s, "/opt/w"},
        Case{"Empty", "", {}}, Case{"OnlyBlanks", " \n\t\r\n\n", {}},
        Case{"LoneBrackets", "[\n]\n[]\n=\nPath=/opt/v\n", {}},
        Case{"Garbage", "\xff\xfe\x01[\x80]\n==\n\xc3\x28\n"s, {}}),
    [](const testing::TestParamInfo<Case>& case_info) {
        return std::string(case_info.param.name);
    });

TEST(KeyStoreLongLine, LinesOfAnyLength) {
    const std::string directory = "/" + std::string(1 << 20, 'd');
    const std::string text =
        "# " + std::string(1 << 20, 'c') + "\n[" + kKey + "]\nPath=" + directory + "\n";
    EXPECT_EQ(Find(text), directory);
}

TEST(KeyStoreBuffer, ReadsNoFurtherThanItsSize) {
    // The value ends where the buffer does, though the memory after it continues the line.
    const std::string text = std::string("[") + kKey + "]\nPath=/opt/vXYZ";
    TextSpan value{nullptr, 0};
    ASSERT_TRUE(FindKeyStoreValue(TextSpan{text.data(), text.size() - 3}, kKey, "Path", &value));
    EXPECT_EQ(std::string(value.data, value.size), "/opt/v");
}

TEST(KeyStoreBuffer, EveryTruncationIsHandled) {
    // Any prefix of a valid store is a store: either the value (or a prefix of it) or nothing.
    const std::string text =
        std::string("\xEF\xBB\xBF# c\r\n[ ") + kKey + " ]\r\n Path = /opt/v\r\n";
    for (std::size_t size = 0; size <= text.size(); ++size) {
        const std::string prefix = text.substr(0, size);
        const std::optional<std::string> found = Find(prefix);
        if (found) {
            EXPECT_EQ(std::string("/opt/v").rfind(*found, 0), 0u) << size;
        }
    }
}

TEST(KeyStoreBuffer, LeavesTheValueAloneWhenNotFound) {
    const char sentinel[] = "x";
    TextSpan value{sentinel, 1};
    EXPECT_FALSE(FindKeyStoreValue(TextSpan{"", 0}, kKey, "Path", &value));
    EXPECT_EQ(value.data, sentinel);
    EXPECT_EQ(value.size, 1u);
}

}  // namespace
}  // namespace vennadar
