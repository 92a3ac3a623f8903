# Warnings for every target of the project; VENNADAR_WERROR turns them into errors (CI does).
function(vennadar_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                             -Wimplicit-fallthrough)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wshadow=local)
    else()
        target_compile_options(${target} PRIVATE -Wshadow-uncaptured-local)
    endif()
    if(VENNADAR_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
