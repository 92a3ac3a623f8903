#pragma once

#include <optional>
#include <string>

namespace vennadar {

// The scheme of an absolute address in lower case ("http", "mailto"), or empty for a relative
// reference.
std::string UrlScheme(const std::string& address);

// Resolves a reference against a base address (http or https). An absolute reference comes
// back as it stands. Nothing when it cannot be resolved.
std::optional<std::string> ResolveUrl(const std::string& base, const std::string& reference);

}  // namespace vennadar
