# The report's sources, shared by the native and the Windows build.
set(ZEB_REPORT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cycles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/charts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli.cpp)
