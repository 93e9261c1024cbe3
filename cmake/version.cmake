# The one version of every program is the root project's. The native builds
# (sim/, report/) are projects of their own and read it from there.
if(DEFINED zebdiag_VERSION)
  set(ZEB_VERSION ${zebdiag_VERSION})
else()
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt zeb_project_line REGEX "^project\\(zebdiag VERSION ")
  # A new version there configures this build again, as a change of its own files would.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt)
  string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" ZEB_VERSION "${zeb_project_line}")
endif()
if(NOT ZEB_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no version in the root CMakeLists.txt (project(zebdiag VERSION x.y.z ...))")
endif()

set(ZEB_VERSION_RC_IN ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)
set(ZEB_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/program.manifest)

# ZEB_VERSION as a string literal, for --version.
function(zeb_version target)
  target_compile_definitions(${target} PRIVATE ZEB_VERSION="${ZEB_VERSION}")
endfunction()

# A Windows program's version resource (Explorer: Properties, Details), its
# application manifest, and ZEB_VERSION for its --version.
function(zeb_version_resource target description)
  zeb_version(${target})
  string(REPLACE "." "," ZEB_VERSION_COMMAS "${ZEB_VERSION}")
  set(ZEB_TARGET ${target})
  set(ZEB_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${ZEB_VERSION_RC_IN} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ZEB_MANIFEST})
endfunction()
