# Cross build for 64-bit Windows with Debian's MinGW-w64. The program links
# statically, so it runs with the system DLLs alone; tests run under Wine's
# 64-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BREVALT_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# The `wine` command on PATH starts the 32-bit loader; the 64-bit one lives here.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
