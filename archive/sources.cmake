# The grid archive's sources (no pages), shared by the native and the Windows
# build.
set(ZEB_ARCHIVE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/card.cpp
  ${CMAKE_CURRENT_LIST_DIR}/summary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/visits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/forecast.cpp
  ${CMAKE_CURRENT_LIST_DIR}/soiling.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plan.cpp)
