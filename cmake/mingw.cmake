# What both Windows cross builds share; the toolchain file of each sets
# QUORVEL_MINGW_TRIPLET and the processor, then includes this.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers carry std::thread and std::mutex (the win32 thread
# model has neither).
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libstdc++, libgcc or winpthreads DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
