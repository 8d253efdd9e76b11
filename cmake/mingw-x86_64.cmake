# Cross build for 64-bit Windows with mingw-w64: the same sources as the
# 32-bit build, shipped beside it.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUORVEL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# Test programs run under 64-bit Wine; CMakeLists.txt makes scripts/wine-run their emulator.
set(QUORVEL_WINE_ARCH win64)
