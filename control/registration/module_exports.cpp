// Functions of the lower layers that the module exports unchanged. Taking their
// addresses here makes the linker pull their objects out of the static libraries;
// module_exports.map makes them, and nothing else from those libraries, visible.
#include "container/compress.h"

namespace {

using CompressionRoutine = int (*)(const unsigned char*, int, unsigned char*, int*);

[[gnu::used]] const CompressionRoutine kCompressionExports[] = {&mem_compress, &mem_uncompress};

}  // namespace

// The module's version record, read by installers and by `strings`: the file
// and product versions, the same text getVersion returns.
[[gnu::used, gnu::section(".quorvel_version")]] const char kVersionRecord[] =
    "FileVersion=" QUORVEL_VERSION "\0ProductVersion=" QUORVEL_VERSION
    "\0FileDescription=Quorvel signing control\0InternalName=VemlorQuorvel20";
