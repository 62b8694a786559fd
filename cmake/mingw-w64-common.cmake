# Shared part of the MinGW-w64 toolchain files: posix threads, fully static
# programs (only system DLLs are imported), tests run through Wine.
set(CMAKE_C_COMPILER ${RIVERRA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RIVERRA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RIVERRA_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RIVERRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# CMake's compiler check links its test program with the compile flags alone;
# without these the i686 one imports libgcc's DLL.
set(CMAKE_CXX_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
