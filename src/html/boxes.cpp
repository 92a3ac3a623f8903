#include "html/boxes.h"

#include <string_view>

#include "html/ascii.h"

namespace vennadar::html {
namespace {

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

}  // namespace

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

}  // namespace vennadar::html
