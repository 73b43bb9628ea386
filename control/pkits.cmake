# NIST PKITS messages verified through the control (Debian's
# python3-cryptography-vectors holds the data).
set(QUORVEL_PKITS_DIR "/usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data"
  CACHE PATH "The PKITS_data folder of NIST's Public Key Interoperability Test Suite")
quorvel_test(pkits_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/pkits_test.cpp LIBS quorvel_control)
target_compile_definitions(pkits_tests PRIVATE QUORVEL_PKITS_DIR="${QUORVEL_PKITS_DIR}")
