#pragma once

#include <string>

namespace vennadar {

// The fixed settings of a build. The program uses DefaultBuildSettings(); tests make their own
// (a sample site on an ephemeral port, say).
struct BuildSettings {
    std::string site_base;            // http, no trailing slash
    std::string update_manifest_url;  // http or https
    std::string chat_group_url;
    std::string author_credit;    // UTF-8; starts with an ASCII comma
    std::string program_version;  // the project version the build was stamped with
    bool update_check = true;
};

BuildSettings DefaultBuildSettings();

}  // namespace vennadar
