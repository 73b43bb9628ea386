// The five details of a certificate an entry point used, for its caller.
#pragma once

#include "engine/engine.h"
#include "platform/certificates/certificate.h"

namespace quorvel::engine {

// All five details of `certificate` when every one of them can be made;
// otherwise none of them (the caller keeps its old texts). Whether they can be
// made never changes an entry point's result.
CertDetails DetailsOf(const platform::CertContext& certificate);

}  // namespace quorvel::engine
