// The launcher's key-store reader on any file contents, checked against a plain reading of the
// format written with std::string: same answer, and a value that points into the buffer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "launcher/key_store.h"

namespace {

// The key and value the launcher looks up.
constexpr char kInstallKey[] = "Software\\Vennadar\\Kernel\\Install";
constexpr char kInstallPathValue[] = "Path";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string_view> Expected(std::string_view text, std::string_view key,
                                         std::string_view name) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    bool in_key = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#' || line.find('\0') != std::string_view::npos) {
            continue;
        }
        if (line.front() == '[') {
            in_key = line.size() >= 2 && line.back() == ']' &&
                     SameName(Trim(line.substr(1, line.size() - 2)), key);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!in_key || equals == std::string_view::npos) {
            continue;
        }
        if (SameName(Trim(line.substr(0, equals)), name)) {
            return Trim(line.substr(equals + 1));
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
