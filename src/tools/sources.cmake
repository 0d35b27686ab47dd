target_sources(orrery_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/describe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reflog.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/archive.h
  ${CMAKE_CURRENT_LIST_DIR}/archive_format.h
  ${CMAKE_CURRENT_LIST_DIR}/describe.h
  ${CMAKE_CURRENT_LIST_DIR}/reflog.h)
