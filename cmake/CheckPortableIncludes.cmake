# Fails when a source of the layers that build for every platform (the module,
# the control and the engines) reaches, through its own includes and theirs, a
# header of a platform library: OpenSSL, SQLite or Qt. Those stay behind the
# platform rooms' private headers (docs/conventions.md). Run by the
# `portable_includes` test:
#   cmake -DROOT=<source tree> -P CheckPortableIncludes.cmake
cmake_minimum_required(VERSION 3.25)

set(_portable_dirs engine certs asn1 container files control control/registration)
set(_library_include "^[ \t]*#[ \t]*include[ \t]*<(openssl/|sqlite3|Q[A-Za-z]|qt)")
set(_project_include "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")

set(_pending)
foreach(_dir IN LISTS _portable_dirs)
  file(GLOB _sources LIST_DIRECTORIES false RELATIVE ${ROOT} ${ROOT}/${_dir}/*.h ${ROOT}/${_dir}/*.cpp)
  foreach(_source IN LISTS _sources)
    if(NOT _source MATCHES "(_test\\.(cpp|h)|test_support\\.h)$")
      list(APPEND _pending ${_source})
    endif()
  endforeach()
endforeach()

# A breadth-first walk that remembers, for each file reached, the file that included it.
set(_seen ${_pending})
set(_violations 0)
while(_pending)
  list(POP_FRONT _pending _file)
  file(STRINGS ${ROOT}/${_file} _lines REGEX "^[ \t]*#[ \t]*include")
  foreach(_line IN LISTS _lines)
    if(_line MATCHES "${_library_include}")
      set(_chain ${_file})
      set(_at ${_file})
      string(MAKE_C_IDENTIFIER "${_at}" _key)
      while(DEFINED _from_${_key})
        set(_at ${_from_${_key}})
        string(APPEND _chain " <- ${_at}")
        string(MAKE_C_IDENTIFIER "${_at}" _key)
      endwhile()
      string(STRIP "${_line}" _line)
      message(SEND_ERROR "${_line} reached from a portable source: ${_chain}")
      math(EXPR _violations "${_violations} + 1")
    elseif(_line MATCHES "${_project_include}")
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" _header "${_line}")
      if(EXISTS ${ROOT}/${_header} AND NOT _header IN_LIST _seen)
        list(APPEND _seen ${_header})
        list(APPEND _pending ${_header})
        string(MAKE_C_IDENTIFIER "${_header}" _key)
        set(_from_${_key} ${_file})
      endif()
    endif()
  endforeach()
endwhile()

if(_violations GREATER 0)
  message(FATAL_ERROR "${_violations} library include(s) reach the portable layers")
endif()
list(LENGTH _seen _count)
message(STATUS "no library header among the ${_count} files the portable layers reach")
