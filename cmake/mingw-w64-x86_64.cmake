# Cross build for 64-bit Windows with mingw-w64 (posix thread model), e.g.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBAND_LIBRARY_ONLY=ON
# (scripts/build-dll) or, with the Qt for Windows, the whole station
# (scripts/build-windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BAND_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BAND_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BAND_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BAND_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BAND_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages also from outside the compiler's root: the Qt for Windows lives
# beside the repository (CMAKE_PREFIX_PATH).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
