# Compression: the gzip-member routines exported by the module and the engine steps.
target_sources(quorvel_container PRIVATE ${CMAKE_CURRENT_LIST_DIR}/compress.cpp)
target_link_libraries(quorvel_container PUBLIC ZLIB::ZLIB)

quorvel_test(compress_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/compress_test.cpp
  LIBS quorvel_container ZLIB::ZLIB)
