target_sources(orrery_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/internal/pack_set.cpp
  ${CMAKE_CURRENT_LIST_DIR}/internal/raw_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/internal/record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pack_cmd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pack_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pack_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/pack_cmd.h
  ${CMAKE_CURRENT_LIST_DIR}/pack_reader.h
  ${CMAKE_CURRENT_LIST_DIR}/pack_writer.h
  ${CMAKE_CURRENT_LIST_DIR}/transfer.h)
