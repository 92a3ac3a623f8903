# Warnings for every target of the project; VENNADAR_WERROR turns them into errors (CI does).
function(vennadar_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                                             -Wnon-virtual-dtor -Wimplicit-fallthrough)
    if(VENNADAR_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
