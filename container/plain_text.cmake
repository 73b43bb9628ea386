# The formatted plain text: form items and files packed into one byte string.
target_sources(quorvel_container PRIVATE ${CMAKE_CURRENT_LIST_DIR}/plain_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plain_text_index.cpp)

quorvel_test(plain_text_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/plain_text_test.cpp ${CMAKE_CURRENT_LIST_DIR}/plain_text_index_test.cpp
  LIBS quorvel_container)
