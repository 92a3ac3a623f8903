#pragma once

#include "core/text/text.h"

namespace vennadar {

// The plain text a browser shows for an HTML fragment (an article body), as its innerText: the
// fragment is read as the content of a <div> in a page's body, laid out with the browser's
// default styles plus each element's style attribute (display, visibility, float, position).
// Input and output are GBK. A no-break space comes out as an ordinary space; invisible format
// characters that GBK cannot hold (zero-width spaces and joiners, soft hyphens, byte-order marks,
// bidirectional marks) are left out rather than shown as "?"; SVG and MathML show as plain
// inline text. Never fails: any input gives some text, the empty text for the empty input, in
// time linear in its length (elements nest at most 512 deep, as in browsers).
Text HtmlToText(const Text& html_gbk);

}  // namespace vennadar
