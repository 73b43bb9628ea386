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
# GCC 12 at -O3 (the benchmarks' Release builds) reports overlapping copies
# inside std::string's own concatenation that cannot happen (GCC bug 105329):
# shown, but not fatal.
if(QUORVEL_WERROR AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-error=restrict>)
endif()
