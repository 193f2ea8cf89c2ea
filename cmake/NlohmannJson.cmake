# nlohmann_json: the header-only JSON library (Debian: nlohmann-json3-dev,
# scripts/install-deps.sh), as the INTERFACE target chanwiz::nlohmann_json.
#
# A MinGW cross build searches only its own root (/usr/<triple>), and must
# not see the host's /usr/include as a whole (glibc's headers would shadow
# its own): the nlohmann folder alone is linked into this build tree and that
# folder's parent is what the target puts on the include path.
# Defines NLOHMANN_JSON_FOUND; the target exists only when it is true.
if(TARGET chanwiz::nlohmann_json)
  return()
endif()

find_path(NLOHMANN_JSON_INCLUDE nlohmann/json.hpp)
if(NOT NLOHMANN_JSON_INCLUDE AND CMAKE_CROSSCOMPILING)
  find_path(NLOHMANN_JSON_INCLUDE nlohmann/json.hpp
    PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
endif()

if(NLOHMANN_JSON_INCLUDE)
  set(NLOHMANN_JSON_FOUND TRUE)
  set(_nlohmann_only "${CMAKE_BINARY_DIR}/nlohmann-json-include")
  file(MAKE_DIRECTORY "${_nlohmann_only}")
  file(CREATE_LINK "${NLOHMANN_JSON_INCLUDE}/nlohmann" "${_nlohmann_only}/nlohmann" SYMBOLIC)
  add_library(chanwiz_nlohmann_json INTERFACE)
  target_include_directories(chanwiz_nlohmann_json SYSTEM INTERFACE "${_nlohmann_only}")
  add_library(chanwiz::nlohmann_json ALIAS chanwiz_nlohmann_json)
  unset(_nlohmann_only)
else()
  set(NLOHMANN_JSON_FOUND FALSE)
endif()
