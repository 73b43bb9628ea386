# The container members driven through `quorvel host --stdio` and `quorvel reg`,
# as a client and an administrator would, each call in a process of its own.
quorvel_test(host_container_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_container_test.cpp
  LIBS nlohmann_json::nlohmann_json)
target_compile_definitions(host_container_tests PRIVATE QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>")
add_dependencies(host_container_tests quorvel)
target_include_directories(host_container_tests PRIVATE ${PROJECT_SOURCE_DIR})
