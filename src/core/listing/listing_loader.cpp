#include "core/listing/listing_loader.h"

#include "core/text/code_page.h"

namespace vennadar {

Text FetchPageText(Http& http, const std::string& address) {
    const std::optional<std::string> body = http.Download(address);
    if (!body) {
        return Text();
    }
    return Utf8ToGbk(TextView(*body));
}

}  // namespace vennadar
