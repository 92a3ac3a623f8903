#include "html/inline_style.h"

#include <string>

#include "html/ascii.h"

namespace vennadar::html {
namespace {

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

}  // namespace

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

}  // namespace vennadar::html
