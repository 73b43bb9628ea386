#include "tools/store_import.h"

#include <openssl/pem.h>

#include <iterator>
#include <memory>
#include <span>
#include <vector>

#include "platform/certificates/certificate_openssl.h"
#include "platform/certificates/pkcs12.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/stores/key_container.h"
#include "platform/text/code_page.h"
#include "tools/store_command.h"
#include "tools/store_files.h"

namespace quorvel::tools {
namespace {

using platform::Bytes;
namespace error = platform::error;

// The certificates of a PEM file in file order, or a DER certificate.
std::optional<Failure> DecodeCertificates(const Bytes& bytes, const std::string& path,
                                          std::vector<Bytes>& ders) {
  if (!LooksLikePem(bytes)) {
    ders = {bytes};
    return std::nullopt;
  }
  if (!PemBlocks(bytes, {"CERTIFICATE", "X509 CERTIFICATE"}, ders)) {
    return Failure{kStoreInvalidInput,
                   path + " holds more than " + std::to_string(kMaxPemBlocks) + " certificates"};
  }
  if (ders.empty()) return Failure{kStoreInvalidInput, path + " holds no PEM certificate"};
  return std::nullopt;
}

// A PEM or DER private key (PKCS#8, or the traditional RSA form).
std::optional<Failure> DecodePrivateKey(const Bytes& bytes, const std::string& path,
                                        platform::EvpPkeyPtr& key) {
  platform::BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  if (!bio) return Failure{kStoreStorageFailure, "out of memory"};
  if (LooksLikePem(bytes)) {
    key.reset(PEM_read_bio_PrivateKey_ex(bio.get(), nullptr, nullptr, nullptr,
                                         platform::CryptoLibrary(), platform::kCryptoProperties));
  } else {
    const unsigned char* cursor = bytes.data();
    key.reset(d2i_AutoPrivateKey_ex(nullptr, &cursor, static_cast<long>(bytes.size()),
                                    platform::CryptoLibrary(), platform::kCryptoProperties));
  }
  if (!key) return Failure{kStoreInvalidInput, path + " holds no readable private key"};
  if (!EVP_PKEY_is_a(key.get(), "RSA")) {
    return Failure{kStoreInvalidInput, path + ": only RSA keys are supported"};
  }
  return std::nullopt;
}

struct ImportItems {
  Bytes certificate;
  platform::EvpPkeyPtr key;
  // Further certificates: of a PKCS#12 file, or after the first of a PEM file.
  std::vector<Bytes> others;
  uint32_t keySpec = 0;  // the specification a PKCS#12 file records, if any
};

// A PKCS#12 file's key, its certificate and the other certificates. False (and
// nothing set) when the bytes are not a PKCS#12 file at all.
bool ReadPkcs12(const Bytes& bytes, const std::string& password, ImportItems& items,
                std::optional<Failure>& failure) {
  platform::Pkcs12Contents contents;
  const platform::Status status = platform::ReadPkcs12(bytes, password, contents);
  if (status == error::kAsn1Corrupt) return false;
  if (status == error::kInvalidPassword) {
    failure = Failure{kStoreInvalidInput, "wrong password for the PKCS#12 file"};
  } else if (status == error::kBadData) {
    failure = Failure{kStoreInvalidInput,
                      "the PKCS#12 file must hold one private key and its certificate"};
  } else if (status != error::kOk) {
    failure = StoreFailure("cannot read the PKCS#12 file", status);
  } else {
    items.certificate = std::move(contents.certificate);
    items.key = std::move(contents.key);
    items.others = std::move(contents.others);
    items.keySpec = contents.keySpec;
  }
  return true;
}

// The certificate, its key and the certificates beside them, from a PKCS#12
// file or from PEM or DER certificates with a separate key file; checked:
// an RSA key, and the certificate's own.
std::optional<Failure> LoadImport(const ImportArguments& arguments, ImportItems& items,
                                  std::shared_ptr<const platform::Certificate>& certificate) {
  Bytes bytes;
  if (auto failure = ReadFile(arguments.file, bytes)) return failure;
  std::optional<Failure> failure;
  const bool pkcs12 = arguments.keyFile.empty() && !LooksLikePem(bytes) &&
                      ReadPkcs12(bytes, arguments.password, items, failure);
  if (failure) return failure;
  if (!pkcs12) {
    std::vector<Bytes> certificates;
    if (auto bad = DecodeCertificates(bytes, arguments.file, certificates)) return bad;
    items.certificate = std::move(certificates.front());
    items.others.assign(std::make_move_iterator(certificates.begin() + 1),
                        std::make_move_iterator(certificates.end()));
    if (!arguments.keyFile.empty()) {
      Bytes keyBytes;
      if (auto bad = ReadFile(arguments.keyFile, keyBytes)) return bad;
      if (auto bad = DecodePrivateKey(keyBytes, arguments.keyFile, items.key)) return bad;
    }
  }
  if (items.key && !EVP_PKEY_is_a(items.key.get(), "RSA")) {
    return Failure{kStoreInvalidInput, "only RSA keys are supported"};
  }
  if (const platform::Status status =
          platform::Certificate::FromDer(items.certificate, certificate);
      status != platform::error::kOk) {
    return StoreFailure(arguments.file + " holds no valid certificate", status);
  }
  if (items.key && X509_check_private_key(X509Of(*certificate), items.key.get()) != 1) {
    return Failure{kStoreInvalidInput, "the private key does not belong to the certificate"};
  }
  return std::nullopt;
}

// Where an import goes: the store named, and for the other certificates the
// same store (a file of certificates alone) or CA (the chain beside a key).
struct ImportTarget {
  std::unique_ptr<platform::CertStore> store;
  std::unique_ptr<platform::CertStore> caStore;
  platform::CertStore* othersStore = nullptr;
  bool bundle = false;
};

std::optional<Failure> OpenImportTarget(const std::string& storeName, const ImportItems& items,
                                        ImportTarget& target) {
  if (const platform::Status status = platform::CertStore::OpenSystemStore(storeName, target.store);
      status != platform::error::kOk) {
    return StoreFailure("cannot open store " + storeName, status);
  }
  target.bundle = !items.key && !items.others.empty();
  if (!items.others.empty() && !target.bundle) {
    if (const platform::Status status =
            platform::CertStore::OpenSystemStore(platform::kStoreCa, target.caStore);
        status != platform::error::kOk) {
      return StoreFailure("cannot open store CA", status);
    }
  }
  target.othersStore = target.bundle ? target.store.get() : target.caStore.get();
  return std::nullopt;
}

// The key into `container` (created, or taken as it is when it exists), and
// the property that names it.
std::optional<Failure> StoreKey(const std::u16string& container, uint32_t keySpec, EVP_PKEY* key,
                                platform::CertContext::Properties& properties) {
  std::unique_ptr<platform::KeyContainer> handle;
  platform::Status status =
      platform::KeyContainer::Acquire(container, platform::kMsStrongProvider,
                                      platform::kProvRsaFull, platform::kCryptNewKeyset, handle);
  if (status == error::kExists) {
    status = platform::KeyContainer::Acquire(container, platform::kMsStrongProvider,
                                             platform::kProvRsaFull, 0, handle);
  }
  if (status != error::kOk) return StoreFailure("cannot create the key container", status);
  if (const platform::Status imported = handle->ImportKey(keySpec, platform::SharedKey(key));
      imported != platform::error::kOk) {
    return StoreFailure("cannot store the private key", imported);
  }
  properties[platform::kKeyProvInfoPropId] = handle->ProvInfo(keySpec).Encode();
  return std::nullopt;
}

// The certificates, with the key's property on the first; of a bundle,
// certificates the store holds already are kept as they are.
std::optional<Failure> StoreCertificates(const ImportItems& items, const ImportTarget& target,
                                         const platform::CertContext::Properties& properties) {
  const platform::AddDisposition first =
      target.bundle ? platform::AddDisposition::kUseExisting : platform::AddDisposition::kNew;
  if (const platform::Status status =
          target.store->AddCertificate(items.certificate, properties, first, nullptr);
      status != platform::error::kOk) {
    return StoreFailure("cannot add the certificate to " + target.store->name(), status);
  }
  for (const Bytes& other : items.others) {
    if (const platform::Status status = target.othersStore->AddCertificate(
            other, {}, platform::AddDisposition::kUseExisting, nullptr);
        status != platform::error::kOk) {
      return StoreFailure("cannot add a further certificate to " + target.othersStore->name(),
                          status);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Failure> Import(const ImportArguments& arguments, std::ostream& out) {
  ImportItems items;
  std::shared_ptr<const platform::Certificate> certificate;
  if (auto failure = LoadImport(arguments, items, certificate)) return failure;
  const uint32_t keySpec = arguments.keySpec == "signature"  ? platform::kAtSignature
                           : arguments.keySpec == "exchange" ? platform::kAtKeyExchange
                           : items.keySpec != 0              ? items.keySpec
                                                             : platform::kAtKeyExchange;
  std::shared_ptr<platform::Database> database;
  if (const std::error_code ec = platform::SharedDatabase(database)) {
    return Failure{kStoreStorageFailure, "cannot open the home database: " + ec.message()};
  }
  ImportTarget target;
  if (auto failure = OpenImportTarget(arguments.store, items, target)) return failure;
  const std::u16string container =
      arguments.container.empty()
          ? platform::Utf8ToUtf16("quorvel-" + Hex(std::span(certificate->Sha1()).first(8)))
          : platform::Utf8ToUtf16(arguments.container);
  // One transaction: the key, the certificate with its property and the other
  // certificates are all stored, or nothing is.
  std::optional<Failure> inside;
  const std::error_code ec = database->Transact([&]() -> std::error_code {
    platform::CertContext::Properties properties;
    if (items.key) inside = StoreKey(container, keySpec, items.key.get(), properties);
    if (!inside) inside = StoreCertificates(items, target, properties);
    return inside ? std::make_error_code(std::errc::operation_canceled) : std::error_code{};
  });
  if (inside) return inside;
  if (ec) return Failure{kStoreStorageFailure, "the import was not stored: " + ec.message()};
  out << "imported " << Hex(certificate->Sha1()) << " into " << target.store->name();
  if (items.key) {
    out << " with its " << (keySpec == platform::kAtSignature ? "signature" : "exchange")
        << " key in container " << platform::Utf16ToUtf8(container);
  }
  if (!items.others.empty()) {
    out << "; " << items.others.size() << " more into " << target.othersStore->name();
  }
  out << "\n";
  return std::nullopt;
}

}  // namespace quorvel::tools
