#include "html/parsed_fragment.h"

#include <algorithm>
#include <new>
#include <vector>

namespace vennadar::html {

ParsedFragment::ParsedFragment(std::string_view html_utf8) : options_(kGumboDefaultOptions) {
    options_.fragment_context = GUMBO_TAG_DIV;
    // Parse errors are not used, and each one copies the stack of open elements: a page
    // that leaves many deep elements open would cost quadratic memory.
    options_.max_errors = 0;
    output_ = gumbo_parse_with_options(&options_, html_utf8.data(), html_utf8.size());
}

ParsedFragment::~ParsedFragment() {
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

void ParsedFragment::Flatten() {
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

}  // namespace vennadar::html
