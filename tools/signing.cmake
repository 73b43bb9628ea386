# Signing and verification through `quorvel host --stdio` over a copy of the
# demo PKI home that the certs tests' fixture fills once per run.
quorvel_test(host_signing_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_signing_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_hand_built_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_files_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_key_export_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_kill_test.cpp
  LIBS quorvel_platform nlohmann_json::nlohmann_json SQLite::SQLite3
  FIXTURES certs_demo_home)
target_include_directories(host_signing_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(host_signing_tests PRIVATE
  QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>"
  QUORVEL_DEMO_HOME="${CMAKE_BINARY_DIR}/certs/demo-home")
add_dependencies(host_signing_tests quorvel)
