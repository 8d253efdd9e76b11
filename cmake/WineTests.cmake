# Windows builds run their tests under Wine (scripts/wine-env decides which
# Wine runs which build). Included before any test program is defined.
#
# What this host can run is probed at every build (the wine_host step writes
# wine-host in the build folder), and the test wine_host checks it before any
# other test of the build: where the build cannot run here, that one test says
# why on one line and the others are not run, rather than each failing bare.
if(NOT QUORVEL_WINE_ARCH)
  message(FATAL_ERROR "A Windows build needs QUORVEL_WINE_ARCH (win32 or win64) from its toolchain file")
endif()

# A win32 build may run emulated, where scripts/wine-env stretches the tests'
# own time bounds by the factor in scripts/time-scale; ctest's limits on those
# tests stretch alike.
set(QUORVEL_WINE_TIME_SCALE 1)
if(QUORVEL_WINE_ARCH STREQUAL "win32")
  set(time_scale_file ${PROJECT_SOURCE_DIR}/scripts/time-scale)
  file(STRINGS ${time_scale_file} QUORVEL_WINE_TIME_SCALE REGEX "^[0-9]+$")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${time_scale_file})
endif()

set(QUORVEL_WINE_HOST ${PROJECT_SOURCE_DIR}/scripts/wine-host)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run ${QUORVEL_WINE_ARCH} ${CMAKE_BINARY_DIR})

add_custom_target(wine_host ALL
  COMMAND ${QUORVEL_WINE_HOST} probe ${QUORVEL_WINE_ARCH} ${CMAKE_BINARY_DIR}
  COMMENT "What Wine can run here" VERBATIM)

add_test(NAME wine_host COMMAND ${QUORVEL_WINE_HOST} check ${QUORVEL_WINE_ARCH} ${CMAKE_BINARY_DIR})
set_tests_properties(wine_host PROPERTIES FIXTURES_SETUP wine_host TIMEOUT 180)

# Every test that starts a Windows program calls this for itself (test
# properties can only be set in the folder that defines the test).
function(quorvel_needs_wine test)
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine_host)
endfunction()
