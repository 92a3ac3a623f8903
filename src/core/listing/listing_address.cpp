#include "core/listing/listing_address.h"

#include "core/text/percent_encode.h"

namespace vennadar {

std::string ListingAddress(const ListingQuery& query, const std::string& site_base,
                           const Text& keyword) {
    const std::string page = std::to_string(query.page_number);
    if (query.search_flag) {
        return site_base + "/page/" + page +
               "?s=" + PercentEncode(keyword, /*keep_safe=*/false, /*as_utf8=*/true);
    }
    if (query.category_flag) {
        return site_base + "/category/" + query.category_slug + "/page/" + page;
    }
    return site_base + "/page/" + page;
}

}  // namespace vennadar
