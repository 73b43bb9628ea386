# quorvel-native-host: what the browsers' host manifests name, the same code
# as `quorvel host --native-messaging`, installed beside `quorvel`.
add_executable(quorvel-native-host ${CMAKE_CURRENT_LIST_DIR}/native_host_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/native_host_command.cpp ${CMAKE_CURRENT_LIST_DIR}/native_host_command.h
  ${CMAKE_CURRENT_LIST_DIR}/event_loop.cpp)
target_include_directories(quorvel-native-host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel-native-host PRIVATE quorvel_native_host quorvel_platform_qt)
add_dependencies(quorvel quorvel-native-host)

# The native host as a browser drives it: its framing, its callers, its sessions.
quorvel_test(host_native_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_native_test.cpp
  LIBS quorvel_platform nlohmann_json::nlohmann_json)
target_include_directories(host_native_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(host_native_tests PRIVATE QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>")
add_dependencies(host_native_tests quorvel)
