# quorvel_test(NAME SOURCES... LIBS libs... [FIXTURES fixtures...])
# One test executable per module; every GoogleTest case becomes a CTest test.
# Tests run with dialogs cancelled and, unless they make a home of their own, in
# a platform home inside the build tree, never the user's.
function(quorvel_test name)
  cmake_parse_arguments(QT "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
  set(_fixtures "")
  if(QT_FIXTURES)
    set(_fixtures FIXTURES_REQUIRED "${QT_FIXTURES}")
  endif()
  add_executable(${name} ${QT_SOURCES})
  target_link_libraries(${name} PRIVATE ${QT_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "QUORVEL_UI=none;QUORVEL_HOME=${CMAKE_BINARY_DIR}/test-home"
    ${_fixtures})
endfunction()
