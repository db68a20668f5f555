# Cross-compiles for Windows with Debian's mingw-w64 (posix thread model, so the C++ standard
# library's threads and mutexes are there) and links everything statically, so the programs
# need only the DLLs that come with Windows. Included by mingw-w64-i686.cmake (32-bit) and
# mingw-w64-x86_64.cmake (64-bit), which set CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(VALDORA_MINGW_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VALDORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VALDORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VALDORA_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VALDORA_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${VALDORA_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "ranlib")

# Headers and libraries come from the cross root (and from a prefix we add, such as the
# folder our own Allegro build is installed into); programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VALDORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
