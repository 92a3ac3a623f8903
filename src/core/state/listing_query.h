#pragma once

#include <cstdint>

#include "core/text/text.h"

namespace vennadar {

// Which listing page the article list shows. The search keyword is not kept: each load reads
// the search box.
struct ListingQuery {
    std::int32_t page_number = 1;
    bool search_flag = false;
    bool category_flag = false;
    Text category_slug;  // read only while category_flag is on; keeps its last value otherwise

    bool operator==(const ListingQuery&) const = default;
};

}  // namespace vennadar
