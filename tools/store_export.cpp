#include "tools/store_export.h"

#include <openssl/pem.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/certificates/certificate_openssl.h"
#include "platform/certificates/pkcs12.h"
#include "platform/crypto/key_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "tools/private_file.h"
#include "tools/store_command.h"
#include "tools/store_files.h"

namespace quorvel::tools {
namespace {

using platform::Bytes;
namespace error = platform::error;

// The issuers of `certificate` found in "CA" and "ROOT", nearest first, up to
// a self-issued one.
std::optional<Failure> IssuersOf(const platform::Certificate& certificate,
                                 std::vector<Bytes>& issuers) {
  constexpr int kMaxDepth = 8;
  std::vector<platform::CertContextRef> candidates;
  for (const std::string_view name : {platform::kStoreCa, platform::kStoreRoot}) {
    std::unique_ptr<platform::CertStore> store;
    std::vector<platform::CertContextRef> contexts;
    platform::Status status = platform::CertStore::OpenSystemStore(name, store);
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

}  // namespace

std::optional<Failure> Export(const std::string& storeName, const std::string& sha1,
                              const std::string& outFile, bool pem, std::ostream& out) {
  std::unique_ptr<platform::CertStore> store;
  platform::CertContextRef context;
  if (auto failure = FindByThumbprint(storeName, sha1, store, context)) return failure;
  const auto der = context->certificate().Der();
  std::string data;
  if (pem) {
    platform::BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), X509Of(context->certificate())) != 1) {
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
  if (const platform::Status status = platform::KeyContainer::Acquire(
          std::u16string_view(info.container), info.provider, platform::kProvRsaFull, 0, container);
      status != platform::error::kOk) {
    return StoreFailure("cannot open the key container", status);
  }
  platform::Key key;
  if (const platform::Status status = container->GetUserKey(info.keySpec, key);
      status != platform::error::kOk) {
    return StoreFailure("cannot read the certificate's key", status);
  }
  std::vector<Bytes> issuers;
  if (request.chain) {
    if (auto failure = IssuersOf(context->certificate(), issuers)) return failure;
  }
  Bytes file;
  if (const platform::Status status =
          platform::WritePkcs12(platform::PkeyOf(key), info.keySpec, context->certificate().Der(),
                                issuers, password, file);
      status != platform::error::kOk) {
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

}  // namespace quorvel::tools
