# The fuzz targets and the libraries each links. Shared by the libFuzzer build and the replay of
# the committed inputs in the normal build (replay.cmake).

set(VENNADAR_FUZZ_TARGETS
    fuzz_code_page
    fuzz_percent_encode
    fuzz_listing
    fuzz_article
    fuzz_nesting_limit
    fuzz_manifest
    fuzz_key_store)

set(VENNADAR_FUZZ_LIBS_fuzz_code_page vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_percent_encode vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_listing vennadar_listing vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_article vennadar_reader vennadar_html vennadar_io vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_nesting_limit vennadar_html vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_manifest vennadar_update vennadar_text)
set(VENNADAR_FUZZ_LIBS_fuzz_key_store vennadar_key_store)
