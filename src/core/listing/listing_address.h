#pragma once

#include <string>

#include "core/state/listing_query.h"
#include "core/text/text.h"

namespace vennadar {

// The address of the listing page that a query names. `keyword` is the search box's text (GBK),
// used only for a search.
//   search:   base/page/N?s=<keyword as percent-encoded UTF-8>
//   category: base/category/<slug>/page/N
//   home:     base/page/N
std::string ListingAddress(const ListingQuery& query, const std::string& site_base,
                           const Text& keyword);

}  // namespace vennadar
