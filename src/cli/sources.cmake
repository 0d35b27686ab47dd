target_sources(orrery_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/console.cpp
  ${CMAKE_CURRENT_LIST_DIR}/help.cpp
  ${CMAKE_CURRENT_LIST_DIR}/internal/help_topics.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/console.h
  ${CMAKE_CURRENT_LIST_DIR}/help.h)
