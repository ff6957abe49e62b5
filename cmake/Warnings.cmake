# Compiler warnings for every target of the project, in one place.
#
# sf_target_warnings(<target>)       the full list, used by libraries and programs
# sf_target_test_warnings(<target>)  a slightly relaxed twin for tests: GoogleTest's macros
#                                    trip -Wshadow and -Wpedantic in ways we cannot fix

option(SF_WERROR "Treat compiler warnings as errors" ON)

set(SF_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
set(SF_TEST_WARNINGS -Wall -Wextra -Wnon-virtual-dtor)

function(sf_target_warnings target)
    target_compile_options(${target} PRIVATE ${SF_WARNINGS})
    if(SF_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

function(sf_target_test_warnings target)
    target_compile_options(${target} PRIVATE ${SF_TEST_WARNINGS})
    if(SF_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
