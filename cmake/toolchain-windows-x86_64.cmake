# 64-bit Windows: the same Windows semantics (long is 32 bits there too) on
# machines that can run 64-bit Wine but not its 32-bit half.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZDKGEN_MINGW_TRIPLE x86_64-w64-mingw32)
set(ZDKGEN_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
