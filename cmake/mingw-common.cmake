# Shared part of the Windows cross toolchains: Debian's mingw-w64 for the
# triple set by the including file, linked statically so that each .exe
# runs alone, and run under Wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
# GoogleTest needs std::mutex, which only the posix thread model has; naming
# the variant keeps the choice from depending on the machine's
# alternatives. Static linking takes winpthread in as well.
set(CMAKE_C_COMPILER ${ZDKGEN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZDKGEN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZDKGEN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZDKGEN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# ctest starts every test executable through this; the end-to-end harness
# gets it as its launcher.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run ${ZDKGEN_WINEARCH})
