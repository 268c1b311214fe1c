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
# Nor does each object carry the compiler's name (20 bytes each in the
# program). Each function gets a section of its own, so that the program's
# link leaves out what it never calls (what only the tests and the bench
# use). The 32-bit program also goes without unwind tables, a tenth of
# its size: it throws nothing, and 32-bit Windows does not read them to walk
# a stack.
function(hexbin_lean target)
    if(NOT MSVC)
        target_compile_options(${target} PRIVATE -fno-rtti -fno-threadsafe-statics -fno-ident -ffunction-sections ${ARGN})
        if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
            target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
        endif()
    endif()
endfunction()
