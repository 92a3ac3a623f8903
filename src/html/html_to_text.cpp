#include "html/html_to_text.h"

#include <gumbo.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/code_page.h"
#include "html/ascii.h"
#include "html/boxes.h"
#include "html/inline_style.h"
#include "html/nesting_limit.h"
#include "html/parsed_fragment.h"
#include "html/text_builder.h"

namespace vennadar::html {
namespace {

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

}  // namespace
}  // namespace vennadar::html

namespace vennadar {

using html::ForGumbo;
using html::ParsedFragment;
using html::Walker;

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

}  // namespace vennadar
