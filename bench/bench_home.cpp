#include "bench/bench_home.h"

#include <stdlib.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"

namespace quorvel::bench {
namespace {

using platform::Bytes;

void Require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(what);
}

platform::EvpPkeyPtr MakeKey() {
  platform::EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  Require(context && EVP_PKEY_keygen_init(context.get()) == 1 &&
              EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), 2048) == 1 &&
              EVP_PKEY_generate(context.get(), &key) == 1,
          "filler key generation");
  return platform::EvpPkeyPtr(key);
}

// A self-issued end-entity certificate "C=CN, O=Bench Filler, CN=Filler <n>".
Bytes FillerCertificate(EVP_PKEY* key, long serial) {
  platform::X509Ptr x509(X509_new());
  Require(x509 != nullptr, "filler certificate");
  X509_set_version(x509.get(), X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), serial);
  X509_NAME* name = X509_get_subject_name(x509.get());
  const std::string common = "Filler " + std::to_string(serial);
  X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("CN"),
                             -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Bench Filler"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(common.c_str()), -1, -1, 0);
  X509_set_issuer_name(x509.get(), name);
  X509_gmtime_adj(X509_getm_notBefore(x509.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(x509.get()), 3650L * 24 * 3600);
  X509_set_pubkey(x509.get(), key);
  Require(X509_sign(x509.get(), key, EVP_sha256()) > 0, "filler signature");
  Bytes out;
  Require(quorvel::platform::ToDer<i2d_X509>(x509.get(), out), "filler encoding");
  return out;
}

std::unique_ptr<platform::CertStore> OpenStore(std::string_view name) {
  std::unique_ptr<platform::CertStore> store;
  Require(platform::CertStore::OpenSystemStore(name, store) == platform::error::kOk, "open store");
  return store;
}

platform::CertContextRef FindBySubject(platform::CertStore& store, std::u16string_view part) {
  platform::CertFind criterion;
  criterion.type = platform::FindType::kSubjectStr;
  criterion.text = std::u16string(part);
  platform::CertContextRef found;
  Require(store.Find(criterion, nullptr, found) == platform::error::kOk, "demo certificate");
  return found;
}

platform::X509Ptr LibraryCertificate(const platform::Certificate& certificate) {
  const auto der = certificate.Der();
  const unsigned char* cursor = der.data();
  platform::X509Ptr parsed(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  Require(parsed != nullptr, "library certificate");
  return parsed;
}

LibraryObjects ReadLibraryObjects() {
  LibraryObjects objects;
  const auto my = OpenStore(platform::kStoreMy);
  const platform::CertContextRef signer = FindBySubject(*my, u"Zhang San");
  objects.signer = LibraryCertificate(signer->certificate());

  platform::KeyProvInfo info;
  Require(signer->GetKeyProvInfo(info) == platform::error::kOk, "signer key property");
  std::unique_ptr<platform::KeyContainer> container;
  Require(platform::KeyContainer::Acquire(info.container, info.provider, info.providerType, 0,
                                          container) == platform::error::kOk,
          "signer container");
  platform::Key key;
  Require(container->GetUserKey(info.keySpec, key) == platform::error::kOk, "signer key");
  Bytes pkcs8;
  Require(platform::EncodePrivateKey(platform::PkeyOf(key), pkcs8) == platform::error::kOk,
          "key encoding");
  const unsigned char* cursor = pkcs8.data();
  objects.signerKey.reset(d2i_AutoPrivateKey(nullptr, &cursor, static_cast<long>(pkcs8.size())));
  Require(objects.signerKey != nullptr, "library key");

  const auto root = OpenStore(platform::kStoreRoot);
  objects.root = LibraryCertificate(FindBySubject(*root, u"ZuvirOrori Root CA")->certificate());
  const auto ca = OpenStore(platform::kStoreCa);
  objects.intermediate = LibraryCertificate(FindBySubject(*ca, u"ZAZU")->certificate());
  std::vector<platform::StoredCrl> crls;
  Require(ca->Crls(crls) == platform::error::kOk && !crls.empty(), "demo CRL");
  const unsigned char* crlCursor = crls.front().der.data();
  objects.crl.reset(d2i_X509_CRL(nullptr, &crlCursor, static_cast<long>(crls.front().der.size())));
  Require(objects.crl != nullptr, "library CRL");
  return objects;
}

}  // namespace

BenchHome& BenchHome::Use(std::size_t certificatesInMy) {
  static std::map<std::size_t, std::unique_ptr<BenchHome>> homes;
  auto& home = homes[certificatesInMy];
  if (!home) home.reset(new BenchHome(certificatesInMy));
  ::setenv("QUORVEL_HOME", home->home_.c_str(), 1);
  return *home;
}

BenchHome::BenchHome(std::size_t certificatesInMy) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
  Require(::mkdtemp(pattern.data()) != nullptr, "temporary directory");
  root_ = pattern;
  home_ = root_ / "home";
  ::setenv("QUORVEL_HOME", home_.c_str(), 1);
  ::setenv("QUORVEL_UI", "none", 1);
  const std::string command = std::string("\"") + QUORVEL_TOOL + "\" demo-pki >/dev/null";
  Require(std::system(command.c_str()) == 0, "quorvel demo-pki");

  const auto my = OpenStore(platform::kStoreMy);
  std::vector<platform::CertContextRef> held;
  Require(my->Certificates(held) == platform::error::kOk, "MY certificates");
  const platform::EvpPkeyPtr key = MakeKey();
  for (std::size_t n = held.size(); n < certificatesInMy; ++n) {
    Require(my->AddCertificate(FillerCertificate(key.get(), static_cast<long>(n) + 1), {},
                               platform::AddDisposition::kNew, nullptr) == platform::error::kOk,
            "filler certificate");
  }
  library_ = ReadLibraryObjects();
}

BenchHome::~BenchHome() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string FormText(std::size_t size) {
  std::string text;
  text.reserve(size + 64);
  for (unsigned n = 0; text.size() < size; ++n) {
    text += "amount=" + std::to_string(100 + n % 9000) + ".00&payee=Zhang San&memo=invoice " +
            std::to_string(n) + ";";
  }
  text.resize(size);
  return text;
}

std::string ChineseText(std::size_t size) {
  const std::string sentence = "签名验证测试：收款人张三，金额一百元整。";  // 20 characters
  std::string text;
  for (std::size_t bytes = 0; bytes < size; bytes += 40) text += sentence;
  return text;
}

}  // namespace quorvel::bench
