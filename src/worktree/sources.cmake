target_sources(orrery_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/branch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/checkout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/restore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rm_mv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tree_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/working_stat.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/branch.h
  ${CMAKE_CURRENT_LIST_DIR}/checkout.h
  ${CMAKE_CURRENT_LIST_DIR}/log.h
  ${CMAKE_CURRENT_LIST_DIR}/reset.h
  ${CMAKE_CURRENT_LIST_DIR}/restore.h
  ${CMAKE_CURRENT_LIST_DIR}/rm_mv.h
  ${CMAKE_CURRENT_LIST_DIR}/tag.h
  ${CMAKE_CURRENT_LIST_DIR}/tree_writer.h
  ${CMAKE_CURRENT_LIST_DIR}/working_stat.h)
