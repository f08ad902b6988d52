# What both MinGW-w64 cross builds share. The including toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and BREVALT_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix-thread compilers: GoogleTest needs their std::thread.
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
