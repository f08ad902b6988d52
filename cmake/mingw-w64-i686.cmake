# Cross build for 32-bit Windows with Debian's MinGW-w64. There is no
# emulator: 32-bit PE programs cannot run under the Wine on these machines,
# so this build is made and inspected only.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BREVALT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
