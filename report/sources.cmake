# The report's page sources, shared by the native and the Windows build.
set(ZEB_REPORT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/charts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compare_html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/card.cpp
  ${CMAKE_CURRENT_LIST_DIR}/summary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/grid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fleet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli.cpp)
