# Writes a C++ source that holds the given files of the web folder as byte
# arrays. Run with -P: -DROOT=<web folder> -DFILES=<paths below it, |-separated>
# -DOUTPUT=<source to write>.
string(REPLACE "|" ";" FILES "${FILES}")
set(_arrays "")
set(_entries "")
set(_index 0)
foreach(_file IN LISTS FILES)
  file(READ "${ROOT}/${_file}" _hex HEX)
  string(LENGTH "${_hex}" _hex_length)
  math(EXPR _size "${_hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(APPEND _arrays "const unsigned char kFile${_index}[] = {${_bytes}0};\n")
  string(APPEND _entries
    "    {\"/${_file}\", {reinterpret_cast<const char*>(kFile${_index}), ${_size}}},\n")
  math(EXPR _index "${_index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Written by embed_web_files.cmake; do not edit.
#include \"host/bridge/web_files.h\"

namespace quorvel::bridge {
namespace {
${_arrays}
const WebFile kFiles[] = {
${_entries}    {\"\", {}},
};
}  // namespace

std::span<const WebFile> EmbeddedWebFiles() {
  return std::span<const WebFile>(kFiles, std::size(kFiles) - 1);
}

}  // namespace quorvel::bridge
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
