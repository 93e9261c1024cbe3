# The data log reader and its statistics, shared by zebreport, zebsim and
# zebcheck in the native and the Windows build.
set(ZEB_LOGREAD_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cycles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
