// The launcher's key-store reader on any file contents, checked against a model written from
// the format as the README gives it, built the other way round: the whole file is first read
// into a list of entries (key in lower case, name in lower case, value), then looked up.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "launcher/key_store.h"

namespace {

// The key and value the launcher looks up.
constexpr char kInstallKey[] = "Software\\Vennadar\\Kernel\\Install";
constexpr char kInstallPathValue[] = "Path";

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return lower;
}

std::string_view Stripped(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

struct Entry {
    std::optional<std::string> key;  // none: under no key (before any, or after a broken header)
    std::string name;
    std::string_view value;
};

std::vector<Entry> Entries(std::string_view file) {
    if (file.starts_with("\xEF\xBB\xBF")) {
        file.remove_prefix(3);
    }
    std::vector<Entry> entries;
    std::optional<std::string> key;
    std::size_t at = 0;
    while (at < file.size()) {
        std::size_t end = file.find('\n', at);
        if (end == std::string_view::npos) {
            end = file.size();
        }
        const std::string_view line = Stripped(file.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == '#' || line.find('\0') != std::string_view::npos) {
            continue;
        }
        if (line[0] == '[') {
            key.reset();
            if (line.size() >= 2 && line.back() == ']') {
                key = Lower(Stripped(line.substr(1, line.size() - 2)));
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            entries.push_back(
                {key, Lower(Stripped(line.substr(0, equals))), Stripped(line.substr(equals + 1))});
        }
    }
    return entries;
}

std::optional<std::string_view> Expected(std::string_view file, std::string_view key,
                                         std::string_view name) {
    for (const Entry& entry : Entries(file)) {
        if (entry.key == Lower(key) && entry.name == Lower(name)) {
            return entry.value;
        }
    }
    return std::nullopt;
}

void Check(const char* data, std::size_t size, const char* key, const char* name) {
    const vennadar::TextSpan untouched{"untouched", 9};
    vennadar::TextSpan value = untouched;
    const bool found =
        vennadar::FindKeyStoreValue(vennadar::TextSpan{data, size}, key, name, &value);
    const std::optional<std::string_view> expected =
        Expected(std::string_view(data, size), key, name);
    FUZZ_CHECK(found == expected.has_value());
    if (!found) {
        FUZZ_CHECK(value.data == untouched.data && value.size == untouched.size);
        return;
    }
    FUZZ_CHECK(value.size == 0 || (value.data >= data && value.data + value.size <= data + size));
    FUZZ_CHECK(std::string_view(value.data, value.size) == *expected);
    if (value.size != 0) {
        FUZZ_CHECK(value.data == expected->data());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    Check(text, size, kInstallKey, kInstallPathValue);
    // Names that are not the launcher's: the empty ones, and ones the input chooses (its first
    // line as the key, its second as the value name), so headers and names need not be guessed.
    Check(text, size, "", "");
    const std::string_view input(text, size);
    const std::size_t first = input.find('\n');
    if (first != std::string_view::npos) {
        const std::size_t second = input.find('\n', first + 1);
        if (second != std::string_view::npos) {
            const std::string key(input.substr(0, first));
            const std::string name(input.substr(first + 1, second - first - 1));
            if (key.find('\0') == std::string::npos && name.find('\0') == std::string::npos) {
                Check(text, size, key.c_str(), name.c_str());
            }
        }
    }
    return 0;
}
