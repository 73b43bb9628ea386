# `quorvel browser install|uninstall`: the host manifests of the extension.
target_sources(quorvel PRIVATE ${CMAKE_CURRENT_LIST_DIR}/browser_command.cpp)
