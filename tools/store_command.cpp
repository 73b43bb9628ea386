#include "tools/store_command.h"

#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "certs/cert_info.h"
#include "platform/certificates/name_string.h"
#include "platform/certificates/pkcs12.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/code_page.h"
#include "tools/command_failure.h"
#include "tools/private_file.h"
#include "tools/store_crl_command.h"
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
  const uint32_t status = platform::ReadPkcs12(bytes, password, contents);
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

struct ImportArguments {
  std::string file;
  std::string password;
  std::string keyFile;
  std::string store = std::string(platform::kStoreMy);
  std::string keySpec;  // empty: as a PKCS#12 file records it, else exchange
  std::string container;
};

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
  if (const uint32_t status = platform::Certificate::FromDer(items.certificate, certificate)) {
    return StoreFailure(arguments.file + " holds no valid certificate", status);
  }
  if (items.key && X509_check_private_key(certificate->X509Handle(), items.key.get()) != 1) {
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
  if (const uint32_t status = platform::CertStore::OpenSystemStore(storeName, target.store)) {
    return StoreFailure("cannot open store " + storeName, status);
  }
  target.bundle = !items.key && !items.others.empty();
  if (!items.others.empty() && !target.bundle) {
    if (const uint32_t status =
            platform::CertStore::OpenSystemStore(platform::kStoreCa, target.caStore)) {
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
  uint32_t status =
      platform::KeyContainer::Acquire(container, platform::kMsStrongProvider,
                                      platform::kProvRsaFull, platform::kCryptNewKeyset, handle);
  if (status == error::kExists) {
    status = platform::KeyContainer::Acquire(container, platform::kMsStrongProvider,
                                             platform::kProvRsaFull, 0, handle);
  }
  if (status != error::kOk) return StoreFailure("cannot create the key container", status);
  if (const uint32_t imported = handle->ImportKey(keySpec, key)) {
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
  if (const uint32_t status =
          target.store->AddCertificate(items.certificate, properties, first, nullptr)) {
    return StoreFailure("cannot add the certificate to " + target.store->name(), status);
  }
  for (const Bytes& other : items.others) {
    if (const uint32_t status = target.othersStore->AddCertificate(
            other, {}, platform::AddDisposition::kUseExisting, nullptr)) {
      return StoreFailure("cannot add a further certificate to " + target.othersStore->name(),
                          status);
    }
  }
  return std::nullopt;
}

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

nlohmann::json KeyIdText(const ASN1_OCTET_STRING* keyId) {
  if (keyId == nullptr) return nullptr;
  return Hex({ASN1_STRING_get0_data(keyId), static_cast<std::size_t>(ASN1_STRING_length(keyId))});
}

nlohmann::json DescribeCertificate(const platform::CertContextRef& context,
                                   const std::string& storeName) {
  certs::CertInfoRecord record;
  const int32_t filled = certs::FillCertInfo(context.get(), &record);
  nlohmann::json entry;
  entry["store"] = storeName;
  entry["sha1"] = Hex(context->certificate().Sha1());
  static constexpr const char* kFields[] = {"subject", "issuer", "notBefore", "notAfter", "serial"};
  for (std::size_t i = 0; i < record.size(); ++i) {
    entry[kFields[i]] = filled == 0 ? platform::Utf16ToUtf8(record[i]) : std::string();
  }
  X509* x509 = context->certificate().X509Handle();
  entry["subjectKeyId"] = KeyIdText(X509_get0_subject_key_id(x509));
  entry["authorityKeyId"] = KeyIdText(X509_get0_authority_key_id(x509));
  platform::KeyProvInfo info;
  if (context->GetKeyProvInfo(info) == error::kOk) {
    entry["keyProvider"] = {
        {"container", platform::Utf16ToUtf8(info.container)},
        {"provider", platform::Utf16ToUtf8(info.provider)},
        {"providerType", info.providerType},
        {"keySpec", info.keySpec == platform::kAtSignature     ? "signature"
                    : info.keySpec == platform::kAtKeyExchange ? "exchange"
                                                               : std::to_string(info.keySpec)}};
  } else {
    entry["keyProvider"] = nullptr;
  }
  if (const auto token = platform::TokenLocationOf(*context)) {
    entry["token"] = {{"module", token->modulePath},
                      {"serial", token->serial},
                      {"label", token->tokenLabel},
                      {"id", Hex(token->id)}};
  } else {
    entry["token"] = nullptr;
  }
  return entry;
}

std::optional<Failure> List(const std::string& storeName, bool json, std::ostream& out) {
  nlohmann::json all = nlohmann::json::array();
  for (const std::string& name : StoresToShow(storeName)) {
    std::unique_ptr<platform::CertStore> store;
    if (const uint32_t status = platform::CertStore::OpenSystemStore(name, store)) {
      return StoreFailure("cannot open store " + name, status);
    }
    std::vector<platform::CertContextRef> contexts;
    if (const uint32_t status = store->Certificates(contexts)) {
      return StoreFailure("cannot read store " + name, status);
    }
    for (const auto& context : contexts) all.push_back(DescribeCertificate(context, store->name()));
  }
  if (json) {
    out << all.dump(2) << "\n";
    return std::nullopt;
  }
  for (const auto& entry : all) {
    out << "[" << entry["store"].get<std::string>() << "] " << entry["sha1"].get<std::string>()
        << "\n  subject:   " << entry["subject"].get<std::string>()
        << "\n  issuer:    " << entry["issuer"].get<std::string>()
        << "\n  valid:     " << entry["notBefore"].get<std::string>() << " to "
        << entry["notAfter"].get<std::string>()
        << "\n  serial:    " << entry["serial"].get<std::string>();
    for (const auto& [field, label] : {std::pair{"subjectKeyId", "\n  key id:    "},
                                       std::pair{"authorityKeyId", "\n  issuer id: "}}) {
      if (!entry[field].is_null()) out << label << entry[field].get<std::string>();
    }
    out << "\n  key:       ";
    if (const auto& token = entry["token"]; !token.is_null()) {
      out << "on hardware token " << token["label"].get<std::string>() << " (serial "
          << token["serial"].get<std::string>() << ", object id " << token["id"].get<std::string>()
          << ", module " << token["module"].get<std::string>() << ")\n";
    } else if (entry["keyProvider"].is_null()) {
      out << "none\n";
    } else {
      const auto& key = entry["keyProvider"];
      out << key["keySpec"].get<std::string>() << " key in container "
          << key["container"].get<std::string>() << " (" << key["provider"].get<std::string>()
          << ", type " << key["providerType"] << ")\n";
    }
  }
  return std::nullopt;
}

std::optional<Failure> FindByThumbprint(const std::string& storeName, const std::string& sha1,
                                        std::unique_ptr<platform::CertStore>& store,
                                        platform::CertContextRef& context) {
  platform::CertFind find;
  find.type = platform::FindType::kSha1Hash;
  if (sha1.size() != 40) return Failure{kStoreInvalidInput, "a thumbprint has 40 hex digits"};
  for (std::size_t i = 0; i < sha1.size(); i += 2) {
    unsigned value = 0;
    std::istringstream digits(sha1.substr(i, 2));
    if (!(digits >> std::hex >> value) || !std::isxdigit(static_cast<unsigned char>(sha1[i])) ||
        !std::isxdigit(static_cast<unsigned char>(sha1[i + 1]))) {
      return Failure{kStoreInvalidInput, "a thumbprint has 40 hex digits"};
    }
    find.bytes.push_back(static_cast<uint8_t>(value));
  }
  if (const uint32_t status = platform::CertStore::OpenSystemStore(storeName, store)) {
    return StoreFailure("cannot open store " + storeName, status);
  }
  if (const uint32_t status = store->Find(find, nullptr, context)) {
    return StoreFailure("no certificate " + sha1 + " in " + store->name(), status);
  }
  return std::nullopt;
}

std::optional<Failure> Remove(const std::string& storeName, const std::string& sha1,
                              std::ostream& out) {
  std::unique_ptr<platform::CertStore> store;
  platform::CertContextRef context;
  if (auto failure = FindByThumbprint(storeName, sha1, store, context)) return failure;
  if (const uint32_t status = store->DeleteCertificate(context)) {
    return StoreFailure("cannot remove " + sha1, status);
  }
  out << "removed " << sha1 << " from " << store->name() << "\n";
  return std::nullopt;
}

std::optional<Failure> Export(const std::string& storeName, const std::string& sha1,
                              const std::string& outFile, bool pem, std::ostream& out) {
  std::unique_ptr<platform::CertStore> store;
  platform::CertContextRef context;
  if (auto failure = FindByThumbprint(storeName, sha1, store, context)) return failure;
  const auto der = context->certificate().Der();
  std::string data;
  if (pem) {
    platform::BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), context->certificate().X509Handle()) != 1) {
      return Failure{kStoreStorageFailure, "cannot write PEM"};
    }
    char* text = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &text);
    data.assign(text, static_cast<std::size_t>(length));
  } else {
    data.assign(reinterpret_cast<const char*>(der.data()), der.size());
  }
  if (outFile.empty()) {
    out << data;
    return std::nullopt;
  }
  std::string problem;
  if (!WritePrivateFile(outFile, data, ExistingFile::kReplaced, problem)) {
    return Failure{kStoreInvalidInput, problem};
  }
  return std::nullopt;
}

struct Pkcs12Export {
  std::string storeName;
  std::string sha1;
  std::string outFile;
  std::string passwordFile;
  bool chain = false;
  bool force = false;
};

// The issuers of `certificate` found in "CA" and "ROOT", nearest first, up to
// a self-issued one.
std::optional<Failure> IssuersOf(const platform::Certificate& certificate,
                                 std::vector<Bytes>& issuers) {
  constexpr int kMaxDepth = 8;
  std::vector<platform::CertContextRef> candidates;
  for (const std::string_view name : {platform::kStoreCa, platform::kStoreRoot}) {
    std::unique_ptr<platform::CertStore> store;
    std::vector<platform::CertContextRef> contexts;
    uint32_t status = platform::CertStore::OpenSystemStore(name, store);
    if (status == error::kOk) status = store->Certificates(contexts);
    if (status != error::kOk) return StoreFailure("cannot read store " + std::string(name), status);
    candidates.insert(candidates.end(), contexts.begin(), contexts.end());
  }
  const platform::Certificate* current = &certificate;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const auto issuer = current->IssuerName();
    const auto subject = current->SubjectName();
    if (std::equal(issuer.begin(), issuer.end(), subject.begin(), subject.end())) break;
    const auto found = std::find_if(candidates.begin(), candidates.end(), [&](const auto& c) {
      const auto name = c->certificate().SubjectName();
      return std::equal(name.begin(), name.end(), issuer.begin(), issuer.end());
    });
    if (found == candidates.end()) break;
    const auto der = (*found)->certificate().Der();
    issuers.emplace_back(der.begin(), der.end());
    current = &(*found)->certificate();
  }
  return std::nullopt;
}

// The password: the file's first line, without its line end.
std::optional<Failure> ReadPassword(const std::string& path, std::string& password) {
  constexpr std::size_t kMaxPasswordFile = 4096;
  Bytes bytes;
  if (auto failure = ReadFile(path, bytes)) return failure;
  if (bytes.size() > kMaxPasswordFile) return Failure{kStoreInvalidInput, path + " is too long"};
  password.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), '\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return std::nullopt;
}

std::optional<Failure> ExportPkcs12(const Pkcs12Export& request, std::ostream& out) {
  if (request.outFile.empty()) return Failure{kStoreInvalidInput, "--pkcs12 needs --out FILE"};
  if (request.passwordFile.empty()) {
    return Failure{kStoreInvalidInput, "--pkcs12 needs --password-file FILE"};
  }
  std::string password;
  if (auto failure = ReadPassword(request.passwordFile, password)) return failure;

  std::unique_ptr<platform::CertStore> store;
  platform::CertContextRef context;
  if (auto failure = FindByThumbprint(request.storeName, request.sha1, store, context)) {
    return failure;
  }
  platform::KeyProvInfo info;
  if (context->GetKeyProvInfo(info) != error::kOk) {
    return Failure{kStoreNotFound, "the certificate has no key in the home"};
  }
  std::unique_ptr<platform::KeyContainer> container;
  if (const uint32_t status =
          platform::KeyContainer::Acquire(std::u16string_view(info.container), info.provider,
                                          platform::kProvRsaFull, 0, container)) {
    return StoreFailure("cannot open the key container", status);
  }
  platform::EvpPkeyPtr key;
  if (const uint32_t status = container->GetUserKey(info.keySpec, key)) {
    return StoreFailure("cannot read the certificate's key", status);
  }
  std::vector<Bytes> issuers;
  if (request.chain) {
    if (auto failure = IssuersOf(context->certificate(), issuers)) return failure;
  }
  Bytes file;
  if (const uint32_t status = platform::WritePkcs12(
          key.get(), info.keySpec, context->certificate().Der(), issuers, password, file)) {
    return StoreFailure("cannot make the PKCS#12 file", status);
  }
  std::string problem;
  if (!WritePrivateFile(request.outFile,
                        std::string_view(reinterpret_cast<const char*>(file.data()), file.size()),
                        request.force ? ExistingFile::kReplaced : ExistingFile::kKept, problem)) {
    return Failure{kStoreInvalidInput, problem};
  }
  out << "exported " << request.sha1 << " with its "
      << (info.keySpec == platform::kAtSignature ? "signature" : "exchange") << " key and "
      << issuers.size() << " issuer certificate(s) to " << request.outFile << "\n";
  return std::nullopt;
}

}  // namespace

void AddStoreCommand(CLI::App& app, std::ostream& out, std::ostream& err) {
  CLI::App* store =
      app.add_subcommand("store", "Certificate stores and key containers in the platform home");
  store->require_subcommand(1);

  auto importArguments = std::make_shared<ImportArguments>();
  CLI::App* import = store->add_subcommand("import", "Import a certificate, with its key if given");
  import->add_option("file", importArguments->file, "PKCS#12, PEM or DER file")->required();
  import->add_option("--password", importArguments->password, "Password of the PKCS#12 file");
  import->add_option("--key", importArguments->keyFile,
                     "PEM or DER private key of the certificate");
  import->add_option("--store", importArguments->store, "Target store (default MY)");
  import->add_option("--key-spec", importArguments->keySpec, "exchange (default) or signature")
      ->check(CLI::IsMember({"exchange", "signature"}));
  import->add_option("--container", importArguments->container, "Key container name");
  import->callback([importArguments, &out, &err] { Finish("store", Import(*importArguments, out), err);
});

auto storeName = std::make_shared<std::string>();
auto json = std::make_shared<bool>(false);
CLI::App* list = store->add_subcommand("list", "List certificates with their information texts");
list->add_option("--store", *storeName, "Store to list (default: MY, CA, ROOT, AddressBOOK)");
list->add_flag("--json", *json, "Print JSON");
list->callback([storeName, json, &out, &err] {
  Finish("store", List(*storeName, *json, out), err);
});

auto thumbprint = std::make_shared<std::string>();
CLI::App* remove = store->add_subcommand("remove", "Remove a certificate from a store");
remove->add_option("--store", *storeName, "Store")->required();
remove->add_option("sha1", *thumbprint, "Thumbprint as `list` shows it")->required();
remove->callback([storeName, thumbprint, &out, &err] {
  Finish("store", Remove(*storeName, *thumbprint, out), err);
});

auto outFile = std::make_shared<std::string>();
auto pem = std::make_shared<bool>(false);
CLI::App* exportCommand = store->add_subcommand("export", "Write a certificate (DER or PEM)");
exportCommand->add_option("--store", *storeName, "Store")->required();
exportCommand->add_option("sha1", *thumbprint, "Thumbprint as `list` shows it")->required();
exportCommand->add_option("--out", *outFile, "Output file (default: standard output)");
exportCommand->add_flag("--pem", *pem, "Write PEM instead of DER");
auto pkcs12 = std::make_shared<bool>(false);
auto pkcs12Export = std::make_shared<Pkcs12Export>();
exportCommand->add_flag("--pkcs12", *pkcs12,
                        "Write a PKCS#12 file with the certificate's private key (needs --out "
                        "and --password-file)");
exportCommand->add_option("--password-file", pkcs12Export->passwordFile,
                          "File whose first line is the PKCS#12 password");
exportCommand->add_flag("--chain", pkcs12Export->chain,
                        "Add the issuers found in CA and ROOT to the PKCS#12 file");
exportCommand->add_flag("--force", pkcs12Export->force, "Replace an existing PKCS#12 file");
exportCommand->callback([storeName, thumbprint, outFile, pem, pkcs12, pkcs12Export, &out, &err] {
  if (*pkcs12) {
    pkcs12Export->storeName = *storeName;
    pkcs12Export->sha1 = *thumbprint;
    pkcs12Export->outFile = *outFile;
    Finish("store", ExportPkcs12(*pkcs12Export, out), err);
  } else {
    Finish("store", Export(*storeName, *thumbprint, *outFile, *pem, out), err);
  }
});

AddStoreCrlCommands(*store, out, err);
}  // namespace quorvel::tools

}  // namespace quorvel::tools
