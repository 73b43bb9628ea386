# Container members: QVSetPlainText, QVAddFormItem, QVAddFile, QVGetPlainText,
# QVGetFormItem and QVGetFile.
target_sources(quorvel_control PRIVATE ${CMAKE_CURRENT_LIST_DIR}/members_container.cpp
  ${CMAKE_CURRENT_LIST_DIR}/received_plain_text.cpp)

quorvel_test(container_members_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/container_members_test.cpp
  LIBS quorvel_control)
