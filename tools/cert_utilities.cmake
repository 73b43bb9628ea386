# The certificate queries (extensions, existence, subjects by issuer) through
# `quorvel host --stdio` over a copy of the demo PKI home.
quorvel_test(host_cert_utilities_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_cert_utilities_test.cpp
  LIBS quorvel_platform nlohmann_json::nlohmann_json
  FIXTURES certs_demo_home)
target_include_directories(host_cert_utilities_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(host_cert_utilities_tests PRIVATE
  QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>"
  QUORVEL_DEMO_HOME="${CMAKE_BINARY_DIR}/certs/demo-home")
add_dependencies(host_cert_utilities_tests quorvel)
