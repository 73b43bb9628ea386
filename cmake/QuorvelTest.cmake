# quorvel_test(NAME SOURCES... LIBS libs... [FIXTURES fixtures...])
# One test executable per module; every GoogleTest case becomes a CTest test.
# Tests run with dialogs cancelled and in a private platform home (see
# tests/test_main.cpp), never the user's.
function(quorvel_test name)
  cmake_parse_arguments(QT "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
  set(_fixtures "")
  if(QT_FIXTURES)
    set(_fixtures FIXTURES_REQUIRED "${QT_FIXTURES}")
  endif()
  add_executable(${name} ${QT_SOURCES})
  target_link_libraries(${name} PRIVATE ${QT_LIBS} quorvel_test_main GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "QUORVEL_UI=none" ${_fixtures})
endfunction()
