#include "core/listing/listing_loader.h"

#include "core/text/code_page.h"

namespace vennadar {

Text FetchPageText(Http& http, const std::string& address) {
    return PageText(http.Download(address));
}

Text PageText(const std::optional<std::string>& body) {
    if (!body) {
        return Text();
    }
    return Utf8ToGbk(TextView(*body));
}

}  // namespace vennadar
