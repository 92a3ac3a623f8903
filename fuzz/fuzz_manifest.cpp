// The update manifest and the version comparison. The manifest (GBK, taken as it stands) is
// searched for the version the way the update check does; the comparison must be a consistent
// order on whatever versions it meets: antisymmetric always, and transitive wherever each field
// position is compared one way (as numbers in all three versions, or as byte strings in all).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "core/text/code_page.h"
#include "core/text/regex.h"
#include "core/text/text.h"
#include "core/update/manifest_pattern.h"
#include "core/update/manifest_version.h"
#include "core/update/version_compare.h"

namespace {

// Manifests up to this size are also searched with the manifest pattern itself, which is
// quadratic on some manifests.
constexpr std::size_t kCompareLimit = 4096;

// The version the program reports for itself.
constexpr std::string_view kRunningVersion = "1.0.0.8";

const vennadar::RegexPattern& ManifestPattern() {
    static const vennadar::RegexPattern* pattern = [] {
        auto* compiled = new vennadar::RegexPattern;
        FUZZ_CHECK(compiled->Compile(vennadar::Utf8ToGbk(vennadar::kManifestPatternUtf8)));
        return compiled;
    }();
    return *pattern;
}

std::string_view Trimmed(std::string_view text) {
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

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Compares with both sides trimmed, so that swapping them compares the same two versions.
int Compare(std::string_view a, std::string_view b) {
    return vennadar::CompareVersions(Trimmed(a), Trimmed(b));
}

std::vector<std::string_view> Fields(std::string_view version) {
    std::vector<std::string_view> fields;
    while (!version.empty()) {
        const std::size_t dot = version.find('.');
        fields.push_back(version.substr(0, dot));
        version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
    }
    return fields;
}

bool IsNumber(std::string_view field) {
    // A missing or empty field counts as 0.
    return std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True when, at every field position, the three versions' fields are all numbers or all not.
// Mixing the two ways at one position is where "numeric, else bytes" stops being an order:
// 2 < 10 (numbers), 10 < 1a and 1a < 2 (bytes).
bool ComparedOneWay(std::string_view a, std::string_view b, std::string_view c) {
    const std::vector<std::string_view> fields[3] = {Fields(Trimmed(a)), Fields(Trimmed(b)),
                                                     Fields(Trimmed(c))};
    const std::size_t count = std::max({fields[0].size(), fields[1].size(), fields[2].size()});
    for (std::size_t i = 0; i < count; ++i) {
        int numbers = 0;
        for (const auto& version : fields) {
            numbers += i >= version.size() || IsNumber(version[i]) ? 1 : 0;
        }
        if (numbers != 0 && numbers != 3) {
            return false;
        }
    }
    return true;
}

void CheckPair(std::string_view a, std::string_view b) {
    FUZZ_CHECK(Sign(Compare(a, b)) == -Sign(Compare(b, a)));
    FUZZ_CHECK(Compare(a, a) == 0);
    // The running side is never trimmed; the remote side always is.
    FUZZ_CHECK(vennadar::CompareVersions(a, b) == vennadar::CompareVersions(a, Trimmed(b)));
    const bool newer = vennadar::IsNewerVersion(a, b);
    if (Trimmed(b).empty()) {
        FUZZ_CHECK(!newer);
    } else if (a.empty()) {
        FUZZ_CHECK(newer);
    } else {
        FUZZ_CHECK(newer == (vennadar::CompareVersions(a, b) < 0));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The update check: the manifest up to its first NUL, searched as GBK, the first version.
    const vennadar::Text manifest = vennadar::TextFromBytes(input);
    const vennadar::Text remote = vennadar::FindManifestVersion(manifest);
    if (manifest.size() <= kCompareLimit) {
        FUZZ_CHECK(remote == ManifestPattern().FindFirst(manifest).WholeText());
    }
    FUZZ_CHECK(remote.find('\n') == std::string::npos);
    CheckPair(kRunningVersion, remote);
    CheckPair(remote, kRunningVersion);

    // The input's first three lines as three versions.
    std::string_view versions[3];
    std::string_view rest = input;
    for (std::string_view& version : versions) {
        const std::size_t end = rest.find('\n');
        version = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    for (const std::string_view a : versions) {
        for (const std::string_view b : versions) {
            CheckPair(a, b);
        }
    }
    if (ComparedOneWay(versions[0], versions[1], versions[2])) {
        for (const std::string_view a : versions) {
            for (const std::string_view b : versions) {
                for (const std::string_view c : versions) {
                    if (Compare(a, b) <= 0 && Compare(b, c) <= 0) {
                        FUZZ_CHECK(Compare(a, c) <= 0);
                    }
                }
            }
        }
    }
    return 0;
}
