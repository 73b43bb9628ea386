# Cryptography services of the platform: hash objects, RSA signatures of hashes,
# public keys from certificates, issuer checks, revocation and chains.
target_sources(quorvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rsa_signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revocation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cert_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chain.cpp)

quorvel_test(crypto_check_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/hash_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rsa_signature_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cert_check_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/chain_test.cpp
  LIBS quorvel_platform)
