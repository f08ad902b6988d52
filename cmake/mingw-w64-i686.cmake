# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix threads).
# Static, so it runs with the system DLLs alone. There is no emulator: 32-bit
# PE programs cannot run under the Wine on these machines, so this build is
# made and inspected only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(BREVALT_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${BREVALT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BREVALT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVALT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BREVALT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each function in its own section, so the linker drops what nothing calls:
# most of a static libstdc++ is never used by a program this small.
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
