#pragma once

#include <cstdint>
#include <string_view>

namespace vennadar::html {

// The style attribute: only what decides whether and how an element's text shows

enum class DisplayHint : std::uint8_t { kUnset, kNone, kContents, kInline, kBlock, kInlineBlock };
enum class Visibility : std::uint8_t { kInherit, kVisible, kHidden };

struct StyleHints {
    DisplayHint display = DisplayHint::kUnset;
    Visibility visibility = Visibility::kInherit;
    bool out_of_flow = false;  // floated or absolutely positioned
};

// The hints given by a style attribute's declarations.
StyleHints ParseStyle(std::string_view css);

}  // namespace vennadar::html
