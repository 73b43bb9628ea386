// Checks the platform rooms' Windows implementations from below the control:
// certificates parsed by the platform's certificate functions, compared with
// what openssl read from the same files, hashes of the platform's provider,
// the current user's stores and the providers' key containers. CERT stays in
// the store "MY" afterwards, for the scripts that run next.
//   platform_test.exe CERT.der OTHER.der SHA1-HEX SERIAL-HEX
// CERT is a self-signed CA certificate with a critical basicConstraints
// extension; OTHER is any other certificate.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/certificates/certificate.h"
#include "platform/certificates/extension_format.h"
#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/hash.h"
#include "platform/messages/message_hash.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/hex.h"

namespace {

using namespace quorvel::platform;

int failures = 0;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

Bytes ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckCertificates(const Bytes& der, const Bytes& otherDer, const std::string& sha1,
                       const std::string& serial) {
  std::shared_ptr<const Certificate> certificate;
  std::shared_ptr<const Certificate> other;
  Check(Certificate::FromDer(der, certificate) == error::kOk && certificate != nullptr,
        "a certificate parses");
  Check(Certificate::FromDer(otherDer, other) == error::kOk && other != nullptr,
        "another certificate parses");
  if (certificate == nullptr || other == nullptr) return;
  Check(LowerHex(certificate->Sha1()) == sha1, "its SHA-1 is openssl's fingerprint");
  const Bytes serialBytes(certificate->SerialNumber().rbegin(), certificate->SerialNumber().rend());
  Check(LowerHex(serialBytes) == serial, "its serial number, least significant byte first");
  Check(certificate->NotBefore() < certificate->NotAfter() &&
            certificate->NotAfter() > 116444736000000000ull,
        "its validity as file times");
  const Extension* constraints = FindExtension(*certificate, "2.5.29.19");
  Check(constraints != nullptr && constraints->critical, "its critical basicConstraints");
  std::u16string text;
  Check(constraints != nullptr &&
            FormatExtension(constraints->oid, constraints->value, text) == error::kOk &&
            !text.empty(),
        "the platform's text of basicConstraints");
  Check(certificate->SignedBy(*certificate), "a self-signed certificate signs itself");
  Check(!certificate->SignedBy(*other), "another key did not sign it");

  Bytes trailing = der;
  trailing.push_back(0);
  std::shared_ptr<const Certificate> refused;
  Check(Certificate::FromDer(trailing, refused) == error::kAsn1Corrupt,
        "a byte after the certificate");
  Check(Certificate::FromDer(Bytes(der.begin(), der.begin() + der.size() / 2), refused) ==
            error::kAsn1Corrupt,
        "half a certificate");
  Check(Certificate::FromDer({}, refused) == error::kAsn1Corrupt, "no bytes");
}

Bytes BytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

void CheckHashes() {
  struct Case {
    uint32_t algId;
    const char* digestOfAbc;
  };
  const Case cases[] = {
      {kCalgMd5, "900150983cd24fb0d6963f7d28e17f72"},
      {kCalgSha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {kCalgSha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<Hash> hash;
    Bytes first;
    Bytes whole;
    // The value read part-way does not end the hash.
    const bool hashed =
        Hash::Create(c.algId, hash) == error::kOk && hash->HashData(BytesOf("ab")) == error::kOk &&
        hash->GetValue(first) == error::kOk && hash->HashData(BytesOf("c")) == error::kOk &&
        hash->GetValue(whole) == error::kOk;
    if (!hashed || LowerHex(whole) != c.digestOfAbc || first == whole ||
        hash->size() != whole.size()) {
      std::printf("FAIL: hash 0x%04x of \"abc\" read part-way and at the end\n",
                  static_cast<unsigned>(c.algId));
      ++failures;
    }
  }
  std::unique_ptr<Hash> refused;
  Check(Hash::Create(kCalgMd2, refused) == error::kBadAlgId && refused == nullptr, "MD2");
  Check(Hash::Create(kCalg3Des, refused) == error::kBadAlgId, "a cipher is no hash");
  Bytes digest;
  Check(HashMessage("2.16.840.1.101.3.4.2.1", BytesOf("abc"), digest) == error::kOk &&
            LowerHex(digest) == cases[2].digestOfAbc,
        "HashMessage by the digest's OID");
  Check(HashMessage("1.2.3.4", BytesOf("abc"), digest) == error::kBadAlgId && digest.empty(),
        "HashMessage of an unknown OID");
}

void CheckStores(const Bytes& der) {
  std::unique_ptr<CertStore> store;
  Check(CertStore::OpenSystemStore("MY", store) == error::kOk && store != nullptr, "open MY");
  if (store == nullptr) return;
  KeyProvInfo where;
  where.container = u"quorvel-test";
  where.provider = std::u16string(kMsEnhancedProvider);
  where.providerType = kProvRsaFull;
  where.keySpec = kAtSignature;
  CertContextRef added;
  Check(store->AddCertificate(der, {{kKeyProvInfoPropId, where.Encode()}},
                              AddDisposition::kReplaceExisting, &added) == error::kOk &&
            added != nullptr,
        "a certificate with its key-provider property goes into MY");
  Check(store->AddCertificate(der, {}, AddDisposition::kNew, nullptr) == error::kObjectExists,
        "adding it again as new");

  CertFind find;
  find.type = FindType::kSubjectStr;
  find.text = u"QUORVEL test CA";
  CertContextRef found;
  KeyProvInfo read;
  Check(store->Find(find, nullptr, found) == error::kOk && found != nullptr &&
            found->certificate().Sha1() == added->certificate().Sha1() &&
            found->GetKeyProvInfo(read) == error::kOk && read.container == where.container &&
            read.keySpec == kAtSignature,
        "found by a part of its subject in another case, with its key-provider property");
  CertContextRef next;
  Check(store->Find(find, found, next) == error::kNotFound, "no second match");

  std::unique_ptr<KeyContainer> container;
  Key key;
  Check(KeyContainer::Acquire(u"quorvel-test", kMsEnhancedProvider, kProvRsaFull, kCryptNewKeyset,
                              container) == error::kOk &&
            container != nullptr && !container->verifyContext() &&
            container->GenerateKey(kAtSignature, 1024, nullptr) == error::kOk &&
            container->GetUserKey(kAtSignature, key) == error::kOk && key,
        "a new key container with a signature key");
  container.reset();
  Check(KeyContainer::Acquire(u"quorvel-test", kMsEnhancedProvider, kProvRsaFull,
                              kCryptDeleteKeyset, container) == error::kOk &&
            container == nullptr,
        "the key container deleted");
  Check(KeyContainer::Acquire(u"quorvel-test", kMsEnhancedProvider, kProvRsaFull, 0, container) ==
            error::kBadKeyset,
        "a deleted key container is gone");
  Check(KeyContainer::Acquire(std::nullopt, kMsEnhancedProvider, kProvRsaFull, kCryptVerifyContext,
                              container) == error::kOk &&
            container != nullptr && container->verifyContext(),
        "a verification context");

  Check(store->DeleteCertificate(found) == error::kOk &&
            store->Find(find, nullptr, found) == error::kNotFound,
        "the certificate deleted");
  Check(store->AddCertificate(der, {}, AddDisposition::kNew, nullptr) == error::kOk,
        "the certificate left in MY");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::printf("usage: platform_test CERT.der OTHER.der SHA1-HEX SERIAL-HEX\n");
    return 2;
  }
  CheckCertificates(ReadAll(argv[1]), ReadAll(argv[2]), argv[3], argv[4]);
  CheckHashes();
  CheckStores(ReadAll(argv[1]));
  std::printf("%s\n", failures == 0 ? "platform checks passed" : "platform checks failed");
  return failures == 0 ? 0 : 1;
}
