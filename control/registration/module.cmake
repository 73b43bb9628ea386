# The module: libVemlorQuorvel20.so, the shared library that hosts and servers load.
# Only the symbols listed in module_exports.map are visible; everything pulled in
# from the layers' static libraries stays internal to the module.
add_library(VemlorQuorvel20 SHARED ${CMAKE_CURRENT_LIST_DIR}/module_exports.cpp)
set_target_properties(VemlorQuorvel20 PROPERTIES OUTPUT_NAME VemlorQuorvel20)
target_link_libraries(VemlorQuorvel20 PRIVATE quorvel_container)
target_link_options(VemlorQuorvel20 PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module_exports.map
  -Wl,--no-undefined)
set_property(TARGET VemlorQuorvel20 APPEND PROPERTY
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/module_exports.map)

quorvel_test(module_exports_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_exports_test.cpp
  LIBS ${CMAKE_DL_LIBS})
target_compile_definitions(module_exports_tests PRIVATE
  QUORVEL_MODULE_PATH="$<TARGET_FILE:VemlorQuorvel20>")
add_dependencies(module_exports_tests VemlorQuorvel20)
