#pragma once

#include <array>
#include <string_view>

namespace vennadar {

struct Category {
    std::string_view name_utf8;  // display name
    std::string_view slug;       // empty for the home listing
};

// The site's nine categories in list order; the first stands for the home listing.
inline constexpr std::array<Category, 9> kCategoryTable{{
    {"最新文章", ""},
    {"最新动态", "zxdt"},
    {"经典习题", "jdxt"},
    {"高考试题", "gkst"},
    {"知识归纳", "zsgn"},
    {"教材相关", "jcxg"},
    {"课外知识", "kyzs"},
    {"文艺展示", "wyzs"},
    {"学习工具", "xxgj"},
}};

}  // namespace vennadar
