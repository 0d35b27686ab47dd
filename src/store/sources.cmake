target_sources(orrery_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/canonical_json.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ignore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/init.cpp
  ${CMAKE_CURRENT_LIST_DIR}/object.cpp
  ${CMAKE_CURRENT_LIST_DIR}/refs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tree_walk.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/canonical_json.h
  ${CMAKE_CURRENT_LIST_DIR}/codec.h
  ${CMAKE_CURRENT_LIST_DIR}/config.h
  ${CMAKE_CURRENT_LIST_DIR}/fs.h
  ${CMAKE_CURRENT_LIST_DIR}/ignore.h
  ${CMAKE_CURRENT_LIST_DIR}/index.h
  ${CMAKE_CURRENT_LIST_DIR}/init.h
  ${CMAKE_CURRENT_LIST_DIR}/object.h
  ${CMAKE_CURRENT_LIST_DIR}/refs.h
  ${CMAKE_CURRENT_LIST_DIR}/repo.h
  ${CMAKE_CURRENT_LIST_DIR}/revision.h
  ${CMAKE_CURRENT_LIST_DIR}/tree_walk.h)
