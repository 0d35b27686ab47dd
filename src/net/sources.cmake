target_sources(orrery_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/hub_url.cpp
  PUBLIC FILE_SET HEADERS FILES
  ${CMAKE_CURRENT_LIST_DIR}/hub_url.h)
