#pragma once

#include <gumbo.h>

#include <cstdint>

#include "html/inline_style.h"

namespace vennadar::html {

// Boxes: what each element is to the layout, from the browser's default styles and its own
// attributes

enum class Role : std::uint8_t {
    kNone,       // not rendered: the whole subtree shows nothing
    kContents,   // no box of its own; the children show in its place
    kInline,     // children flow in the surrounding line
    kAtomic,     // sits in the line as one unit (images, controls, inline-block); lines of its own
                 // inside
    kBlock,      // block-level in the flow: the surrounding line ends before and after it
    kOutOfFlow,  // floated or absolutely positioned: block-level, but the line flows past it
    kTable,
    kRowGroup,
    kRow,
    kCell,
    kBreak,      // br
    kWordBreak,  // wbr: a break opportunity, to white-space collapsing a zero-width space
};

enum class ChildFilter : std::uint8_t {
    kAll,
    kNothing,      // replaced elements: their content is not rendered
    kTablePart,    // table, row group, row: white space between the parts is not rendered
    kOptions,      // select: only its options and option groups
    kOptionsOnly,  // option group: only its options
    kSummary,      // closed details: only its summary
};

enum class WhiteSpace : std::uint8_t { kInherit, kPreserve, kCollapse };

struct Box {
    Role role = Role::kInline;
    ChildFilter filter = ChildFilter::kAll;
    bool paragraph = false;  // p: two required line breaks instead of one
    WhiteSpace white_space = WhiteSpace::kInherit;
    bool quotes = false;  // q: its quotation marks stand in the line at both ends
    bool ruby = false;    // a ruby container: block children sit in the line
    bool label = false;   // option: shows its text content, not its rendering
    Visibility visibility = Visibility::kInherit;
};

// The box of an element. Elements the browser's style sheet hides stay hidden; the hidden
// attribute can be overridden by a display in the style attribute; table parts take only
// display: none from it.
Box Classify(const GumboElement& element);

// The number of required line breaks before and after an element's content.
int RequiredBreaks(const Box& box);

}  // namespace vennadar::html
