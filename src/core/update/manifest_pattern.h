#pragma once

namespace vennadar {

// The version in the update manifest: the text between the first pair of version tags.
inline constexpr char kManifestPatternUtf8[] = R"re((?<=<版本号>).+?(?=<\/版本号>))re";

}  // namespace vennadar
