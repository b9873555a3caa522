# GoogleTest from the system: the prebuilt libraries when they fit the
# toolchain, else Debian's sources under /usr/src/googletest.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest)
endif()
if(NOT TARGET GTest::gtest_main)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest
                   EXCLUDE_FROM_ALL SYSTEM)
  # Not our code: the project's warnings, made errors, are not for it.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
  # Newer sources declare the namespaced name themselves.
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
