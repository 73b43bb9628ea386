# The browser bridge as clients reach it: `quorvel host --listen` in a process
# of its own, driven by a small WebSocket client.
quorvel_test(host_bridge_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_bridge_test.cpp
  LIBS quorvel_platform nlohmann_json::nlohmann_json)
target_include_directories(host_bridge_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(host_bridge_tests PRIVATE QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>")
add_dependencies(host_bridge_tests quorvel)
