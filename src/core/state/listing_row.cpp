#include "core/state/listing_row.h"

#include "core/text/code_page.h"

namespace vennadar {

Text RowLine(const ListingRow& row) {
    static const Text kDateLabel = Utf8ToGbk(":发表日期：");
    static const Text kClicksLabel = Utf8ToGbk(":点击：");
    Text line;
    line.reserve(row.title.size() + kDateLabel.size() + row.date.size() + kClicksLabel.size() +
                 row.clicks.size());
    line.append(row.title)
        .append(kDateLabel)
        .append(row.date)
        .append(kClicksLabel)
        .append(row.clicks);
    return line;
}

}  // namespace vennadar
