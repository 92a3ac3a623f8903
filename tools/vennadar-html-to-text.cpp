// Developer tool: reads an HTML fragment in UTF-8 on standard input and writes the text the
// reader shows for it, in UTF-8, to standard output with nothing added.

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "core/text/code_page.h"
#include "html/html_to_text.h"

int main() {
    std::ios::sync_with_stdio(false);
    const std::string input{std::istreambuf_iterator<char>(std::cin),
                            std::istreambuf_iterator<char>()};
    const std::string text = vennadar::GbkToUtf8(vennadar::HtmlToText(vennadar::Utf8ToGbk(input)));
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
    return std::cout ? 0 : 1;
}
