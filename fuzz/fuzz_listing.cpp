// The listing parser on any page (UTF-8 from the network, converted as the loader does). On
// pages small enough for the plain search to finish, it must give exactly the plain search's
// rows: the shortcut of trying only heading lines must never lose or invent a row.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "core/listing/listing_parser.h"
#include "core/text/code_page.h"

namespace {

// Larger pages are parsed but not compared: the plain search is quadratic by design.
constexpr std::size_t kCompareLimit = 4096;

const vennadar::RegexPattern& Pattern() {
    static const vennadar::RegexPattern* pattern = [] {
        auto* compiled = new vennadar::RegexPattern;
        FUZZ_CHECK(compiled->Compile(vennadar::ListingPattern()));
        return compiled;
    }();
    return *pattern;
}

bool AllDigits(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const vennadar::Text page = vennadar::Utf8ToGbk(vennadar::TextView(input));
    const vennadar::ListingRows rows = vennadar::ParseListing(page, Pattern());

    for (const vennadar::ListingRow& row : rows) {
        FUZZ_CHECK(!row.link.empty() && !row.title.empty());
        FUZZ_CHECK(row.date.size() == 10 && row.date[4] == '-' && row.date[7] == '-');
        FUZZ_CHECK(AllDigits(row.date.substr(0, 4)) && AllDigits(row.date.substr(5, 2)) &&
                   AllDigits(row.date.substr(8, 2)));
        FUZZ_CHECK(AllDigits(row.clicks));
        FUZZ_CHECK(row.link.find('\n') == std::string::npos);
        FUZZ_CHECK(row.title.find('\n') == std::string::npos);
    }

    if (size <= kCompareLimit) {
        vennadar::ListingRows plain;
        for (const vennadar::RegexMatch& match : Pattern().FindAll(page)) {
            plain.push_back(vennadar::ListingRow{match.GroupText(1), match.GroupText(2),
                                                 match.GroupText(3), match.GroupText(4)});
        }
        FUZZ_CHECK(rows == plain);
    }
    return 0;
}
