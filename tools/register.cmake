# `quorvel register` and `quorvel unregister`: the module's own exports, called
# after loading it.
if(TARGET quorvel)
  target_sources(quorvel PRIVATE ${CMAKE_CURRENT_LIST_DIR}/register_command.cpp)
  target_link_libraries(quorvel PRIVATE ${CMAKE_DL_LIBS})
  target_compile_definitions(quorvel PRIVATE
    QUORVEL_BUILD_MODULE_PATH="$<TARGET_FILE:VemlorQuorvel20>"
    QUORVEL_INSTALL_LIBDIR="${CMAKE_INSTALL_LIBDIR}")
  add_dependencies(quorvel VemlorQuorvel20)
endif()

quorvel_test(register_command_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/register_command_test.cpp
  LIBS nlohmann_json::nlohmann_json)
target_include_directories(register_command_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(register_command_tests PRIVATE
  QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>"
  QUORVEL_MODULE_PATH="$<TARGET_FILE:VemlorQuorvel20>")
add_dependencies(register_command_tests quorvel)

# `quorvel typelib`: the type information from the member table.
if(TARGET quorvel)
  target_sources(quorvel PRIVATE ${CMAKE_CURRENT_LIST_DIR}/typelib_command.cpp)
endif()
