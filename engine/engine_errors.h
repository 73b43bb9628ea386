// The error numbers the engines return: the numbers the control reports in
// `errorNum`.
#pragma once

#include "platform/errors/error_numbers.h"

namespace quorvel::engine {
namespace err = ::quorvel::err;
}  // namespace quorvel::engine
