// The nesting limit on any page: whatever tags, comments and raw text the page mixes, the tree
// the parser builds from what the limit hands it nests no deeper than the limit guarantees.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check.h"
#include "core/text/code_page.h"
#include "html/nesting_limit.h"

namespace {

// The cap, give or take the elements the parser opens that the limit does not follow
// (paragraphs, list items, cells).
constexpr std::size_t kDepthBound = 3 * 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const vennadar::Text page = vennadar::Utf8ToGbk(vennadar::TextView(input));
    FUZZ_CHECK(vennadar::html::ParsedNestingDepth(page) <= kDepthBound);
    return 0;
}
