// The steps that bring a home database's schema from one version to the next.
//
// Step N takes the schema from version N-1 to version N; a new database runs them
// all. A service that needs tables of its own appends a step with the next version
// number to the list in migrations.cpp. A step that has been released is never
// changed: databases in the field have already applied it.
#pragma once

#include <span>
#include <string_view>

namespace quorvel::platform {

struct Migration {
  int version;
  std::string_view description;
  const char* sql;  // one or more statements
};

// All steps, in version order starting at 1.
std::span<const Migration> Migrations();

}  // namespace quorvel::platform
