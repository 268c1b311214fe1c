# Natively, Debian's prebuilt GoogleTest; for Windows, GoogleTest built from
# the sources Debian's googletest package installs.
if(WIN32)
    set(HEXBIN_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
    if(NOT EXISTS ${HEXBIN_GOOGLETEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${HEXBIN_GOOGLETEST_SOURCE}: run make setup")
    endif()
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${HEXBIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
    find_package(GTest REQUIRED)
endif()

# A test executable: one ctest entry, run under Wine for the Windows builds.
function(hexbin_add_test name)
    add_executable(${name} ${ARGN})
    hexbin_warnings(${name})
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
endfunction()
