target_sources(orrery_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/changes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/diff_cmd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/patch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_cmd.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/changes.h
  ${CMAKE_CURRENT_LIST_DIR}/diff_cmd.h
  ${CMAKE_CURRENT_LIST_DIR}/engine.h
  ${CMAKE_CURRENT_LIST_DIR}/patch.h
  ${CMAKE_CURRENT_LIST_DIR}/show_cmd.h)
