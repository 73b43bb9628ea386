# `quorvel reg`: the registry subcommand, kept in a library of its own so that
# its tests can run it in-process and as a separate program.
add_library(quorvel_reg_command STATIC ${CMAKE_CURRENT_LIST_DIR}/reg_command.cpp)
target_include_directories(quorvel_reg_command PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel_reg_command PUBLIC quorvel_platform CLI11::CLI11)
if(TARGET quorvel)
  target_link_libraries(quorvel PRIVATE quorvel_reg_command)
endif()

add_executable(reg_command_driver ${CMAKE_CURRENT_LIST_DIR}/reg_command_driver.cpp)
target_link_libraries(reg_command_driver PRIVATE quorvel_reg_command)

quorvel_test(reg_command_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reg_command_test.cpp
  LIBS quorvel_reg_command)
target_compile_definitions(reg_command_tests PRIVATE
  QUORVEL_REG_DRIVER="$<TARGET_FILE:reg_command_driver>")
add_dependencies(reg_command_tests reg_command_driver)
