# `quorvel store` and `quorvel demo-pki`: the certificate stores and key
# containers of the platform home, in a library of their own so that tests can
# run the commands in-process and as separate programs.
add_library(quorvel_store_command STATIC
  ${CMAKE_CURRENT_LIST_DIR}/store_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_import.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_export.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_crl_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/private_file.cpp)
target_include_directories(quorvel_store_command PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel_store_command PUBLIC quorvel_certs quorvel_platform CLI11::CLI11
  nlohmann_json::nlohmann_json)
if(TARGET quorvel)
  target_link_libraries(quorvel PRIVATE quorvel_store_command)
endif()

add_executable(store_command_driver ${CMAKE_CURRENT_LIST_DIR}/store_command_driver.cpp)
target_link_libraries(store_command_driver PRIVATE quorvel_store_command)

quorvel_test(store_command_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/store_command_test.cpp
  LIBS quorvel_store_command)
target_compile_definitions(store_command_tests PRIVATE
  QUORVEL_STORE_DRIVER="$<TARGET_FILE:store_command_driver>")
add_dependencies(store_command_tests store_command_driver)

add_library(quorvel_demo_pki_command STATIC ${CMAKE_CURRENT_LIST_DIR}/demo_pki_command.cpp)
target_include_directories(quorvel_demo_pki_command PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel_demo_pki_command PUBLIC quorvel_certs quorvel_platform CLI11::CLI11
  nlohmann_json::nlohmann_json)
if(TARGET quorvel)
  target_link_libraries(quorvel PRIVATE quorvel_demo_pki_command)
endif()

quorvel_test(demo_pki_command_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/demo_pki_command_test.cpp
  LIBS quorvel_demo_pki_command quorvel_store_command)
