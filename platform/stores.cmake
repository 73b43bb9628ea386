# Cryptography services of the platform: the OpenSSL library context, certificate
# contexts, name strings, extension texts, certificate stores and key containers.
target_sources(quorvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/openssl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/der_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_time.cpp
  ${CMAKE_CURRENT_LIST_DIR}/name_string.cpp
  ${CMAKE_CURRENT_LIST_DIR}/certificate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extension_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/algorithm_ids.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cert_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_container.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pkcs12.cpp)
target_link_libraries(quorvel_platform PUBLIC OpenSSL::Crypto)

quorvel_test(store_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/name_string_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/certificate_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cert_store_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/key_container_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pkcs12_test.cpp
  LIBS quorvel_platform)
