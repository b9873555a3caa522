# Packages of the installed tree: a .deb on Linux, a .zip from the Windows
# build. `cpack` in the build folder makes the package.
set(ZDKGEN_MAINTAINER "zdkgen developers <zdkgen@example.org>" CACHE STRING
    "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME zdkgen)
set(CPACK_PACKAGE_VENDOR "zdkgen developers")
set(CPACK_PACKAGE_CONTACT "${ZDKGEN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Boot image descriptor generator and inspector")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZDKGEN_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  if(CMAKE_CROSSCOMPILING)
    # dpkg on the build machine knows neither the target's architecture nor
    # its libraries.
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(powerpc|ppc)$")
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE powerpc)
    endif()
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
