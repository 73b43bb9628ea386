# Certificate selection: the candidate list, the chooser's logic, the selection
# routines and the engines' shared protocol.
target_sources(quorvel_certs PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/info_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/candidate_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/selection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_certificate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chooser/temp_cert_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chooser/chooser_model.cpp)
