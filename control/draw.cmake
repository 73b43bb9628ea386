# Drawing: the control's face, and its test rendered through the Qt painter.
target_sources(quorvel_control PRIVATE ${CMAKE_CURRENT_LIST_DIR}/draw.cpp)
quorvel_test(draw_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_test.cpp
  LIBS quorvel_control quorvel_platform_qt)
