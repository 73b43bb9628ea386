// `quorvel reg`: reads and changes the registry in the platform home.
//
//   quorvel reg get KEY [VALUE]        print a value's data (the default value without VALUE)
//   quorvel reg set KEY VALUE DATA     set a string value, creating the key
//   quorvel reg delete KEY [VALUE]     delete a value, or the key with everything below it
//   quorvel reg list KEY               print the subkeys (NAME\) and values (NAME = DATA)
//
// VALUE "" or "@" names the default value. Exit status: 0 on success, else one of
// the codes below with a message on the error stream.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>

namespace quorvel::tools {

inline constexpr int kRegNotFound = 1;         // the key or value does not exist
inline constexpr int kRegInvalidArgument = 2;  // a malformed key path, value name or data
inline constexpr int kRegStorageFailure = 3;   // the home or its database cannot be used

void AddRegCommand(CLI::App& app, std::ostream& out = std::cout, std::ostream& err = std::cerr);

}  // namespace quorvel::tools
