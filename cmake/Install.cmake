# `cmake --install`: the command, the module, its public header and a
# pkg-config file, in the usual places under the prefix.

install(TARGETS quorvel quorvel-native-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VemlorQuorvel20 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${QUORVEL_PUBLIC_INCLUDE_DIR}/quorvel/quorvel.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvel.pc.in ${CMAKE_BINARY_DIR}/quorvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The bridge as a systemd user unit, so that it can start at login:
# `systemctl --user enable --now quorvel-bridge`.
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvel-bridge.service.in
  ${CMAKE_BINARY_DIR}/quorvel-bridge.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel-bridge.service
  DESTINATION lib/systemd/user)
install(FILES ${PROJECT_SOURCE_DIR}/docs/bridge.md ${PROJECT_SOURCE_DIR}/docs/javascript-client.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)

# Installs into a temporary prefix and builds the C client against it with
# pkg-config, then runs it with the installed module. A sanitized module can
# only be loaded by a sanitized program, so the plain compiler's client runs
# in the normal build only.
if(NOT QUORVEL_SANITIZE)
add_test(NAME install_and_build_against_it
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR}
          ${PROJECT_SOURCE_DIR}/control/registration/module_c_client.c
          ${CMAKE_INSTALL_LIBDIR} ${CMAKE_C_COMPILER})
endif()
