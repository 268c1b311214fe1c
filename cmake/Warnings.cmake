# Warnings are errors in every build.
function(hexbin_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
    endif()
endfunction()

# Code that goes into the program uses no RTTI and no thread-safe statics
# (there is one thread), and the program's own code no exceptions, so the
# program pulls in neither the C++ exception runtime nor the toolchain's
# threading runtime.
function(hexbin_lean target)
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -fno-rtti -fno-threadsafe-statics ${ARGN})
    endif()
endfunction()
