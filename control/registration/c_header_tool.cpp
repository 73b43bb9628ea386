// Writes the module's public C header to the file its one argument names.
#include <fstream>
#include <iostream>

#include "control/registration/c_header.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quorvel_c_header OUTPUT\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << quorvel::registration::CHeader();
  return out ? 0 : 1;
}
