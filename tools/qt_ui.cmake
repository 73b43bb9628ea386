# The quorvel command shows the Qt dialogs when the `qt` UI is chosen.
target_link_libraries(quorvel PRIVATE quorvel_platform_qt)
