# `quorvel token`: the PKCS#11 modules of the platform home.
add_library(quorvel_token_command STATIC ${CMAKE_CURRENT_LIST_DIR}/token_command.cpp)
target_include_directories(quorvel_token_command PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel_token_command PUBLIC quorvel_platform CLI11::CLI11
  nlohmann_json::nlohmann_json)
if(TARGET quorvel)
  target_link_libraries(quorvel PRIVATE quorvel_token_command)
endif()
