#pragma once

#include <string>

#include "core/ports/http.h"
#include "core/text/text.h"

namespace vennadar {

// Downloads a listing page and returns it as the program's text: the body up to its first NUL
// byte, converted from UTF-8 to GBK. A failed download gives the empty text.
Text FetchPageText(Http& http, const std::string& address);

// The same conversion of what a download gave.
Text PageText(const std::optional<std::string>& body);

}  // namespace vennadar
