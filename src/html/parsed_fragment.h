#pragma once

#include <gumbo.h>

#include <string_view>

namespace vennadar::html {

// Owns gumbo's tree for one fragment, parsed as the content of a <div>. gumbo frees a tree with
// one native stack frame per level, so a hostile page nested a few hundred thousand deep would
// overflow the stack there; before freeing, every node is hung directly off the document so
// that gumbo's recursion is never more than three deep.
class ParsedFragment {
  public:
    explicit ParsedFragment(std::string_view html_utf8);
    ~ParsedFragment();
    ParsedFragment(const ParsedFragment&) = delete;
    ParsedFragment& operator=(const ParsedFragment&) = delete;

    // The root element whose children are the fragment's nodes; null if gumbo gave nothing.
    const GumboNode* Root() const { return output_ == nullptr ? nullptr : output_->root; }

  private:
    void Flatten();

    GumboOptions options_;
    GumboOutput* output_ = nullptr;
};

}  // namespace vennadar::html
