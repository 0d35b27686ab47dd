orrery_unit_tests(pack
  pack_reader_test.cpp
  pack_set_test.cpp
  pack_writer_test.cpp
  raw_cache_test.cpp
  record_test.cpp
  transfer_test.cpp)
