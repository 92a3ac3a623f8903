#pragma once

#include "core/state/listing_row.h"
#include "core/text/regex.h"
#include "core/text/text.h"

namespace vennadar {

// One article block: a heading line with link and title, a date line and a click-count line.
inline constexpr char kListingPatternUtf8[] =
    R"re(<h2><a.+?href="(.+?)">(.+?)<\/a><\/h2>\n.+?(\d{4}-\d{2}-\d{2}).+?\n.+?(\d{1,}))re";

// The listing pattern as the program's (GBK) text.
Text ListingPattern();

// Cuts a listing page (GBK) into rows, in page order. `pattern` holds the compiled listing
// pattern. Gives exactly the matches of a plain left-to-right search, but only tries lines that
// can start a block, so a hostile page cannot make the search quadratic in its size.
ListingRows ParseListing(const Text& page_text, const RegexPattern& pattern);

}  // namespace vennadar
