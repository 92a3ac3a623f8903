#include "core/settings/build_settings.h"

#include "build_settings_values.h"

namespace vennadar {

BuildSettings DefaultBuildSettings() {
    BuildSettings settings;
    settings.site_base = VENNADAR_SITE_BASE_VALUE;
    settings.update_manifest_url = VENNADAR_UPDATE_MANIFEST_URL_VALUE;
    settings.chat_group_url = VENNADAR_CHAT_GROUP_URL_VALUE;
    settings.author_credit = VENNADAR_AUTHOR_CREDIT_VALUE;
    settings.program_version = VENNADAR_VERSION_VALUE;
    settings.update_check = VENNADAR_UPDATE_CHECK != 0;
    return settings;
}

}  // namespace vennadar
