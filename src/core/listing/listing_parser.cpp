#include "core/listing/listing_parser.h"

#include <cstring>
#include <string_view>

#include "core/text/code_page.h"

namespace vennadar {
namespace {

constexpr std::string_view kHeadingEnd = "</a></h2>";

}  // namespace

Text ListingPattern() {
    return Utf8ToGbk(kListingPatternUtf8);
}

ListingRows ParseListing(const Text& page_text, const RegexPattern& pattern) {
    ListingRows rows;
    const RegexSubject subject(page_text);
    const std::string& text = subject.Utf8();

    // A block's heading, date and count lines are three lines in a row ("." never crosses a line
    // feed), and the heading line must end in "</a></h2>" right before its line feed. So a match
    // can only start on such a line, and it ends on the second line after it: search each such
    // line with the subject cut off there. Line ends are found as the walk goes rather than
    // collected, so a page of bare line feeds costs no more memory than the page itself.
    std::size_t resume = 0;
    std::size_t line_start = 0;
    for (std::size_t heading_end = text.find('\n'); heading_end != std::string::npos;
         line_start = heading_end + 1, heading_end = text.find('\n', line_start)) {
        if (heading_end < line_start + kHeadingEnd.size() || heading_end <= resume ||
            std::string_view(text).substr(heading_end - kHeadingEnd.size(), kHeadingEnd.size()) !=
                kHeadingEnd) {
            continue;
        }
        const std::size_t date_end = text.find('\n', heading_end + 1);
        if (date_end == std::string::npos) {
            break;  // no date line, and no later line can start a block either
        }
        const std::size_t count_end = text.find('\n', date_end + 1);
        const std::size_t window_end = count_end != std::string::npos ? count_end : text.size();
        RegexMatch match;
        std::size_t next = 0;
        if (pattern.FindIn(subject, std::max(resume, line_start), window_end, match, next)) {
            rows.push_back(ListingRow{match.GroupText(1), match.GroupText(2), match.GroupText(3),
                                      match.GroupText(4)});
            resume = next;
        }
    }
    return rows;
}

}  // namespace vennadar
