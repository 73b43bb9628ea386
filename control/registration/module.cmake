# The module: libVemlorQuorvel20.so, the shared library that hosts and servers
# load. Only the symbols listed in module_exports.map are visible; everything
# pulled in from the layers' static libraries stays internal to the module.
# Its public C header is written from the member table at build time.
add_executable(quorvel_c_header ${CMAKE_CURRENT_LIST_DIR}/c_header_tool.cpp)
target_link_libraries(quorvel_c_header PRIVATE quorvel_registration)
set(QUORVEL_PUBLIC_INCLUDE_DIR ${CMAKE_BINARY_DIR}/include CACHE INTERNAL "")
set(_quorvel_header ${QUORVEL_PUBLIC_INCLUDE_DIR}/quorvel/quorvel.h)
add_custom_command(OUTPUT ${_quorvel_header}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_PUBLIC_INCLUDE_DIR}/quorvel
  COMMAND quorvel_c_header ${_quorvel_header}
  DEPENDS quorvel_c_header
  COMMENT "Writing include/quorvel/quorvel.h from the member table")
add_custom_target(quorvel_public_header DEPENDS ${_quorvel_header})

# The Windows build compiles the interface definition committed in windows/;
# this test fails when the member table has changed since it was written
# (write it again with `quorvel_idl windows/VemlorQuorvel20.idl`).
add_executable(quorvel_idl ${CMAKE_CURRENT_LIST_DIR}/interface_definition_tool.cpp)
target_link_libraries(quorvel_idl PRIVATE quorvel_registration)
add_test(NAME windows_interface_definition_current
  COMMAND sh -c "out=$(mktemp) && \"$1\" \"$out\" && cmp -s \"$out\" \"$2\"; s=$?; rm -f \"$out\"; exit $s"
          check $<TARGET_FILE:quorvel_idl> ${PROJECT_SOURCE_DIR}/windows/VemlorQuorvel20.idl)

add_library(VemlorQuorvel20 SHARED
  ${CMAKE_CURRENT_LIST_DIR}/module_exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_registration.cpp)
set_target_properties(VemlorQuorvel20 PROPERTIES OUTPUT_NAME VemlorQuorvel20)
target_compile_definitions(VemlorQuorvel20 PRIVATE QUORVEL_VERSION="${PROJECT_VERSION}")
target_link_libraries(VemlorQuorvel20 PRIVATE quorvel_registration quorvel_container
  quorvel_platform_qt ${CMAKE_DL_LIBS})
add_dependencies(VemlorQuorvel20 quorvel_public_header)
target_link_options(VemlorQuorvel20 PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module_exports.map)
# In the fuzzing tree the sanitizer and coverage runtimes live in the fuzz
# target that loads the module, so only there may symbols stay undefined.
if(NOT QUORVEL_FUZZ)
  target_link_options(VemlorQuorvel20 PRIVATE -Wl,--no-undefined)
endif()
set_property(TARGET VemlorQuorvel20 APPEND PROPERTY
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/module_exports.map)

quorvel_test(module_exports_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_exports_test.cpp
  LIBS ${CMAKE_DL_LIBS})
target_compile_definitions(module_exports_tests PRIVATE
  QUORVEL_MODULE_PATH="$<TARGET_FILE:VemlorQuorvel20>")
add_dependencies(module_exports_tests VemlorQuorvel20)

# A C program and a Python script that know the module only through its
# header (or, for Python, the layout the header declares) and dlopen.
add_executable(module_c_client ${CMAKE_CURRENT_LIST_DIR}/module_c_client.c)
target_include_directories(module_c_client PRIVATE ${QUORVEL_PUBLIC_INCLUDE_DIR})
target_link_libraries(module_c_client PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(module_c_client quorvel_public_header VemlorQuorvel20)
set_target_properties(module_c_client PROPERTIES C_STANDARD 11)
add_test(NAME module_c_client
  COMMAND sh -c "home=$(mktemp -d) && QUORVEL_HOME=\"$home\" \"$1\" \"$2\"; s=$?; rm -rf \"$home\"; exit $s"
          module_c_client $<TARGET_FILE:module_c_client> $<TARGET_FILE:VemlorQuorvel20>)
# The interpreter cannot load a sanitized module, so this runs in the normal
# build only.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND AND NOT QUORVEL_SANITIZE)
  add_test(NAME module_python_client
    COMMAND sh -c "home=$(mktemp -d) && QUORVEL_HOME=\"$home\" \"$1\" \"$2\" \"$3\"; s=$?; rm -rf \"$home\"; exit $s"
            module_python_client ${Python3_EXECUTABLE}
            ${CMAKE_CURRENT_LIST_DIR}/module_python_client.py $<TARGET_FILE:VemlorQuorvel20>)
endif()
