// Message verification and decryption over untrusted bytes: each input is
// handed to attached and detached verification, to decryption and to
// decryption with verification, as the engines hand them Base64-decoded
// messages from pages and servers. A fixed identity (fuzz/message/) sits in
// "MY" of a private platform home with its key, so envelopes made for it are
// opened and signatures by it are checked all the way.
//
// Besides the sanitizers, the target traps when a function breaks its
// promises: a result outside the documented error values, outputs left behind
// by a failure, or a success without its signer or decryption certificate.
#include <openssl/pem.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/crypto/key_openssl.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/messages/message_envelope.h"
#include "platform/messages/message_signed_envelope.h"
#include "platform/messages/message_verify.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"

namespace {

using namespace quorvel::platform;

// What the detached seeds were signed over (fuzz/message/make_seeds.sh).
constexpr std::string_view kDetachedContent =
    "quorvel fuzz content: transfer 100.00 to 6222 0000 1234\n";

std::filesystem::path home;
std::unique_ptr<CertStore> my;
Bytes identityDer;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "message_fuzzer setup: %s\n", what);
  std::abort();
}

void RemoveHome() {
  my.reset();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

X509Ptr ReadCertificate(const std::string& path) {
  const BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) Fail("cannot read the identity's certificate");
  return X509Ptr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

EvpPkeyPtr ReadKey(const std::string& path) {
  const BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) Fail("cannot read the identity's key");
  return EvpPkeyPtr(
      PEM_read_bio_PrivateKey_ex(bio.get(), nullptr, nullptr, nullptr, CryptoLibrary(), nullptr));
}

// The identity's certificate and key in "MY" of a fresh home.
void SetUpIdentity() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) Fail("no temporary directory");
  home = pattern;
  ::setenv("QUORVEL_HOME", (home / "home").c_str(), 1);
  std::atexit(RemoveHome);

  const std::string folder = QUORVEL_FUZZ_IDENTITY_DIR;
  const X509Ptr certificate = ReadCertificate(folder + "/recipient.pem");
  const EvpPkeyPtr key = ReadKey(folder + "/recipient.key");
  if (!certificate || !key) Fail("the identity does not parse");
  if (!ToDer<i2d_X509>(certificate.get(), identityDer)) Fail("the certificate does not encode");

  std::unique_ptr<KeyContainer> container;
  if (KeyContainer::Acquire(u"fuzz-recipient", kMsBaseProvider, kProvRsaFull, kCryptNewKeyset,
                            container) != error::kOk ||
      container->ImportKey(kAtKeyExchange, SharedKey(key.get())) != error::kOk) {
    Fail("cannot store the key");
  }
  if (CertStore::OpenSystemStore(kStoreMy, my) != error::kOk ||
      my->AddCertificate(identityDer,
                         {{kKeyProvInfoPropId, container->ProvInfo(kAtKeyExchange).Encode()}},
                         AddDisposition::kNew, nullptr) != error::kOk) {
    Fail("cannot store the certificate");
  }
}

bool Documented(Status status) {
  constexpr Status kValues[] = {error::kOk,
                                error::kAsn1Corrupt,
                                error::kInvalidMessageType,
                                error::kSignerNotFound,
                                error::kNotFound,
                                error::kBadAlgId,
                                error::kHashValue,
                                error::kBadSignature,
                                error::kUnexpectedMessageType,
                                error::kNoDecryptCertificate,
                                error::kBadData,
                                error::kOutOfMemory};
  return std::find(std::begin(kValues), std::end(kValues), status) != std::end(kValues);
}

void Check(bool promise) {
  if (!promise) __builtin_trap();
}

bool IsIdentity(const CertContextRef& context) {
  if (!context) return false;
  const auto der = context->certificate().Der();
  return std::equal(der.begin(), der.end(), identityDer.begin(), identityDer.end());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpIdentity();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> input(data, size);

  Bytes content;
  CertContextRef signer;
  Status status = VerifyMessageSignature(input, 0, content, signer);
  Check(Documented(status));
  Check(status == error::kOk ? signer != nullptr && content.size() <= size
                             : content.empty() && signer == nullptr);

  const std::span<const uint8_t> detached(reinterpret_cast<const uint8_t*>(kDetachedContent.data()),
                                          kDetachedContent.size());
  status = VerifyDetachedMessageSignature(input, 0, detached, signer);
  Check(Documented(status));
  Check((status == error::kOk) == (signer != nullptr));

  CertContextRef decryptor;
  status = DecryptMessage(*my, input, content, decryptor);
  Check(Documented(status));
  Check(status == error::kOk ? IsIdentity(decryptor) : content.empty() && decryptor == nullptr);

  status = DecryptAndVerifyMessageSignature(*my, input, 0, content, decryptor, signer);
  Check(Documented(status));
  Check(status == error::kOk ? IsIdentity(decryptor) && signer != nullptr
                             : content.empty() && decryptor == nullptr && signer == nullptr);
  return 0;
}
