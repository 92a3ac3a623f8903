#include "html/nesting_limit.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text/code_page.h"
#include "html/ascii.h"
#include "html/parsed_fragment.h"

namespace vennadar::html {
namespace {

enum class TagKind : std::uint8_t {
    kNests,      // stays open until its end tag or an enclosing one
    kFlat,       // void, or closed by the next of its kind: never deepens the tree
    kRawText,    // content is text up to its end tag
    kPlaintext,  // everything after is text
};

TagKind KindOf(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_AREA:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_BASEFONT:
        case GUMBO_TAG_BGSOUND:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_EMBED:
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_IMAGE:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_ISINDEX:
        case GUMBO_TAG_KEYGEN:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_META:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_WBR:
        case GUMBO_TAG_A:
        case GUMBO_TAG_P:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_OPTION:
        case GUMBO_TAG_OPTGROUP:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_COLGROUP:
        case GUMBO_TAG_RB:
        case GUMBO_TAG_RP:
        case GUMBO_TAG_RT:
        case GUMBO_TAG_RTC:
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_BODY:
            return TagKind::kFlat;
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_TITLE:
            return TagKind::kRawText;
        case GUMBO_TAG_PLAINTEXT:
            return TagKind::kPlaintext;
        default:
            return TagKind::kNests;
    }
}

bool IsAsciiAlpha(char c) {
    const char lower = AsciiLower(c);
    return lower >= 'a' && lower <= 'z';
}

bool EndsTagName(std::string_view html, std::size_t at) {
    return at == html.size() || IsAsciiSpace(html[at]) || html[at] == '/' || html[at] == '>';
}

// The position of the '>' that ends a tag whose name ends at `from`, as the tokenizer finds it:
// a quote opens a value only right after the '=' of an attribute that has a name; npos if the
// tag does not end.
std::size_t TagEnd(std::string_view html, std::size_t from) {
    enum class State { kBetween, kName, kAfterName, kBeforeValue, kUnquoted };
    State state = State::kBetween;
    for (std::size_t i = from; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '>') {
            return i;
        }
        const bool space = IsAsciiSpace(c);
        switch (state) {
            case State::kBetween:
                if (!space && c != '/') {
                    state = State::kName;  // even '=' or a quote starts a name here
                }
                break;
            case State::kName:
            case State::kAfterName:
                if (c == '=') {
                    state = State::kBeforeValue;
                } else if (space || c == '/') {
                    state = c == '/' ? State::kBetween : State::kAfterName;
                } else if (state == State::kAfterName) {
                    state = State::kName;
                }
                break;
            case State::kBeforeValue:
                if (c == '"' || c == '\'') {
                    const std::size_t close = html.find(c, i + 1);
                    if (close == std::string_view::npos) {
                        return close;
                    }
                    i = close;
                    state = State::kBetween;
                } else if (!space) {
                    state = State::kUnquoted;
                }
                break;
            case State::kUnquoted:
                if (space) {
                    state = State::kBetween;
                }
                break;
        }
    }
    return std::string_view::npos;
}

// The position just past a comment that begins at `at` ("<!--"): "<!-->" and "<!--->" end at
// once, any other at the first "-->" or "--!>"; the end of the page if it never ends.
std::size_t CommentEnd(std::string_view html, std::size_t at) {
    const std::size_t body = at + 4;
    if (html.substr(body, 1) == ">") {
        return body + 1;
    }
    if (html.substr(body, 2) == "->") {
        return body + 2;
    }
    const std::size_t plain = html.find("-->", body);
    const std::size_t bang = html.find("--!>", body);
    if (plain == std::string_view::npos && bang == std::string_view::npos) {
        return html.size();
    }
    return plain < bang ? plain + 3 : bang + 4;
}

// Whether "</script" followed by the end of a tag name, or "<script" likewise, starts at `at`
// (the '<').
bool ScriptTagAt(std::string_view html, std::size_t at, bool closing) {
    const std::size_t name = at + (closing ? 2 : 1);
    return (!closing || html.substr(at + 1, 1) == "/") && name + 6 <= html.size() &&
           EqualsIgnoringCase(html.substr(name, 6), "script") && name + 6 < html.size() &&
           (IsAsciiSpace(html[name + 6]) || html[name + 6] == '/' || html[name + 6] == '>');
}

// The position of the end tag that closes a script begun at `from`; npos if none. Inside
// "<!--" a nested "<script" hides the script's end tag until its own "</script" (the tokenizer's
// escaped and double-escaped states); "-->" leaves both.
std::size_t ScriptEnd(std::string_view html, std::size_t from) {
    bool escaped = false;
    bool double_escaped = false;
    for (std::size_t i = from; i < html.size(); ++i) {
        if (html[i] == '-' && html.substr(i, 3) == "-->") {
            if (escaped) {
                escaped = false;
                double_escaped = false;
            }
            i += 2;
            continue;
        }
        if (html[i] != '<') {
            continue;
        }
        if (!escaped) {
            if (html.substr(i, 4) == "<!--") {
                escaped = true;
                ++i;  // its dashes may already be those of "-->"
            } else if (ScriptTagAt(html, i, true)) {
                return i;
            }
        } else if (!double_escaped) {
            if (ScriptTagAt(html, i, true)) {
                return i;
            }
            double_escaped = ScriptTagAt(html, i, false);
        } else if (ScriptTagAt(html, i, true)) {
            double_escaped = false;
        }
    }
    return std::string_view::npos;
}

// The position of the end tag that closes raw text begun at `from`; npos if none.
std::size_t RawTextEnd(std::string_view html, std::size_t from, std::string_view name) {
    if (EqualsIgnoringCase(name, "script")) {
        return ScriptEnd(html, from);
    }
    for (std::size_t at = html.find("</", from); at != std::string_view::npos;
         at = html.find("</", at + 2)) {
        if (EqualsIgnoringCase(html.substr(at + 2, name.size()), name) &&
            EndsTagName(html, at + 2 + name.size())) {
            return at;
        }
    }
    return std::string_view::npos;
}

bool IsFormatting(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_B:
        case GUMBO_TAG_BIG:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_FONT:
        case GUMBO_TAG_I:
        case GUMBO_TAG_NOBR:
        case GUMBO_TAG_S:
        case GUMBO_TAG_SMALL:
        case GUMBO_TAG_STRIKE:
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_TT:
        case GUMBO_TAG_U:
            return true;
        default:
            return false;
    }
}

// Elements an end tag of an ordinary element cannot close through: the parser ignores such an
// end tag. Only the ones that nest here matter; the list errs on the side of more.
bool IsSpecial(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_BUTTON:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_HGROUP:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_MARQUEE:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_MENUITEM:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_UL:
            return true;
        default:
            return false;
    }
}

// Elements that end the search of an element's end tag for the element it closes: past one of
// these the end tag is ignored.
bool IsScopeBoundary(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_MARQUEE:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_TEMPLATE:
            return true;
        default:
            return false;
    }
}

// The open elements as the parser will nest them, closely enough to keep its depth within
// kMaxNesting (give or take the few elements it opens that are not followed here: paragraphs,
// list items; a table counts for its body, row and cell as well). The model must never believe an
// element closed that the parser keeps open, or a page could nest without limit; believing the
// opposite only closes an element early on a page nested hundreds deep. So an end tag closes
// nothing here when the parser may ignore it:
// - an ordinary element's end tag, past a block-level (special) element;
// - any end tag, past a scope boundary (table, object and the like);
// - a formatting element's end tag past a special element, where the parser moves elements
//   around instead of closing them.
// Formatting elements that other end tags close stay listed by the parser, which opens them
// again before the next text or element: here they come back before any text or start tag.
class NestingModel {
  public:
    struct Open {
        GumboTag tag;
        std::string_view name;
        bool renamed;
    };

    // A table weighs four: in it the parser opens a body, a row and a cell, none followed here.
    std::size_t Depth() const { return open_.size() + 3 * tables_; }
    const Open& Innermost() const { return open_.back(); }

    // The parser opens listed formatting elements again.
    void Reopen() {
        open_.insert(open_.end(), reopen_.begin(), reopen_.end());
        reopen_.clear();
    }

    void Start(const Open& element) {
        tables_ += element.tag == GUMBO_TAG_TABLE ? 1 : 0;
        open_.push_back(element);
    }

    // The innermost element, closed by an end tag inserted for it.
    void CloseInnermost() {
        tables_ -= open_.back().tag == GUMBO_TAG_TABLE ? 1 : 0;
        open_.pop_back();
    }

    void End(GumboTag tag, std::string_view name) {
        const auto matches = [&](const Open& element) {
            return element.tag == tag &&
                   (tag != GUMBO_TAG_UNKNOWN || EqualsIgnoringCase(element.name, name));
        };
        const bool special = IsSpecial(tag);
        for (std::size_t i = open_.size(); i-- > 0;) {
            const Open& element = open_[i];
            if (matches(element)) {
                if (tag == GUMBO_TAG_FORM) {
                    // Only the form itself is closed; what it holds stays open.
                    open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
                    return;
                }
                CloseFrom(i);
                return;
            }
            if (IsScopeBoundary(element.tag) || (!special && IsSpecial(element.tag))) {
                return;
            }
        }
        if (IsFormatting(tag)) {
            // A listed formatting element off the stack: the parser only forgets it.
            for (std::size_t i = reopen_.size(); i-- > 0;) {
                if (matches(reopen_[i])) {
                    reopen_.erase(reopen_.begin() + static_cast<std::ptrdiff_t>(i));
                    return;
                }
            }
        }
    }

  private:
    void CloseFrom(std::size_t index) {
        tables_ -= static_cast<std::size_t>(
            std::count_if(open_.begin() + static_cast<std::ptrdiff_t>(index), open_.end(),
                          [](const Open& element) { return element.tag == GUMBO_TAG_TABLE; }));
        for (std::size_t i = index + 1; i < open_.size(); ++i) {
            if (IsFormatting(open_[i].tag)) {
                reopen_.push_back(open_[i]);
            }
        }
        open_.resize(index);
    }

    std::vector<Open> open_;
    std::vector<Open> reopen_;  // closed by another element's end tag, opened again later
    std::size_t tables_ = 0;    // tables among open_
};

}  // namespace

std::string ForGumbo(const std::string& html) {
    const std::string_view page(html);
    NestingModel model;
    std::string out;
    std::size_t copied = 0;
    std::size_t text_from = 0;  // where the text since the last tag begins
    std::size_t at = page.find('<');
    bool in_select = false;  // the parser may be in a select, where it ignores most tags
    while (at != std::string_view::npos && at + 1 < page.size()) {
        std::size_t resume = at + 1;
        const char next = page[at + 1];
        const bool closing = next == '/';
        const std::size_t name_at = closing ? at + 2 : at + 1;
        const bool named = name_at < page.size() && IsAsciiAlpha(page[name_at]);
        if (next == '!' && page.substr(at, 4) == "<!--") {
            resume = CommentEnd(page, at);
        } else if (next == '!' || next == '?' || (closing && !named && name_at < page.size())) {
            // A doctype or a bogus comment ("<?", "<!x", "</" and no name): up to the next '>'.
            const std::size_t end = page.find('>', at + 2);
            resume = end == std::string_view::npos ? page.size() : end + 1;
        } else if (named) {
            std::size_t name_end = name_at;
            while (!EndsTagName(page, name_end)) {
                ++name_end;
            }
            const std::string_view name = page.substr(name_at, name_end - name_at);
            const std::size_t end = TagEnd(page, name_end);
            if (end == std::string_view::npos) {
                break;  // the rest is one unfinished tag
            }
            resume = end + 1;
            GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned int>(name.size()));
            TagKind kind = KindOf(tag);
            // Renamed for gumbo: SVG and MathML, and (in a select, which ignores them) the
            // elements whose content would otherwise be raw text, so that the parser and the
            // model here read what follows the same way.
            const bool renamed = EqualsIgnoringCase(name, "svg") ||
                                 EqualsIgnoringCase(name, "math") ||
                                 (!closing && in_select &&
                                  (kind == TagKind::kRawText || kind == TagKind::kPlaintext) &&
                                  tag != GUMBO_TAG_SCRIPT && tag != GUMBO_TAG_TEXTAREA);
            if (renamed) {
                tag = GUMBO_TAG_UNKNOWN;
                kind = TagKind::kNests;
            }
            if (!closing || at > text_from) {
                model.Reopen();
            }
            if (closing) {
                model.End(tag, name);
                in_select = in_select && tag != GUMBO_TAG_SELECT;
            } else {
                in_select = in_select || tag == GUMBO_TAG_SELECT;
                switch (kind) {
                    case TagKind::kNests:
                        if (model.Depth() >= kMaxNesting) {
                            out.append(page.substr(copied, at - copied));
                            copied = at;
                        }
                        while (model.Depth() >= kMaxNesting) {
                            const NestingModel::Open& innermost = model.Innermost();
                            out.append("</").append(innermost.name);
                            out.append(innermost.renamed ? "_>" : ">");
                            model.CloseInnermost();
                        }
                        model.Start({tag, name, renamed});
                        break;
                    case TagKind::kFlat:
                        break;
                    case TagKind::kRawText:
                        resume = RawTextEnd(page, resume, name);
                        break;
                    case TagKind::kPlaintext:
                        resume = std::string_view::npos;
                        break;
                }
            }
            if (renamed) {
                out.append(page.substr(copied, name_end - copied));
                out += '_';
                copied = name_end;
            }
        }
        text_from = resume;
        at = resume == std::string_view::npos ? resume : page.find('<', resume);
    }
    if (copied == 0) {
        return html;
    }
    out.append(page.substr(copied));
    return out;
}

std::size_t ParsedNestingDepth(const Text& html_gbk) {
    const std::string html = ForGumbo(GbkToUtf8(TextView(html_gbk)));
    const ParsedFragment fragment(html);
    const GumboNode* root = fragment.Root();
    if (root == nullptr) {
        return 0;
    }
    std::size_t deepest = 0;
    std::vector<std::pair<const GumboNode*, std::size_t>> pending = {{root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) {
            continue;
        }
        const GumboVector& children = node->v.element.children;
        for (unsigned int i = 0; i < children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(children.data[i]);
            if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE) {
                pending.emplace_back(child, depth + 1);
            }
        }
    }
    return deepest;
}

}  // namespace vennadar::html
