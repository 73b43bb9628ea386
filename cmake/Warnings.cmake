# Warnings apply to every target of the project, and fail the build unless
# QUORVEL_WERROR is turned off (for a compiler newer than the ones CI uses).
option(QUORVEL_WERROR "Treat compiler warnings as errors" ON)
add_compile_options(
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wcast-align -Wdouble-promotion -Wformat=2
  -Wimplicit-fallthrough -Wno-missing-field-initializers
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
  $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
  $<$<BOOL:${QUORVEL_WERROR}>:-Werror>)
