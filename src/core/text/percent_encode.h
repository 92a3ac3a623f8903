#pragma once

#include "core/text/text.h"

namespace vennadar {

// Percent-encodes a GBK text. keep_safe: letters, digits, hyphen and dot pass unescaped;
// otherwise every byte is escaped. as_utf8: the UTF-8 form of the text is encoded instead of its
// own bytes. A space is always "%20", never "+".
Text PercentEncode(const Text& text, bool keep_safe = false, bool as_utf8 = false);

}  // namespace vennadar
