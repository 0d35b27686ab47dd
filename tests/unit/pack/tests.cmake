orrery_unit_tests(pack
  pack_writer_test.cpp
  transfer_test.cpp)
