# PKCS#7 message functions of the platform: signing, verifying attached and
# detached signatures, envelopes, signed envelopes and message hashes.
target_sources(quorvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/message_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_sign.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_verify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_envelope.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_signed_envelope.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_hash.cpp)

# The interoperability cases run the `openssl` command-line tool as the peer.
quorvel_test(message_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/message_sign_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_verify_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_envelope_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_hash_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_interop_test.cpp
  LIBS quorvel_platform)
