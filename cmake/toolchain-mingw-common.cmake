# The -posix compilers: the win32 thread model lacks std::mutex and GoogleTest
# needs it.
set(CMAKE_C_COMPILER ${TOVRA_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVRA_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVRA_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOVRA_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static: the programs may import system DLLs only (no libstdc++, libgcc or
# winpthread DLLs beside them).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
