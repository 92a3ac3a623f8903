# The fuzz targets and the libraries each links. Shared by the libFuzzer build (CMakeLists.txt)
# and the regression replay in the normal build (replay.cmake).

set(VENNADAR_FUZZ_TARGETS
    fuzz_code_page
    fuzz_percent_encode
    fuzz_listing
    fuzz_article
    fuzz_manifest
    fuzz_key_store)

set(VENNADAR_FUZZ_LIBS_fuzz_code_page vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_percent_encode vennadar_search vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_listing vennadar_listing vennadar_platform_core vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_article
    vennadar_logic vennadar_html vennadar_platform_core vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_manifest vennadar_logic vennadar_platform_core vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_key_store vennadar_key_store)
