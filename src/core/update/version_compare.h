#pragma once

#include <string_view>

namespace vennadar {

// Compares two dotted versions field by field: numerically when both fields are all digits,
// otherwise as byte strings; a missing field counts as 0. The remote side is trimmed of
// surrounding ASCII white space. Returns <0, 0 or >0 as running is older, equal or newer.
int CompareVersions(std::string_view running, std::string_view remote);

// A newer version exists when the running one is the older of the two. An empty remote version
// is never newer.
bool IsNewerVersion(std::string_view running, std::string_view remote);

}  // namespace vennadar
