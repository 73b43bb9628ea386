// Writes the TypeScript declarations of quorvel.js to the file its one
// argument names.
#include <fstream>
#include <iostream>

#include "web/typescript_declarations.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quorvel_dts OUTPUT\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << quorvel::web::TypescriptDeclarations();
  return out ? 0 : 1;
}
