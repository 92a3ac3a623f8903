#pragma once

#include <optional>
#include <string>

namespace vennadar {

// The page download service: one blocking GET of a complete address. Returns the response body
// (whatever the status), or nothing when the request failed.
class Http {
  public:
    virtual ~Http() = default;
    virtual std::optional<std::string> Download(const std::string& address) = 0;
};

}  // namespace vennadar
