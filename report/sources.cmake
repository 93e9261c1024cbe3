# The report's page sources and its command line, shared by the native and
# the Windows build; the grid archive they read is archive/.
set(ZEB_REPORT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/charts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compare_html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_html.cpp
  ${CMAKE_CURRENT_LIST_DIR}/identity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fleet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jobs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/options.cpp)
