# 32-bit Windows, the tool's home: i686 mingw-w64, a 32-bit Wine prefix.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZDKGEN_MINGW_TRIPLE i686-w64-mingw32)
set(ZDKGEN_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
