# The Qt 6 Widgets implementation of the UI services, a library of its own so
# that only programs that link it depend on Qt.
add_subdirectory(qt)
