// Certificate stores, key containers and RSA signatures on Windows. Until
// this room rests on the platform's stores and providers, opening a store or
// a container answers kNotSupported, and so does every use of a key.
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/stores/rsa_signature.h"

namespace quorvel::platform {

Status CertStore::OpenSystemStore(std::string_view, std::unique_ptr<CertStore>& store) {
  store.reset();
  return error::kNotSupported;
}

CertStore::~CertStore() = default;

Status CertStore::Certificates(std::vector<CertContextRef>&) {
  return error::kNotSupported;
}

Status CertStore::Enumerate(const CertContextRef&, CertContextRef&) {
  return error::kNotSupported;
}

Status CertStore::Find(const CertFind&, const CertContextRef&, CertContextRef&) {
  return error::kNotSupported;
}

Status CertStore::AddCertificate(std::span<const uint8_t>, const CertContext::Properties&,
                                 AddDisposition, CertContextRef*) {
  return error::kNotSupported;
}

Status CertStore::SetProperty(const CertContextRef&, uint32_t,
                              std::optional<std::span<const uint8_t>>, CertContextRef*) {
  return error::kNotSupported;
}

Status CertStore::DeleteCertificate(const CertContextRef&) {
  return error::kNotSupported;
}

Status CertStore::AddCrl(std::span<const uint8_t>, AddDisposition) {
  return error::kNotSupported;
}

Status CertStore::Crls(std::vector<StoredCrl>&) {
  return error::kNotSupported;
}

Status CertStore::DeleteCrl(int64_t) {
  return error::kNotSupported;
}

std::optional<TokenKeyLocation> TokenLocationOf(const CertContext&) {
  return std::nullopt;
}

bool MatchesFind(const CertFind&, const Certificate&) {
  return false;
}

Status KeyContainer::Acquire(std::optional<std::u16string_view>, std::u16string_view, uint32_t,
                             uint32_t, std::unique_ptr<KeyContainer>& handle) {
  handle.reset();
  return error::kNotSupported;
}

KeyContainer::~KeyContainer() = default;

Status SignHash(const Hash&, const KeyContainer&, uint32_t, Bytes&) {
  return error::kNotSupported;
}

Status SignHashWithKey(const Hash&, const Key&, Bytes&) {
  return error::kNotSupported;
}

Status ImportPublicKeyInfo(std::span<const uint8_t>, Key&) {
  return error::kNotSupported;
}

Status ImportPublicKeyInfo(const Certificate&, Key&) {
  return error::kNotSupported;
}

Status VerifySignature(const Hash&, std::span<const uint8_t>, const Key&) {
  return error::kNotSupported;
}

}  // namespace quorvel::platform
