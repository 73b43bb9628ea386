# `quorvel token`: the PKCS#11 modules of the platform home.
add_library(quorvel_token_command STATIC ${CMAKE_CURRENT_LIST_DIR}/token_command.cpp)
target_include_directories(quorvel_token_command PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quorvel_token_command PUBLIC quorvel_platform CLI11::CLI11
  nlohmann_json::nlohmann_json)
if(TARGET quorvel)
  target_link_libraries(quorvel PRIVATE quorvel_token_command)
endif()

# Through the host with SoftHSM2 tokens, when SoftHSM2 and OpenSC's
# pkcs11-tool are installed (the setup script installs both).
find_file(QUORVEL_SOFTHSM2_MODULE libsofthsm2.so
  PATHS /usr/lib/softhsm /usr/lib/x86_64-linux-gnu/softhsm /usr/lib64/softhsm NO_DEFAULT_PATH)
find_program(QUORVEL_PKCS11_TOOL pkcs11-tool)
find_program(QUORVEL_SOFTHSM2_UTIL softhsm2-util)
if(QUORVEL_SOFTHSM2_MODULE AND QUORVEL_PKCS11_TOOL AND QUORVEL_SOFTHSM2_UTIL)
  quorvel_test(host_token_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_token_test.cpp
    LIBS quorvel_platform nlohmann_json::nlohmann_json
    FIXTURES certs_demo_home)
  target_include_directories(host_token_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(host_token_tests PRIVATE
    QUORVEL_PROGRAM="$<TARGET_FILE:quorvel>"
    QUORVEL_DEMO_HOME="${CMAKE_BINARY_DIR}/certs/demo-home"
    QUORVEL_SOFTHSM2_MODULE="${QUORVEL_SOFTHSM2_MODULE}")
  add_dependencies(host_token_tests quorvel)
else()
  message(WARNING "SoftHSM2 or pkcs11-tool missing: the token tests are not built")
endif()
