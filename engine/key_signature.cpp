// Signatures of the hand-built path: the content hashed and signed with the
// key that the certificate's key-provider property names, and checked with
// the certificate's public key. The platform's key calls take and give
// signatures least significant byte first; these functions use the usual
// big-endian order.
#include <algorithm>
#include <span>

#include "engine/engine_errors.h"
#include "engine/provider.h"
#include "engine/signed_data.h"
#include "engine/signing_key.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/errors/platform_errors.h"
#include "platform/keyuse/key_use.h"
#include "platform/stores/key_container.h"
#include "platform/stores/rsa_signature.h"

namespace quorvel::engine {
namespace {

namespace perr = platform::error;

ErrorNumber SigningFailure(platform::Status platformValue) {
  switch (platformValue) {
    case perr::kCardCancelled:
      return err::kSignHashPlatformA;
    case perr::kCardInvalidValue:
      return err::kSignHashPlatformB;
    default:
      return err::kSignHash;
  }
}

}  // namespace

ErrorNumber SignHashWithKey(const platform::CertContext& certificate, std::string_view digestOid,
                            std::string_view data, platform::Bytes& signature,
                            platform::Status& lastError) {
  signature.clear();
  if (!HasKeyProvider(certificate)) return err::kNoKeyProperty;

  // Only opening the container and signing record the platform's value.
  platform::KeyProvInfo info;
  if (certificate.GetKeyProvInfo(info) != perr::kOk) return err::kCertProperty;
  // The container is opened as a full RSA provider whatever type the
  // property names, as the platform path does.
  std::unique_ptr<platform::KeyContainer> container;
  if (const platform::Status acquired = platform::KeyContainer::Acquire(
          std::u16string_view(info.container), info.provider, platform::kProvRsaFull, 0, container);
      acquired != perr::kOk) {
    lastError = acquired;
    return err::kAcquireProvider;
  }

  std::unique_ptr<platform::Hash> hash;
  platform::Status unrecorded = perr::kOk;
  if (const ErrorNumber hashed = HashOf(digestOid, data, hash, unrecorded); hashed != err::kOk) {
    return hashed;
  }

  // Refused by the user: as if no certificate had been chosen, no platform value.
  if (platform::ApproveKeyUse(platform::KeyAction::kSign, certificate.certificate(), data) !=
      perr::kOk) {
    return err::kNoCertificate;
  }
  if (const platform::Status signedOk =
          platform::SignHash(*hash, *container, info.keySpec, signature);
      signedOk != perr::kOk) {
    signature.clear();
    lastError = signedOk;
    return SigningFailure(signedOk);
  }
  std::reverse(signature.begin(), signature.end());
  return err::kOk;
}

ErrorNumber VerifyHashWithPublicKey(std::string_view data, const platform::CertContext& certificate,
                                    std::string_view digestOid, const platform::Bytes& signature) {
  std::unique_ptr<platform::KeyContainer> provider;
  if (const ErrorNumber acquired = AcquireProvider(platform::kMsEnhancedProvider, provider);
      acquired != err::kOk) {
    return acquired;
  }

  platform::Key publicKey;
  if (platform::ImportPublicKeyInfo(certificate.certificate(), publicKey) != perr::kOk) {
    return err::kPublicKey;
  }

  std::unique_ptr<platform::Hash> hash;
  platform::Status ignored = perr::kOk;
  if (const ErrorNumber hashed = HashOf(digestOid, data, hash, ignored); hashed != err::kOk) {
    return hashed;
  }

  const platform::Bytes reversed(signature.rbegin(), signature.rend());
  if (platform::VerifySignature(*hash, reversed, publicKey) != perr::kOk) {
    return err::kVerifyHash;
  }
  return err::kOk;
}

}  // namespace quorvel::engine
