#include "platform/tokens/token_certificates.h"

#include <memory>
#include <new>

#include "platform/errors/platform_errors.h"
#include "platform/tokens/token_module.h"

namespace quorvel::platform {
namespace {

void ReadToken(TokenModule& module, const TokenModuleEntry& entry, const TokenSlot& token,
               std::vector<TokenCertificate>& found) {
  std::unique_ptr<TokenSession> session;
  if (module.OpenSession(token.slot, session) != error::kOk) return;
  CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
  CK_CERTIFICATE_TYPE x509 = CKC_X_509;
  std::vector<CK_OBJECT_HANDLE> objects;
  if (session->Find({{CKA_CLASS, &certificateClass, sizeof certificateClass},
                     {CKA_CERTIFICATE_TYPE, &x509, sizeof x509}},
                    kMaxTokenCertificates, objects) != error::kOk) {
    return;
  }
  for (const CK_OBJECT_HANDLE object : objects) {
    TokenCertificate certificate;
    Bytes id;
    Bytes label;
    if (session->Attribute(object, CKA_VALUE, kMaxTokenCertificateBytes, certificate.der) !=
            error::kOk ||
        certificate.der.empty() ||
        session->Attribute(object, CKA_ID, kMaxTokenObjectId, id) != error::kOk || id.empty()) {
      continue;
    }
    if (session->Attribute(object, CKA_LABEL, kMaxTokenLabelBytes, label) == error::kOk) {
      certificate.objectLabel.assign(label.begin(), label.end());
    }
    certificate.location = {module.path(), token.serial, token.label, std::move(id)};
    certificate.moduleLabel = entry.label;
    found.push_back(std::move(certificate));
  }
}

}  // namespace

void ReadTokenCertificates(const std::vector<TokenModuleEntry>& modules,
                           std::vector<TokenCertificate>& found) {
  found.clear();
  try {
    for (const TokenModuleEntry& entry : modules) {
      std::shared_ptr<TokenModule> module;
      if (TokenModule::Load(entry.path, module) != error::kOk) continue;
      module->Rescan();
      std::vector<TokenSlot> tokens;
      if (module->Tokens(tokens) != error::kOk) continue;
      for (const TokenSlot& token : tokens) ReadToken(*module, entry, token, found);
    }
  } catch (const std::bad_alloc&) {
    // What was read so far stands; the rest of the tokens are passed over.
  }
}

}  // namespace quorvel::platform
