# The one version number lives in VERSION at the top of the tree. It reaches
# the programs through a generated header (version.h: uninstlog --version and
# the version resources) and the shared resource script cmake/version.rc.
file(READ ${CMAKE_SOURCE_DIR}/VERSION PRODUCT_VERSION)
string(STRIP "${PRODUCT_VERSION}" PRODUCT_VERSION)
if(NOT PRODUCT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold one version MAJOR.MINOR.PATCH, not \"${PRODUCT_VERSION}\"")
endif()
# A version resource stores four 16-bit numbers; the fourth stays 0.
foreach(part 1 2 3)
  if(CMAKE_MATCH_${part} GREATER 65535)
    message(FATAL_ERROR "VERSION: ${CMAKE_MATCH_${part}} does not fit a version resource (at most 65535)")
  endif()
endforeach()
set(PRODUCT_VERSION_NUMBERS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/VERSION)

# Generated resource inputs (version.h, compacted manifests) are written at
# configure time into one folder; the .rc files find them, and cmake/version.rc,
# through RESOURCE_INCLUDE_DIRS.
set(GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(RESOURCE_INCLUDE_DIRS ${GENERATED_DIR} ${CMAKE_SOURCE_DIR}/cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${GENERATED_DIR}/version.h @ONLY)

# Gives a shipped file its version resource: its .rc file defines
# VERSION_DESCRIPTION, VERSION_FILE_NAME and VERSION_FILE_TYPE and then
# includes version.rc. With MANIFEST NAME.manifest, the manifest is compacted
# (comments and the whitespace between tags dropped) into
# NAME.embedded.manifest, which the .rc file embeds.
function(add_version_resource target rc_file)
  cmake_parse_arguments(ARG "" "MANIFEST" "" ${ARGN})
  target_include_directories(${target} PRIVATE ${RESOURCE_INCLUDE_DIRS})
  set(depends ${GENERATED_DIR}/version.h ${CMAKE_SOURCE_DIR}/cmake/version.rc)
  if(ARG_MANIFEST)
    get_filename_component(name ${ARG_MANIFEST} NAME_WE)
    set(embedded ${GENERATED_DIR}/${name}.embedded.manifest)
    execute_process(
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/compact_manifest.py ${ARG_MANIFEST} ${embedded}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot compact ${ARG_MANIFEST}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
      ${ARG_MANIFEST} ${CMAKE_SOURCE_DIR}/tools/compact_manifest.py)
    list(APPEND depends ${embedded})
  endif()
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${depends})
endfunction()
