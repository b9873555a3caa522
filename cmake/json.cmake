# nlohmann-json, header-only. A native build takes the system package's CMake
# files; a cross build copies just the header folder from the build machine,
# since pointing the cross compiler at the build machine's /usr/include would
# mix that system's C headers into the target's.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3.2 CONFIG QUIET)
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(ZDKGEN_JSON_ROOT nlohmann/json.hpp PATHS /usr/include
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(COPY ${ZDKGEN_JSON_ROOT}/nlohmann
       DESTINATION ${CMAKE_BINARY_DIR}/json-include)
  add_library(zdkgen_json INTERFACE)
  target_include_directories(zdkgen_json SYSTEM INTERFACE
                             ${CMAKE_BINARY_DIR}/json-include)
  add_library(nlohmann_json::nlohmann_json ALIAS zdkgen_json)
endif()
