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
    // line with the subject cut off there.
    std::vector<std::size_t> line_ends;  // positions of the line feeds
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        line_ends.push_back(at);
    }
    std::size_t resume = 0;
    for (std::size_t line = 0; line + 1 < line_ends.size(); ++line) {
        const std::size_t heading_end = line_ends[line];
        const std::size_t line_start = line == 0 ? 0 : line_ends[line - 1] + 1;
        if (heading_end < line_start + kHeadingEnd.size() || heading_end <= resume ||
            std::string_view(text).substr(heading_end - kHeadingEnd.size(), kHeadingEnd.size()) !=
                kHeadingEnd) {
            continue;
        }
        const std::size_t window_end =
            line + 2 < line_ends.size() ? line_ends[line + 2] : text.size();
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
