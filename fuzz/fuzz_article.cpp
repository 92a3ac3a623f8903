// An article page as the reader takes it apart: the body cut out by the body finder and
// turned into text, each link's caption turned into text and its address checked for opening,
// and the audio element's source resolved as the player would get it. When the page has no body
// the whole page goes through the HTML-to-text conversion, so any markup reaches it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "core/io/url.h"
#include "core/reader/article_body.h"
#include "core/reader/link_address.h"
#include "core/reader/reader_patterns.h"
#include "core/text/code_page.h"
#include "core/text/regex.h"
#include "html/html_to_text.h"
#include "html/nesting_limit.h"

namespace {

// Pages up to this size are also searched with the body pattern itself, which is quadratic on
// some pages.
constexpr std::size_t kCompareLimit = 4096;

// The address the article was downloaded from, as the reader hands it over.
constexpr char kArticleAddress[] = "http://127.0.0.1:8780/qmzt/2012/0301/123.html";

const vennadar::RegexPattern& Compiled(const char* pattern_utf8) {
    auto* compiled = new vennadar::RegexPattern;
    FUZZ_CHECK(compiled->Compile(vennadar::Utf8ToGbk(pattern_utf8)));
    return *compiled;
}

const vennadar::RegexPattern& BodyPattern() {
    static const vennadar::RegexPattern& pattern = Compiled(vennadar::kBodyPatternUtf8);
    return pattern;
}

const vennadar::RegexPattern& LinkPattern() {
    static const vennadar::RegexPattern& pattern = Compiled(vennadar::kLinkPatternUtf8);
    return pattern;
}

const vennadar::RegexPattern& AudioPattern() {
    static const vennadar::RegexPattern& pattern = Compiled(vennadar::kAudioPatternUtf8);
    return pattern;
}

// The text shown must itself be text the program can show: GBK that survives a round trip.
vennadar::Text CheckedText(const vennadar::Text& html) {
    const vennadar::Text text = vennadar::HtmlToText(html);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(vennadar::Utf8ToGbk(vennadar::GbkToUtf8(text)) == text);
    if (html.empty()) {
        FUZZ_CHECK(text.empty());
    }
    return text;
}

// The nesting limit holds, give or take the elements the parser opens that the limit does not
// follow (paragraphs, list items, cells).
void CheckNesting(const vennadar::Text& html) {
    FUZZ_CHECK(vennadar::html::ParsedNestingDepth(html) <= 3 * 512);
}

void CheckOpenable(const std::optional<std::string>& address, bool mailto_allowed) {
    if (!address) {
        return;
    }
    const std::string scheme = vennadar::UrlScheme(*address);
    FUZZ_CHECK(scheme == "http" || scheme == "https" || (mailto_allowed && scheme == "mailto"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const vennadar::Text page = vennadar::Utf8ToGbk(vennadar::TextView(input));
    const std::optional<vennadar::Text> found = vennadar::FindArticleBody(page);
    if (page.size() <= kCompareLimit) {
        // The body finder gives what the first match of the body pattern gives.
        const std::vector<vennadar::RegexMatch> bodies = BodyPattern().FindAll(page);
        FUZZ_CHECK(found.has_value() == !bodies.empty());
        FUZZ_CHECK(!found || *found == bodies.front().WholeText());
    }
    if (!found) {
        CheckedText(page);
        CheckNesting(page);
        return 0;
    }
    const vennadar::Text& body = *found;
    CheckedText(body);
    CheckNesting(body);

    for (const vennadar::RegexMatch& link : LinkPattern().FindAll(body)) {
        CheckedText(link.GroupText(2));
        CheckOpenable(
            vennadar::BrowsableLinkAddress(vennadar::GbkToUtf8(link.GroupText(1)), kArticleAddress),
            true);
    }

    // The player gets the first audio element's source, decoded and resolved, http(s) only.
    const std::vector<vennadar::RegexMatch> audio = AudioPattern().FindAll(body);
    if (!audio.empty()) {
        const std::string decoded =
            vennadar::DecodeAttributeValue(vennadar::GbkToUtf8(audio.front().GroupText(1)));
        std::optional<std::string> source = vennadar::ResolveUrl(kArticleAddress, decoded);
        if (source) {
            const std::string scheme = vennadar::UrlScheme(*source);
            if (scheme != "http" && scheme != "https") {
                source.reset();
            }
        }
        CheckOpenable(source, false);
    }
    return 0;
}
