#pragma once

#include <string_view>

#include "core/text/text.h"

namespace vennadar {

// The version in an update manifest (GBK): exactly what the first match of the manifest pattern
// (kManifestPatternUtf8) gives, found in time linear in the manifest; empty when there is none.
// Searched with the regex engine, a long line of opening tags that never closes costs time
// quadratic in its length.
Text FindManifestVersion(std::string_view manifest_gbk);

}  // namespace vennadar
