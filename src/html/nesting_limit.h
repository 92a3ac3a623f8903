#pragma once

#include <cstddef>
#include <string>

#include "core/text/text.h"

namespace vennadar::html {

// What gumbo must not see

// Elements nest at most this deep; browsers stop at the same depth.
constexpr std::size_t kMaxNesting = 512;

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
std::string ForGumbo(const std::string& html);

// How deep elements nest in the tree the parser builds for a fragment once the nesting limit
// has been applied, counting the fragment's own elements from 1: what tests check the limit by.
std::size_t ParsedNestingDepth(const Text& html_gbk);

}  // namespace vennadar::html
