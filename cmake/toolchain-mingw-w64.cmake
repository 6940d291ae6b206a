# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads model), static runtime
# so that the .exe files run on a bare Windows or under Wine without extra DLLs.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SHEETPEEK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SHEETPEEK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SHEETPEEK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SHEETPEEK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${SHEETPEEK_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${SHEETPEEK_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${SHEETPEEK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine when CTest starts them; the wrapper picks wine64 and keeps
# Wine's own messages out of the test output.
get_filename_component(SHEETPEEK_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SHEETPEEK_WINE_RUN})
