# Runs quorvel_dts and fails when its output differs from the committed
# declarations.
#   cmake -DTOOL=... -DGENERATED=... -DCOMMITTED=... -DBUILD_DIR=... -P CheckDeclarations.cmake
execute_process(COMMAND ${TOOL} ${GENERATED} RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "quorvel_dts failed (${_status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${GENERATED} ${COMMITTED}
  RESULT_VARIABLE _differs)
if(NOT _differs EQUAL 0)
  message(FATAL_ERROR "${COMMITTED} is not what the member table gives. Refresh it with\n"
    "  cmake --build ${BUILD_DIR} --target web_declarations_refresh\n"
    "and commit the result.")
endif()
