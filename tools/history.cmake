# `quorvel history`: the signing history of the platform home.
add_library(quorvel_history_command STATIC ${CMAKE_CURRENT_LIST_DIR}/history_command.cpp)
target_include_directories(quorvel_history_command PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel_history_command PUBLIC quorvel_platform CLI11::CLI11
  nlohmann_json::nlohmann_json)
if(TARGET quorvel)
  target_link_libraries(quorvel PRIVATE quorvel_history_command)
endif()
