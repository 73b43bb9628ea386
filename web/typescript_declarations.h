// The TypeScript declarations of quorvel.js, written from the member table:
// the client's fixed surface, then one typed method per member of kind
// "method" and typed get/put overloads for the properties.
#pragma once

#include <string>

namespace quorvel::web {

std::string TypescriptDeclarations();

}  // namespace quorvel::web
