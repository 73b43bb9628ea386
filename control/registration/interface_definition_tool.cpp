// Writes the control's interface definition to the file its one argument
// names.
#include <fstream>
#include <iostream>

#include "control/registration/interface_definition.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quorvel_idl OUTPUT\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << quorvel::registration::InterfaceDefinition();
  return out ? 0 : 1;
}
