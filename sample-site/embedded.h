#pragma once

#include <string_view>

// Files compiled into the library (see embed.cmake).
namespace vennadar::sample_site::embedded {

std::string_view ArticlesSource();  // content/articles.txt
std::string_view Melody();          // audio/melody.mp3
std::string_view Figure();          // images/figure.png

}  // namespace vennadar::sample_site::embedded
