#pragma once

namespace vennadar {

// The article body: the inner HTML between the fixed prefix and the closing article tag. The
// second alternative's brace is as the site's pattern has always had it; the engine reads it as
// a literal.
inline constexpr char kBodyPatternUtf8[] =
    R"re((?<=<div>正文：<\/div><\/center>\n\s{3}<article id="post_content">\n\s{4})(.*\n)*(?=\s{7}<\/article>)|<article id="post_content">\n(.+?\n)*\s{5<\/article>})re";

// A link in the body: group 1 the address, group 2 the caption (HTML).
inline constexpr char kLinkPatternUtf8[] = R"re(<a.+?href="(.+?)".*>(.+?)<\/a>)re";

// An audio element on one line: group 1 its source.
inline constexpr char kAudioPatternUtf8[] = R"re(<audio.+?src="(.+?)".+?<\/audio>)re";

}  // namespace vennadar
