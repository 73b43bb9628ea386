# UI services: the file dialogs and message boxes, with the `script` and `none`
# implementations chosen by QUORVEL_UI.
target_sources(quorvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ui_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_none.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_script.cpp)
target_link_libraries(quorvel_platform PUBLIC nlohmann_json::nlohmann_json)

quorvel_test(ui_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_test.cpp
  LIBS quorvel_platform)
