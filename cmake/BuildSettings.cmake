# Build settings: fixed names that packagers and tools rely on.
set(VENNADAR_SITE_BASE "http://127.0.0.1:8780" CACHE STRING
    "Site base address (http, no trailing slash)")
set(VENNADAR_UPDATE_MANIFEST_URL "https://127.0.0.1:8781/qmzt/update.xml" CACHE STRING
    "Update manifest address")
set(VENNADAR_CHAT_GROUP_URL "http://127.0.0.1:8780/qun-html" CACHE STRING
    "Chat-group invitation page")
set(VENNADAR_AUTHOR_CREDIT ",Vennadar 团队出品，联系方式见“使用说明”" CACHE STRING
    "Credit shown in the About box; starts with an ASCII comma")
option(VENNADAR_UPDATE_CHECK "Build with the update check" ON)
