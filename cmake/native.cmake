# Native side: portable-logic tests, the fuzz target, the terminal simulator,
# the Wine harness and the two Windows sub-builds.
include(ExternalProject)
enable_testing()

set(GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Third-party code is not held to our warning rules.
set_target_properties(gtest gtest_main gmock gmock_main PROPERTIES COMPILE_WARNING_AS_ERROR OFF)

# The Windows builds of this same tree. BUILD_ALWAYS lets the sub-build's own
# dependency tracking decide what to rebuild.
set(WIN64_BUILD ${CMAKE_BINARY_DIR}/win64)
set(WIN32_BUILD ${CMAKE_BINARY_DIR}/win32)
foreach(arch x86_64 i686)
  if(arch STREQUAL x86_64)
    set(dir ${WIN64_BUILD})
    set(name win64)
  else()
    set(dir ${WIN32_BUILD})
    set(name win32)
  endif()
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
endforeach()

set(WINE64 /usr/lib/wine/wine64)

# The program a site gets is the 32-bit release: the Wine-side tests run it
# wherever this machine can run 32-bit programs (Wine's 32-bit side, and a
# kernel that runs 32-bit code: some have IA-32 emulation switched off).
# There the release build takes the Win32 tests and every end-to-end test,
# and the x86_64 build its Win32 tests and the end-to-end tests where the
# pointer size matters. Elsewhere the x86_64 build takes every layer in its
# place, and the release's own entries report themselves skipped.
# (wine64 starts a 32-bit program through Wine's 32-bit loader by itself.)
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE wine32_status OUTPUT_QUIET ERROR_QUIET)
if(wine32_status EQUAL 0)
  set(RELEASE_RUNS_HERE ON)
  set(E2E_BUILD ${WIN32_BUILD})
else()
  set(RELEASE_RUNS_HERE OFF)
  set(E2E_BUILD ${WIN64_BUILD})
  message(STATUS "This machine cannot run 32-bit programs: the tests run the x86_64 build in the release's place")
endif()
set(VARNOLT_EXE ${E2E_BUILD}/Varnolt.exe)
# A test entry that stands for a release layer this machine cannot run.
set(RELEASE_SKIPPED_COMMAND sh -c "echo 'this machine cannot run 32-bit programs under Wine (see README)' && exit 77")

# A Windows test program that crashes under Wine does not always end with a
# failing status: its CTest entries pass only on GoogleTest's own summary.
set(GTEST_RUN_PASSED "\\[  PASSED  \\] [0-9]+ test")
set(GTEST_RUN_FAILED "\\[  FAILED  \\]")

# What the release imports at start (its stripped program, as it ships).
add_test(NAME release.imports COMMAND ${CMAKE_SOURCE_DIR}/tools/check_release_imports.sh ${WIN32_BUILD})

# The tree's shape: folders include one way and no files in a circle; the
# hacking guide names only what exists.
add_test(NAME structure.layers COMMAND ${CMAKE_SOURCE_DIR}/tools/check_layers.sh ${CMAKE_SOURCE_DIR})
add_test(NAME structure.guide COMMAND ${CMAKE_SOURCE_DIR}/tools/check_guide.sh ${CMAKE_SOURCE_DIR})

add_subdirectory(tests/native)
add_subdirectory(tests/fuzz)
add_subdirectory(tools/termsim)
add_subdirectory(tools/harness)
add_subdirectory(tests/e2e)
add_subdirectory(tools/bench)
add_subdirectory(tools/soak)
add_subdirectory(tools/tapi_standin)
