#pragma once

#include <optional>
#include <string_view>

#include "core/text/text.h"

namespace vennadar {

// The article's body HTML in a downloaded page: exactly what the first match of the body pattern
// (kBodyPatternUtf8) gives, found in time linear in the page. Searched with the regex engine, a
// page that repeats the body's opening tag without ever closing it costs time quadratic in its
// length, which a hostile page can make minutes. Nothing when the page has no body.
std::optional<Text> FindArticleBody(std::string_view page_gbk);

}  // namespace vennadar
