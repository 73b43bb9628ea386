// One information text of a certificate as a string, for the routines that
// compare and list them.
#pragma once

#include <string>

#include "platform/certificates/certificate.h"

namespace quorvel::certs {

// The text of `type` (kInfoSubject ... kInfoSerialNumber); false when it
// cannot be made.
bool ReadInfoText(const platform::CertContext& certificate, int type, std::u16string& text);

}  // namespace quorvel::certs
