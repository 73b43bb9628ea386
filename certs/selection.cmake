# Certificate selection: the candidate list, the chooser's logic, the selection
# routines and the engines' shared protocol.
target_sources(quorvel_certs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/info_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/candidate_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/selection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_certificate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chooser/temp_cert_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chooser/chooser_model.cpp)

# The selection tests run over a copy of a home that `quorvel demo-pki` fills
# once per test run.
set(_certs_demo_home ${CMAKE_CURRENT_BINARY_DIR}/demo-home)
add_test(NAME certs_demo_home
  COMMAND sh -c "rm -rf \"$1\" && QUORVEL_HOME=\"$1\" \"$2\" demo-pki >/dev/null"
          certs_demo_home ${_certs_demo_home} $<TARGET_FILE:quorvel>)
set_tests_properties(certs_demo_home PROPERTIES FIXTURES_SETUP certs_demo_home)

function(quorvel_demo_home_test name)
  cmake_parse_arguments(DT "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${DT_SOURCES})
  target_link_libraries(${name} PRIVATE ${DT_LIBS} nlohmann_json::nlohmann_json
    GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE QUORVEL_DEMO_HOME="${_certs_demo_home}")
  add_dependencies(${name} quorvel)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "QUORVEL_UI=none" FIXTURES_REQUIRED certs_demo_home)
endfunction()

quorvel_demo_home_test(selection_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/selection_test.cpp
  LIBS quorvel_certs)

quorvel_demo_home_test(chooser_model_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/chooser/chooser_model_test.cpp
  LIBS quorvel_certs)

# The Qt chooser, drawn on the offscreen platform; the picture is written to
# artifacts/chooser.png in the build tree, beside the browser tests' screenshots.
if(TARGET quorvel_platform_qt)
  quorvel_test(chooser_qt_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/chooser/chooser_qt_test.cpp
    LIBS quorvel_certs quorvel_platform_qt)
  target_compile_definitions(chooser_qt_tests PRIVATE
    QUORVEL_RENDER_DIR="${CMAKE_BINARY_DIR}/artifacts")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/artifacts)
endif()
