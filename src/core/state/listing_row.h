#pragma once

#include <vector>

#include "core/text/text.h"

namespace vennadar {

// One article of a listing page, the four groups of the listing pattern (GBK).
struct ListingRow {
    Text link;    // href exactly as the page writes it
    Text title;   // anchor text, markup and references left as they stand
    Text date;    // yyyy-mm-dd
    Text clicks;  // decimal digits

    bool operator==(const ListingRow&) const = default;
};

using ListingRows = std::vector<ListingRow>;

// What the list says of an article row after its text: opened before, or new since the last visit.
enum class RowMark { kNone, kRead, kNew };

// The article list's text of a row: title, ":发表日期：", date, ":点击：", clicks.
Text RowLine(const ListingRow& row);

}  // namespace vennadar
