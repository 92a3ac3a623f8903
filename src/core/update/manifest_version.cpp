#include "core/update/manifest_version.h"

#include <cstddef>
#include <string>

#include "core/text/code_page.h"

namespace vennadar {
namespace {

constexpr std::string_view kOpening = "<版本号>";
constexpr std::string_view kClosing = "</版本号>";

}  // namespace

// The version is the shortest non-empty run of the line after an opening tag that a closing tag
// follows. Both searches only move forward: each opening reuses the closing tag and the line feed
// found for an earlier one while they still lie ahead.
Text FindManifestVersion(std::string_view manifest_gbk) {
    const std::string utf8 = GbkToUtf8(TextView(manifest_gbk));
    const std::string_view text(utf8);
    std::size_t closing = 0;
    std::size_t feed = 0;
    bool closing_found = false;
    bool feed_found = false;
    for (std::size_t opening = text.find(kOpening); opening != std::string_view::npos;
         opening = text.find(kOpening, opening + 1)) {
        const std::size_t begin = opening + kOpening.size();
        if (!closing_found || closing <= begin) {
            closing = text.find(kClosing, begin + 1);
            closing_found = true;
        }
        if (closing == std::string_view::npos) {
            break;  // no closing tag after this opening, so none after any later one
        }
        if (!feed_found || (feed != std::string_view::npos && feed < begin)) {
            feed = text.find('\n', begin);
            feed_found = true;
        }
        if (feed == std::string_view::npos || closing < feed) {
            return Utf8ToGbk(text.substr(begin, closing - begin));
        }
    }
    return Text();
}

}  // namespace vennadar
