# The platform home: its directory, the SQLite database in it and the registry
# kept in that database.
target_sources(quorvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/home.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite.cpp
  ${CMAKE_CURRENT_LIST_DIR}/migrations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/database.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry.cpp)
target_link_libraries(quorvel_platform PUBLIC SQLite::SQLite3 Threads::Threads)

quorvel_test(registry_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/home_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/database_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sqlite_test.cpp
  LIBS quorvel_platform)
