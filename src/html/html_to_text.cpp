#include "html/html_to_text.h"

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/code_page.h"

namespace vennadar {
namespace {

// ---------------------------------------------------------------------------------------------
// The parse

// Owns gumbo's tree for one fragment, parsed as the content of a <div>. gumbo frees a tree with
// one native stack frame per level, so a hostile page nested a few hundred thousand deep would
// overflow the stack there; before freeing, every node is hung directly off the document so
// that gumbo's recursion is never more than three deep.
class ParsedFragment {
  public:
    explicit ParsedFragment(std::string_view html_utf8) : options_(kGumboDefaultOptions) {
        options_.fragment_context = GUMBO_TAG_DIV;
        // Parse errors are not used, and each one copies the stack of open elements: a page
        // that leaves many deep elements open would cost quadratic memory.
        options_.max_errors = 0;
        output_ = gumbo_parse_with_options(&options_, html_utf8.data(), html_utf8.size());
    }
    ~ParsedFragment() {
        if (output_ == nullptr) {
            return;
        }
        try {
            Flatten();
        } catch (const std::bad_alloc&) {
            // Freed as it is: fine for any page that is not absurdly deep.
        }
        gumbo_destroy_output(&options_, output_);
    }
    ParsedFragment(const ParsedFragment&) = delete;
    ParsedFragment& operator=(const ParsedFragment&) = delete;

    // The root element whose children are the fragment's nodes; null if gumbo gave nothing.
    const GumboNode* Root() const { return output_ == nullptr ? nullptr : output_->root; }

  private:
    void Flatten() {
        GumboVector& top = output_->document->v.document.children;
        std::vector<GumboNode*> nodes;
        std::vector<GumboNode*> pending;
        for (unsigned int i = 0; i < top.length; ++i) {
            pending.push_back(static_cast<GumboNode*>(top.data[i]));
        }
        while (!pending.empty()) {
            GumboNode* node = pending.back();
            pending.pop_back();
            nodes.push_back(node);
            if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
                const GumboVector& children = node->v.element.children;
                for (unsigned int i = 0; i < children.length; ++i) {
                    pending.push_back(static_cast<GumboNode*>(children.data[i]));
                }
            }
        }
        void* list = options_.allocator(options_.userdata, nodes.size() * sizeof(void*));
        if (list == nullptr) {
            return;
        }
        std::copy(nodes.begin(), nodes.end(), static_cast<void**>(list));
        for (GumboNode* node : nodes) {
            if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
                node->v.element.children.length = 0;  // gumbo still frees the array itself
            }
        }
        options_.deallocator(options_.userdata, top.data);
        top.data = static_cast<void**>(list);
        top.length = static_cast<unsigned int>(nodes.size());
        top.capacity = top.length;
    }

    GumboOptions options_;
    GumboOutput* output_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Small string helpers (ASCII case and white space, as HTML and CSS use them)

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view TrimAscii(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsAsciiSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// The style attribute: only what decides whether and how an element's text shows

enum class DisplayHint : std::uint8_t { kUnset, kNone, kContents, kInline, kBlock, kInlineBlock };
enum class Visibility : std::uint8_t { kInherit, kVisible, kHidden };

struct StyleHints {
    DisplayHint display = DisplayHint::kUnset;
    Visibility visibility = Visibility::kInherit;
    bool out_of_flow = false;  // floated or absolutely positioned
};

// One property's winning declaration so far: a later one wins unless only the earlier one is
// !important.
template <typename Value>
struct Declared {
    Value value{};
    bool set = false;
    bool important = false;

    void Offer(Value offered, bool offered_important) {
        if (set && important && !offered_important) {
            return;
        }
        value = offered;
        set = true;
        important = offered_important;
    }
};

// The declarations of a style attribute with comments removed, split at semicolons outside
// strings and parentheses.
template <typename Callback>
void ForEachDeclaration(std::string_view css, Callback&& callback) {
    std::string declaration;
    char quote = 0;
    int depth = 0;
    for (std::size_t i = 0; i < css.size(); ++i) {
        const char c = css[i];
        if (quote != 0) {
            declaration += c;
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const std::size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? css.size() : end + 1;
        } else if (c == ';' && depth == 0) {
            callback(std::string_view(declaration));
            declaration.clear();
        } else {
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && depth > 0) {
                --depth;
            }
            declaration += c;
        }
    }
    callback(std::string_view(declaration));
}

bool ParseDisplay(std::string_view value, DisplayHint& hint) {
    struct Keyword {
        std::string_view name;
        DisplayHint hint;
    };
    static constexpr Keyword kKeywords[] = {
        {"none", DisplayHint::kNone},
        {"contents", DisplayHint::kContents},
        {"inline", DisplayHint::kInline},
        {"block", DisplayHint::kBlock},
        {"list-item", DisplayHint::kBlock},
        {"flow-root", DisplayHint::kBlock},
        {"flex", DisplayHint::kBlock},
        {"grid", DisplayHint::kBlock},
        {"table", DisplayHint::kBlock},
        {"-webkit-box", DisplayHint::kBlock},
        {"inline-block", DisplayHint::kInlineBlock},
        {"inline-flex", DisplayHint::kInlineBlock},
        {"inline-grid", DisplayHint::kInlineBlock},
        {"inline-table", DisplayHint::kInlineBlock},
        {"-webkit-inline-box", DisplayHint::kInlineBlock},
    };
    for (const Keyword& keyword : kKeywords) {
        if (EqualsIgnoringCase(value, keyword.name)) {
            hint = keyword.hint;
            return true;
        }
    }
    return false;  // invalid, or a kind of box this reader does not model: the element's own
}

StyleHints ParseStyle(std::string_view css) {
    Declared<DisplayHint> display;
    Declared<Visibility> visibility;
    Declared<bool> floated;
    Declared<bool> positioned;
    ForEachDeclaration(css, [&](std::string_view declaration) {
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) {
            return;
        }
        const std::string_view name = TrimAscii(declaration.substr(0, colon));
        std::string_view value = TrimAscii(declaration.substr(colon + 1));
        bool important = false;
        if (const std::size_t bang = value.rfind('!'); bang != std::string_view::npos) {
            if (!EqualsIgnoringCase(TrimAscii(value.substr(bang + 1)), "important")) {
                return;
            }
            important = true;
            value = TrimAscii(value.substr(0, bang));
        }
        if (EqualsIgnoringCase(name, "display")) {
            DisplayHint hint{};
            if (ParseDisplay(value, hint)) {
                display.Offer(hint, important);
            }
        } else if (EqualsIgnoringCase(name, "visibility")) {
            if (EqualsIgnoringCase(value, "visible")) {
                visibility.Offer(Visibility::kVisible, important);
            } else if (EqualsIgnoringCase(value, "hidden") ||
                       EqualsIgnoringCase(value, "collapse")) {
                visibility.Offer(Visibility::kHidden, important);
            }
        } else if (EqualsIgnoringCase(name, "float")) {
            if (EqualsIgnoringCase(value, "none")) {
                floated.Offer(false, important);
            } else if (EqualsIgnoringCase(value, "left") || EqualsIgnoringCase(value, "right") ||
                       EqualsIgnoringCase(value, "inline-start") ||
                       EqualsIgnoringCase(value, "inline-end")) {
                floated.Offer(true, important);
            }
        } else if (EqualsIgnoringCase(name, "position")) {
            if (EqualsIgnoringCase(value, "absolute") || EqualsIgnoringCase(value, "fixed")) {
                positioned.Offer(true, important);
            } else if (EqualsIgnoringCase(value, "static") ||
                       EqualsIgnoringCase(value, "relative") ||
                       EqualsIgnoringCase(value, "sticky")) {
                positioned.Offer(false, important);
            }
        }
    });
    StyleHints hints;
    hints.display = display.set ? display.value : DisplayHint::kUnset;
    hints.visibility = visibility.set ? visibility.value : Visibility::kInherit;
    hints.out_of_flow = (floated.set && floated.value) || (positioned.set && positioned.value);
    return hints;
}

// ---------------------------------------------------------------------------------------------
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

// The attributes that matter here, found in one pass (gumbo gives HTML attribute names in
// lower case).
struct Attributes {
    const char* hidden = nullptr;
    const char* style = nullptr;
    const char* align = nullptr;
    const char* type = nullptr;
    bool open = false;
    bool controls = false;
    bool src = false;

    explicit Attributes(const GumboElement& element) {
        for (unsigned int i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            const std::string_view name = attribute->name;
            if (name == "hidden") {
                hidden = attribute->value;
            } else if (name == "style") {
                style = attribute->value;
            } else if (name == "align") {
                align = attribute->value;
            } else if (name == "type") {
                type = attribute->value;
            } else if (name == "open") {
                open = true;
            } else if (name == "controls") {
                controls = true;
            } else if (name == "src") {
                src = true;
            }
        }
    }
};

// The element's name as written, for the tags gumbo does not know by enum (dialog, search).
std::string_view WrittenName(const GumboElement& element) {
    GumboStringPiece piece = element.original_tag;
    gumbo_tag_from_original_text(&piece);
    return piece.data == nullptr ? std::string_view() : std::string_view(piece.data, piece.length);
}

Box Make(Role role, ChildFilter filter = ChildFilter::kAll) {
    Box box;
    box.role = role;
    box.filter = filter;
    return box;
}

// Default boxes of HTML elements, as the browser's own style sheet gives them.
Box HtmlBox(const GumboElement& element, const Attributes& attributes) {
    switch (element.tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_BASEFONT:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_META:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_NOSCRIPT:  // scripting is on in the browser
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_AREA:
        case GUMBO_TAG_DATALIST:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_RP:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_COL:
        case GUMBO_TAG_COLGROUP:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_BGSOUND:
            return Make(Role::kNone);
        case GUMBO_TAG_AUDIO:
            return attributes.controls ? Make(Role::kAtomic, ChildFilter::kNothing)
                                       : Make(Role::kNone);
        case GUMBO_TAG_INPUT:
            return attributes.type != nullptr && EqualsIgnoringCase(attributes.type, "hidden")
                       ? Make(Role::kNone)
                       : Make(Role::kAtomic, ChildFilter::kNothing);
        case GUMBO_TAG_EMBED:
            return attributes.src ? Make(Role::kAtomic, ChildFilter::kNothing) : Make(Role::kNone);
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_CANVAS:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_TEXTAREA:  // its text is the control's value, drawn by the control
        case GUMBO_TAG_METER:
        case GUMBO_TAG_PROGRESS:
            return Make(Role::kAtomic, ChildFilter::kNothing);
        case GUMBO_TAG_BUTTON:
            return Make(Role::kAtomic);
        case GUMBO_TAG_MARQUEE: {
            Box box = Make(Role::kAtomic);
            box.white_space = WhiteSpace::kCollapse;  // nowrap
            return box;
        }
        case GUMBO_TAG_NOBR: {
            Box box = Make(Role::kInline);
            box.white_space = WhiteSpace::kCollapse;  // nowrap
            return box;
        }
        case GUMBO_TAG_WBR:
            return Make(Role::kWordBreak, ChildFilter::kNothing);
        case GUMBO_TAG_SELECT:
            return Make(Role::kAtomic, ChildFilter::kOptions);
        case GUMBO_TAG_OPTGROUP:
            return Make(Role::kBlock, ChildFilter::kOptionsOnly);
        case GUMBO_TAG_OPTION: {
            Box box = Make(Role::kBlock, ChildFilter::kNothing);
            box.label = true;
            return box;
        }
        case GUMBO_TAG_Q: {
            Box box = Make(Role::kInline);
            box.quotes = true;
            return box;
        }
        case GUMBO_TAG_RUBY:
        case GUMBO_TAG_RB:
        case GUMBO_TAG_RT:
        case GUMBO_TAG_RTC: {
            Box box = Make(Role::kInline);
            box.ruby = element.tag == GUMBO_TAG_RUBY;
            return box;
        }
        case GUMBO_TAG_P: {
            Box box = Make(Role::kBlock);
            box.paragraph = true;
            return box;
        }
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT: {
            Box box = Make(Role::kBlock);
            box.white_space = WhiteSpace::kPreserve;
            return box;
        }
        case GUMBO_TAG_DETAILS:
            return Make(Role::kBlock, attributes.open ? ChildFilter::kAll : ChildFilter::kSummary);
        case GUMBO_TAG_TABLE:
            return Make(Role::kTable, ChildFilter::kTablePart);
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT:
            return Make(Role::kRowGroup, ChildFilter::kTablePart);
        case GUMBO_TAG_TR:
            return Make(Role::kRow, ChildFilter::kTablePart);
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            return Make(Role::kCell);
        case GUMBO_TAG_BR:
            return Make(Role::kBreak, ChildFilter::kNothing);
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_DL:
        case GUMBO_TAG_DT:
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
        case GUMBO_TAG_HR:
        case GUMBO_TAG_LEGEND:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_UL:
            return Make(Role::kBlock);
        case GUMBO_TAG_UNKNOWN: {
            const std::string_view name = WrittenName(element);
            if (EqualsIgnoringCase(name, "dialog")) {
                return attributes.open ? Make(Role::kBlock) : Make(Role::kNone);
            }
            if (EqualsIgnoringCase(name, "search")) {
                return Make(Role::kBlock);
            }
            return Make(Role::kInline);
        }
        default:
            return Make(Role::kInline);
    }
}

bool IsTablePart(Role role) {
    return role == Role::kTable || role == Role::kRowGroup || role == Role::kRow ||
           role == Role::kCell;
}

// align=left|right on these elements floats them.
bool FloatsByAlign(const GumboElement& element, const Attributes& attributes) {
    if (attributes.align == nullptr) {
        return false;
    }
    switch (element.tag) {
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED:
            return EqualsIgnoringCase(attributes.align, "left") ||
                   EqualsIgnoringCase(attributes.align, "right");
        default:
            return false;
    }
}

// The box of an element. Elements the browser's style sheet hides stay hidden; the hidden
// attribute can be overridden by a display in the style attribute; table parts take only
// display: none from it.
Box Classify(const GumboElement& element) {
    const Attributes attributes(element);
    // Only HTML reaches here: SVG and MathML tags are renamed before parsing.
    Box box = element.tag_namespace == GUMBO_NAMESPACE_HTML ? HtmlBox(element, attributes)
                                                            : Make(Role::kInline);
    if (box.role == Role::kNone) {
        return box;
    }
    const StyleHints hints =
        attributes.style != nullptr ? ParseStyle(attributes.style) : StyleHints{};
    if (attributes.hidden != nullptr && (hints.display == DisplayHint::kUnset ||
                                         EqualsIgnoringCase(attributes.hidden, "until-found"))) {
        return Make(Role::kNone);
    }
    if (hints.display == DisplayHint::kNone) {
        return Make(Role::kNone);
    }
    if (!IsTablePart(box.role) && box.role != Role::kBreak && box.role != Role::kWordBreak) {
        const bool replaced = box.filter == ChildFilter::kNothing;
        switch (hints.display) {
            case DisplayHint::kContents:
                // Controls and replaced elements have no children to show: they vanish.
                if (box.role == Role::kAtomic) {
                    return Make(Role::kNone);
                }
                box.role = Role::kContents;
                break;
            case DisplayHint::kInline:
                box.role = replaced ? Role::kAtomic : Role::kInline;
                break;
            case DisplayHint::kBlock:
                box.role = Role::kBlock;
                break;
            case DisplayHint::kInlineBlock:
                box.role = Role::kAtomic;
                break;
            default:
                break;
        }
        if ((hints.out_of_flow || FloatsByAlign(element, attributes)) &&
            (box.role == Role::kInline || box.role == Role::kAtomic || box.role == Role::kBlock)) {
            box.role = Role::kOutOfFlow;
        }
    }
    if (hints.visibility != Visibility::kInherit) {
        box.visibility = hints.visibility;
    }
    return box;
}

// The number of required line breaks before and after an element's content.
int RequiredBreaks(const Box& box) {
    switch (box.role) {
        case Role::kNone:
        case Role::kContents:
        case Role::kRowGroup:
        case Role::kRow:
        case Role::kCell:
        case Role::kBreak:
        case Role::kWordBreak:
            return 0;
        case Role::kBlock:
        case Role::kOutOfFlow:
        case Role::kTable:
            return box.paragraph ? 2 : 1;
        case Role::kInline:
        case Role::kAtomic:
            return box.paragraph ? 2 : 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The text, built in one pass

// Where the current line stands for white-space collapsing.
enum class Edge : std::uint8_t {
    kStart,    // nothing yet since the line began: collapsible spaces are dropped
    kSpace,    // ends with a collapsible space: more of them are dropped
    kContent,  // ends with content: the next run of collapsible spaces becomes one space
};

// With Edge::kSpace the space is either already in the text at space_at (taken back if the
// line ends there), or deferred: required line breaks were pending when it came, so whether
// they go before it depends on what follows. A space of invisible text is neither.
struct LineState {
    Edge edge = Edge::kStart;
    bool space_written = false;
    bool space_deferred = false;
    bool space_had_newline = false;  // for the zero-width-space rule
    bool after_zwsp = false;         // the line's content ends with a zero-width space
    std::size_t space_at = 0;
};

constexpr std::string_view kZeroWidthSpace = "\xE2\x80\x8B";

bool IsCollapsible(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Length of the UTF-8 sequence at text[i] if it is a character the output leaves out or turns
// into a space; 0 otherwise. *space says which.
std::size_t SpecialSequence(std::string_view text, std::size_t i, bool* space) {
    const auto byte = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    *space = false;
    switch (byte(0)) {
        case 0xC2:
            if (byte(1) == 0xA0) {
                *space = true;  // no-break space
                return 2;
            }
            return byte(1) == 0xAD ? 2 : 0;  // soft hyphen
        case 0xE2:
            if (byte(1) == 0x80) {
                const unsigned third = byte(2);
                // U+200B..U+200F zero widths and marks, U+202A..U+202E embeddings
                return (third >= 0x8B && third <= 0x8F) || (third >= 0xAA && third <= 0xAE) ? 3 : 0;
            }
            if (byte(1) == 0x81) {
                const unsigned third = byte(2);
                // U+2060..U+2064 word joiner and invisible operators, U+2066..U+2069 isolates
                return (third >= 0xA0 && third <= 0xA4) || (third >= 0xA6 && third <= 0xA9) ? 3 : 0;
            }
            return 0;
        case 0xEF:
            return byte(1) == 0xBB && byte(2) == 0xBF ? 3 : 0;  // byte-order mark
        default:
            return 0;
    }
}

// The innerText result as it grows: content, required line breaks (a run of them becomes as
// many line feeds as the largest asks for, none at the start or end), and the white-space
// collapsing of the line being laid out.
class TextBuilder {
  public:
    // Text under white-space: normal.
    void AddCollapsible(std::string_view text, bool visible) {
        std::size_t i = 0;
        while (i < text.size()) {
            std::size_t end = i;
            if (IsCollapsible(text[i])) {
                bool newline = false;
                while (end < text.size() && IsCollapsible(text[end])) {
                    newline = newline || text[end] == '\n';
                    ++end;
                }
                AddSpace(newline, visible);
            } else {
                while (end < text.size() && !IsCollapsible(text[end])) {
                    ++end;
                }
                AddContent(text.substr(i, end - i), visible);
            }
            i = end;
        }
    }

    // Text under white-space: pre: every character is content.
    void AddPreserved(std::string_view text, bool visible) {
        if (text.empty()) {
            return;
        }
        AddContent(text, visible);
        if (text.back() == '\n') {
            line_.edge = Edge::kStart;
        }
    }

    // An atomic inline (image, control, inline-block) or generated content: content without
    // text here.
    void AddAtomic() {
        KeepSpace();
        line_ = LineState{};
        line_.edge = Edge::kContent;
    }

    // wbr: a zero-width space to the layout, so a segment break next to it goes; otherwise
    // nothing.
    void AddWordBreak() {
        if (line_.edge == Edge::kSpace && line_.space_had_newline) {
            DropSpace();
            line_.edge = Edge::kContent;
        }
        line_.after_zwsp = line_.edge == Edge::kContent;
    }

    // A forced break or the edge of a block: a collapsible space at the end of the line goes.
    void EndLine() {
        if (line_.edge == Edge::kSpace) {
            DropSpace();
        }
        line_ = LineState{};
    }

    void AddRequiredBreaks(int count) {
        int& pending = line_.space_deferred ? breaks_after_space_ : pending_breaks_;
        pending = std::max(pending, count);
    }

    // Text shown as it is, outside the layout (an option's label).
    void AddLabel(std::string_view text) {
        if (!text.empty()) {
            PutVisible(text);
        }
    }

    // A line feed (br, end of a table row) or tab (end of a table cell).
    void AddControl(char c) {
        FlushBreaks();
        Put(std::string_view(&c, 1));
    }

    // A box with lines of its own inside the current line: returns the outer line's state, to
    // be given back to EndInnerLine. The box's text follows a deferred space of the outer line,
    // so that space is placed now, still to be taken back if the outer line ends there.
    LineState BeginInnerLine() {
        if (line_.edge == Edge::kSpace && line_.space_deferred) {
            PlaceDeferredSpace();
            line_.space_written = true;
            line_.space_at = out_.size() - 1;
        }
        const LineState outer = line_;
        line_ = LineState{};
        return outer;
    }
    void EndInnerLine(const LineState& outer) {
        EndLine();
        line_ = outer;
    }

    std::string Finish() {
        std::erase(out_, '\0');
        return std::move(out_);
    }

  private:
    void AddSpace(bool newline, bool visible) {
        if (line_.edge == Edge::kSpace) {
            line_.space_had_newline = line_.space_had_newline || newline;
            return;
        }
        if (line_.edge == Edge::kStart || (newline && line_.after_zwsp)) {
            return;  // a segment break next to a zero-width space goes entirely
        }
        line_.edge = Edge::kSpace;
        line_.space_had_newline = newline;
        line_.space_written = false;
        line_.space_deferred = false;
        if (!visible) {
            return;
        }
        if (pending_breaks_ > 0) {
            line_.space_deferred = true;
        } else {
            line_.space_written = true;
            line_.space_at = out_.size();
            Put(" ");
        }
    }

    void AddContent(std::string_view chunk, bool visible) {
        if (line_.edge == Edge::kSpace && line_.space_had_newline &&
            chunk.starts_with(kZeroWidthSpace)) {
            DropSpace();
        } else {
            KeepSpace();
        }
        line_ = LineState{};
        line_.edge = Edge::kContent;
        line_.after_zwsp = chunk.ends_with(kZeroWidthSpace);
        if (visible) {
            PutVisible(chunk);
        }
    }

    // Content follows the line's space in the same line: it stays.
    void KeepSpace() {
        if (line_.edge == Edge::kSpace && line_.space_deferred) {
            PlaceDeferredSpace();
        }
    }

    // The line's space goes: taken back if written; if deferred, the breaks around it merge.
    void DropSpace() {
        if (line_.space_written) {
            out_[line_.space_at] = '\0';  // removed in Finish
            --content_;
        } else if (line_.space_deferred) {
            pending_breaks_ = std::max(pending_breaks_, breaks_after_space_);
            breaks_after_space_ = 0;
        }
        line_.space_written = false;
        line_.space_deferred = false;
    }

    void PlaceDeferredSpace() {
        FlushBreaks();
        Put(" ");
        pending_breaks_ = breaks_after_space_;
        breaks_after_space_ = 0;
        line_.space_deferred = false;
    }

    // Writes content with no-break spaces as spaces and invisible format characters left out.
    // Those still count as content, as in the browser, for placing required line breaks.
    void PutVisible(std::string_view chunk) {
        FlushBreaks();
        std::size_t run = 0;
        std::size_t i = 0;
        while (i < chunk.size()) {
            bool space = false;
            const std::size_t length = SpecialSequence(chunk, i, &space);
            if (length == 0) {
                ++i;
                continue;
            }
            out_.append(chunk.substr(run, i - run));
            if (space) {
                out_ += ' ';
            }
            i += length;
            run = i;
        }
        out_.append(chunk.substr(run));
        ++content_;
    }

    // Required line breaks go only between pieces of content: not before the first.
    void FlushBreaks() {
        if (pending_breaks_ > 0 && content_ > 0) {
            out_.append(static_cast<std::size_t>(pending_breaks_), '\n');
        }
        pending_breaks_ = 0;
    }

    void Put(std::string_view bytes) {
        out_.append(bytes);
        ++content_;
    }

    // The text; a space taken back is marked with NUL, which the text never holds otherwise
    // (the input ends at its first NUL and gumbo turns &#0; into U+FFFD).
    std::string out_;
    std::size_t content_ = 0;  // pieces of content written and not taken back
    int pending_breaks_ = 0;
    int breaks_after_space_ = 0;  // required line breaks after a deferred space
    LineState line_;
};

// ---------------------------------------------------------------------------------------------
// The walk: depth-first with an explicit stack, so any depth of nesting is fine

struct Frame {
    const GumboNode* node = nullptr;
    unsigned int next_child = 0;
    Role role = Role::kBlock;
    ChildFilter filter = ChildFilter::kAll;
    int breaks = 0;
    bool visible = true;
    bool preserve = false;
    bool quotes = false;
    bool ruby = false;
    const GumboNode* summary = nullptr;     // closed details: the one child shown
    const GumboNode* saved_last = nullptr;  // table and row: the enclosing last row or cell
    LineState saved_line;                   // atomic and out-of-flow boxes: the outer line
};

bool IsElement(const GumboNode& node) {
    return node.type == GUMBO_NODE_ELEMENT;
}

bool IsHtml(const GumboNode& node, GumboTag tag) {
    return IsElement(node) && node.v.element.tag == tag &&
           node.v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

const GumboNode& Child(const GumboNode& parent, unsigned int i) {
    return *static_cast<const GumboNode*>(parent.v.element.children.data[i]);
}

// The last child (from the end, the first) whose box plays the given role.
const GumboNode* LastWithRole(const GumboNode& parent, Role role) {
    for (unsigned int i = parent.v.element.children.length; i-- > 0;) {
        const GumboNode& child = Child(parent, i);
        if (IsElement(child) && Classify(child.v.element).role == role) {
            return &child;
        }
    }
    return nullptr;
}

// The last rendered row of a table, across its row groups.
const GumboNode* LastRow(const GumboNode& table) {
    for (unsigned int i = table.v.element.children.length; i-- > 0;) {
        const GumboNode& child = Child(table, i);
        if (!IsElement(child)) {
            continue;
        }
        const Role role = Classify(child.v.element).role;
        if (role == Role::kRow) {
            return &child;
        }
        if (role == Role::kRowGroup) {
            if (const GumboNode* row = LastWithRole(child, Role::kRow)) {
                return row;
            }
        }
    }
    return nullptr;
}

const GumboNode* FirstSummary(const GumboNode& details) {
    for (unsigned int i = 0; i < details.v.element.children.length; ++i) {
        if (IsHtml(Child(details, i), GUMBO_TAG_SUMMARY)) {
            return &Child(details, i);
        }
    }
    return nullptr;
}

bool Admits(const Frame& parent, const GumboNode& child) {
    switch (parent.filter) {
        case ChildFilter::kAll:
            return true;
        case ChildFilter::kTablePart:
            return !IsHtml(child, GUMBO_TAG_FORM);  // the parser leaves forms there empty
        case ChildFilter::kNothing:
            return false;
        case ChildFilter::kOptions:
            return IsHtml(child, GUMBO_TAG_OPTION) || IsHtml(child, GUMBO_TAG_OPTGROUP);
        case ChildFilter::kOptionsOnly:
            return IsHtml(child, GUMBO_TAG_OPTION);
        case ChildFilter::kSummary:
            return &child == parent.summary;
    }
    return false;
}

// An option's label: its descendant text without scripts, ASCII white space stripped and
// collapsed.
std::string LabelText(const GumboNode& option) {
    std::string label;
    bool space = false;
    std::vector<const GumboNode*> pending;
    for (unsigned int i = option.v.element.children.length; i-- > 0;) {
        pending.push_back(&Child(option, i));
    }
    while (!pending.empty()) {
        const GumboNode& node = *pending.back();
        pending.pop_back();
        if (node.type == GUMBO_NODE_ELEMENT) {
            if (node.v.element.tag != GUMBO_TAG_SCRIPT) {
                for (unsigned int i = node.v.element.children.length; i-- > 0;) {
                    pending.push_back(&Child(node, i));
                }
            }
        } else if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_WHITESPACE ||
                   node.type == GUMBO_NODE_CDATA) {
            for (const char* c = node.v.text.text; *c != '\0'; ++c) {
                if (IsAsciiSpace(*c)) {
                    space = !label.empty();
                } else {
                    if (space) {
                        label += ' ';
                        space = false;
                    }
                    label += *c;
                }
            }
        }
    }
    return label;
}

class Walker {
  public:
    std::string Run(const GumboNode& root) {
        Frame frame;
        frame.node = &root;
        stack_.push_back(frame);
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            if (top.next_child == top.node->v.element.children.length) {
                const Frame done = top;
                stack_.pop_back();
                Leave(done);
                continue;
            }
            const GumboNode& child = Child(*top.node, top.next_child++);
            Visit(child, top);  // may grow the stack: `top` is not used after this
        }
        return text_.Finish();
    }

  private:
    void Visit(const GumboNode& node, const Frame& parent) {
        switch (node.type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                if (parent.filter == ChildFilter::kAll) {
                    const std::string_view text = node.v.text.text;
                    if (parent.preserve) {
                        text_.AddPreserved(text, parent.visible);
                    } else {
                        text_.AddCollapsible(text, parent.visible);
                    }
                }
                return;
            case GUMBO_NODE_ELEMENT:
                if (Admits(parent, node)) {
                    Enter(node, parent);
                }
                return;
            default:
                return;  // comments; template contents are never rendered
        }
    }

    void Enter(const GumboNode& node, const Frame& parent) {
        Box box = Classify(node.v.element);
        if (box.role == Role::kNone) {
            return;
        }
        if (parent.ruby && box.role == Role::kBlock) {
            box.role = Role::kAtomic;  // block-level boxes in ruby are made inline
        }
        Frame frame;
        frame.node = &node;
        frame.role = box.role;
        frame.filter = box.filter;
        frame.breaks = RequiredBreaks(box);
        frame.visible = box.visibility == Visibility::kInherit
                            ? parent.visible
                            : box.visibility == Visibility::kVisible;
        frame.preserve = box.white_space == WhiteSpace::kInherit
                             ? parent.preserve
                             : box.white_space == WhiteSpace::kPreserve;
        frame.quotes = box.quotes;
        // Inside a ruby, through its inline content.
        frame.ruby =
            box.ruby || (parent.ruby && (box.role == Role::kInline || box.role == Role::kContents));
        switch (box.role) {
            case Role::kBreak:
                text_.EndLine();
                if (frame.visible) {
                    text_.AddControl('\n');
                }
                return;  // no content, nothing to do on leaving
            case Role::kWordBreak:
                text_.AddWordBreak();
                return;
            case Role::kInline:
                AddBreaks(frame);
                if (frame.quotes) {
                    text_.AddAtomic();
                }
                break;
            case Role::kAtomic:
                text_.AddAtomic();
                AddBreaks(frame);
                frame.saved_line = text_.BeginInnerLine();
                break;
            case Role::kBlock:
            case Role::kTable:
                text_.EndLine();
                AddBreaks(frame);
                if (box.label && frame.visible) {
                    text_.AddLabel(LabelText(node));
                }
                if (box.role == Role::kTable) {
                    frame.saved_last = last_row_;
                    last_row_ = LastRow(node);
                }
                if (box.filter == ChildFilter::kSummary) {
                    frame.summary = FirstSummary(node);
                }
                break;
            case Role::kOutOfFlow:
                AddBreaks(frame);
                frame.saved_line = text_.BeginInnerLine();
                break;
            case Role::kRow:
                frame.saved_last = last_cell_;
                last_cell_ = LastWithRole(node, Role::kCell);
                break;
            case Role::kCell:
                text_.EndLine();
                break;
            case Role::kNone:
            case Role::kContents:
            case Role::kRowGroup:
                break;
        }
        stack_.push_back(frame);
    }

    void Leave(const Frame& frame) {
        switch (frame.role) {
            case Role::kInline:
                if (frame.quotes) {
                    text_.AddAtomic();
                }
                AddBreaks(frame);
                break;
            case Role::kAtomic:
            case Role::kOutOfFlow:
                text_.EndInnerLine(frame.saved_line);
                AddBreaks(frame);
                break;
            case Role::kBlock:
            case Role::kTable:
                text_.EndLine();
                AddBreaks(frame);
                if (frame.role == Role::kTable) {
                    last_row_ = frame.saved_last;
                }
                break;
            case Role::kRow:
                if (frame.visible && frame.node != last_row_) {
                    text_.AddControl('\n');
                }
                last_cell_ = frame.saved_last;
                break;
            case Role::kCell:
                text_.EndLine();
                if (frame.visible && frame.node != last_cell_) {
                    text_.AddControl('\t');
                }
                break;
            case Role::kNone:
            case Role::kContents:
            case Role::kRowGroup:
            case Role::kBreak:
            case Role::kWordBreak:
                break;
        }
    }

    void AddBreaks(const Frame& frame) {
        if (frame.visible) {
            text_.AddRequiredBreaks(frame.breaks);
        }
    }

    TextBuilder text_;
    std::vector<Frame> stack_;
    const GumboNode* last_row_ = nullptr;   // of the innermost table being walked
    const GumboNode* last_cell_ = nullptr;  // of the innermost row being walked
};

// ---------------------------------------------------------------------------------------------
// What gumbo must not see

// Elements nest at most this deep; browsers stop at the same depth.
constexpr std::size_t kMaxNesting = 512;

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
// list items, table rows and cells). The model must never believe an element closed that the
// parser keeps open, or a page could nest without limit; believing the opposite only closes an
// element early on a page nested hundreds deep. So an end tag closes nothing here when the parser
// may ignore it:
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

    std::size_t Depth() const { return open_.size(); }
    const Open& Innermost() const { return open_.back(); }

    // The parser opens listed formatting elements again.
    void Reopen() {
        open_.insert(open_.end(), reopen_.begin(), reopen_.end());
        reopen_.clear();
    }

    void Start(const Open& element) { open_.push_back(element); }

    // The innermost element, closed by an end tag inserted for it.
    void CloseInnermost() { open_.pop_back(); }

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
        for (std::size_t i = index + 1; i < open_.size(); ++i) {
            if (IsFormatting(open_[i].tag)) {
                reopen_.push_back(open_[i]);
            }
        }
        open_.resize(index);
    }

    std::vector<Open> open_;
    std::vector<Open> reopen_;  // closed by another element's end tag, opened again later
};

// The page as gumbo gets it. An ordinary article passes unchanged; two kinds of page would not:
// - gumbo 0.10 fails assertions (or, built without them, follows null pointers) on some
//   malformed mixes of SVG or MathML with tables and selects, e.g.
//   <table><math><select><mi><select><td>. Article bodies hardly ever carry either, so their
//   tags are renamed (svg_, math_): gumbo reads them as unknown HTML elements, their text shows
//   inline.
// - gumbo sets no limit on nesting, and before each block start tag scans the whole stack of
//   open elements: 200,000 nested <div>s took minutes. Tags are followed here as the parser
//   will nest them (NestingModel); an element that would open deeper than kMaxNesting closes the
//   innermost open one first and becomes its sibling. The page is cut into tags, comments and
//   raw text exactly as the tokenizer cuts it (TagEnd, CommentEnd, ScriptEnd): a tag that the
//   scan here missed, or saw where there is none, could nest past the limit unseen.
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

}  // namespace

Text HtmlToText(const Text& html_gbk) {
    const std::string html = ForGumbo(GbkToUtf8(TextView(html_gbk)));
    if (html.empty()) {
        return Text();
    }
    const ParsedFragment fragment(html);
    const GumboNode* root = fragment.Root();
    if (root == nullptr || root->type != GUMBO_NODE_ELEMENT) {
        return Text();
    }
    return Utf8ToGbk(Walker().Run(*root));
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

}  // namespace vennadar
