# Cross build for 32-bit Windows with mingw-w64: the primary program.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUORVEL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# Test programs run under 32-bit Wine; CMakeLists.txt makes scripts/wine-run their emulator.
set(QUORVEL_WINE_ARCH win32)
