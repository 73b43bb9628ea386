# quorvel-native-host: what the browsers' host manifests name, the same code
# as `quorvel host --native-messaging`, installed beside `quorvel`.
add_executable(quorvel-native-host ${CMAKE_CURRENT_LIST_DIR}/native_host_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/native_host_command.cpp ${CMAKE_CURRENT_LIST_DIR}/event_loop.cpp)
target_include_directories(quorvel-native-host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel-native-host PRIVATE quorvel_native_host quorvel_platform_qt)
add_dependencies(quorvel quorvel-native-host)
