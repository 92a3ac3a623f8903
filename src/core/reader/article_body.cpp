#include "core/reader/article_body.h"

#include <cstddef>
#include <string>

#include "core/text/code_page.h"

namespace vennadar {
namespace {

// The body pattern has two forms. Both begin at the opening tag on a line of its own:
//  1. after "<div>正文：</div></center>\n", three blanks, the opening tag and four blanks: every
//     whole line up to the last line start followed by seven blanks and the closing tag
//     (greedy), or nothing when the closing tag follows at once;
//  2. the opening tag, then as many non-empty lines as can be followed by a blank and the literal
//     "{5</article>}" (greedy, but the lines must not be interrupted by an empty one).
// Blanks are the ASCII white space characters, the line feed among them; lines end at a line
// feed only. The search runs on the UTF-8 form, as the regex engine does.
constexpr std::string_view kOpening = "<article id=\"post_content\">\n";
constexpr std::string_view kLeadIn = "<div>正文：</div></center>\n";
constexpr std::string_view kClosing = "</article>";
constexpr std::string_view kSecondFormClosing = "{5</article>}";
constexpr std::size_t kLeadInBlanks = 3;
constexpr std::size_t kBodyIndent = 4;
constexpr std::size_t kClosingIndent = 7;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool BlanksAt(std::string_view text, std::size_t at, std::size_t count) {
    if (at > text.size() || text.size() - at < count) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!IsBlank(text[at + i])) {
            return false;
        }
    }
    return true;
}

bool StartsAt(std::string_view text, std::size_t at, std::string_view what) {
    return at <= text.size() && text.substr(at, what.size()) == what;
}

bool IsLineStart(std::string_view text, std::size_t at) {
    return at > 0 && text[at - 1] == '\n';
}

// Seven blanks and the closing tag follow `at`.
bool FirstFormEndsAt(std::string_view text, std::size_t at) {
    return BlanksAt(text, at, kClosingIndent) && StartsAt(text, at + kClosingIndent, kClosing);
}

// The last line start at which the first form can end; npos if none.
std::size_t LastFirstFormEnd(std::string_view text) {
    for (std::size_t at = text.rfind(kClosing); at != std::string_view::npos && at > 0;
         at = text.rfind(kClosing, at - 1)) {
        if (at >= kClosingIndent && IsLineStart(text, at - kClosingIndent) &&
            FirstFormEndsAt(text, at - kClosingIndent)) {
            return at - kClosingIndent;
        }
    }
    return std::string_view::npos;
}

// Where the first form can begin after the opening tag at `opening`: the lead-in before it and
// the indent after it are there.
bool FirstFormBeginsAfter(std::string_view text, std::size_t opening) {
    const std::size_t before = kLeadIn.size() + kLeadInBlanks;
    return opening >= before && StartsAt(text, opening - before, kLeadIn) &&
           BlanksAt(text, opening - kLeadInBlanks, kLeadInBlanks) &&
           BlanksAt(text, opening + kOpening.size(), kBodyIndent);
}

bool SecondFormEndsAt(std::string_view text, std::size_t at) {
    return at < text.size() && IsBlank(text[at]) && StartsAt(text, at + 1, kSecondFormClosing);
}

}  // namespace

std::optional<Text> FindArticleBody(std::string_view page_gbk) {
    const std::string utf8 = GbkToUtf8(TextView(page_gbk));
    const std::string_view text(utf8);
    const std::size_t first_form_end = LastFirstFormEnd(text);
    // The second form walks line by line from after the opening tag to an empty line or the last
    // line, and ends at the last place it can. A later opening's walk is the tail of an earlier
    // one that reaches it, so a walk that found nothing marks how far later ones need not look.
    std::size_t walked_in_vain_to = 0;
    for (std::size_t opening = text.find(kOpening); opening != std::string_view::npos;
         opening = text.find(kOpening, opening + 1)) {
        const std::size_t after = opening + kOpening.size();
        if (after > walked_in_vain_to) {
            std::size_t last_end = std::string_view::npos;
            std::size_t line = after;
            while (true) {
                if (SecondFormEndsAt(text, line)) {
                    last_end = line;
                }
                const std::size_t feed = text.find('\n', line);
                if (line == text.size() || text[line] == '\n' || feed == std::string_view::npos) {
                    break;
                }
                line = feed + 1;
            }
            if (last_end != std::string_view::npos) {
                const std::size_t end = last_end + 1 + kSecondFormClosing.size();
                return Utf8ToGbk(text.substr(opening, end - opening));
            }
            walked_in_vain_to = line;
        }
        if (FirstFormBeginsAfter(text, opening)) {
            const std::size_t begin = after + kBodyIndent;
            if (first_form_end != std::string_view::npos && first_form_end > begin) {
                return Utf8ToGbk(text.substr(begin, first_form_end - begin));
            }
            if (FirstFormEndsAt(text, begin)) {
                return Text();
            }
        }
    }
    return std::nullopt;
}

}  // namespace vennadar
