# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, which
# GoogleTest needs). The program links statically, so it runs with the system
# DLLs alone; tests run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BREVALT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BREVALT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BREVALT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVALT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BREVALT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLL to ship beside the executable.
# Each function in its own section, so the linker drops what nothing calls:
# most of a static libstdc++ is never used by a program this small.
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")

# The `wine` command on PATH starts the 32-bit loader; the 64-bit one lives here.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
