#include "tools/store_command.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "certs/cert_info.h"
#include "platform/certificates/certificate_openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/text/code_page.h"
#include "tools/command_failure.h"
#include "tools/store_crl_command.h"
#include "tools/store_export.h"
#include "tools/store_files.h"
#include "tools/store_import.h"

namespace quorvel::tools {
namespace {

using platform::Bytes;
namespace error = platform::error;

nlohmann::json KeyIdText(const ASN1_OCTET_STRING* keyId) {
  if (keyId == nullptr) return nullptr;
  return Hex({ASN1_STRING_get0_data(keyId), static_cast<std::size_t>(ASN1_STRING_length(keyId))});
}

nlohmann::json DescribeCertificate(const platform::CertContextRef& context,
                                   const std::string& storeName) {
  certs::CertInfoRecord record;
  const ErrorNumber filled = certs::FillCertInfo(context.get(), &record);
  nlohmann::json entry;
  entry["store"] = storeName;
  entry["sha1"] = Hex(context->certificate().Sha1());
  static constexpr const char* kFields[] = {"subject", "issuer", "notBefore", "notAfter", "serial"};
  for (std::size_t i = 0; i < record.size(); ++i) {
    entry[kFields[i]] = filled == err::kOk ? platform::Utf16ToUtf8(record[i]) : std::string();
  }
  X509* x509 = X509Of(context->certificate());
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
    if (const platform::Status status = platform::CertStore::OpenSystemStore(name, store);
        status != platform::error::kOk) {
      return StoreFailure("cannot open store " + name, status);
    }
    std::vector<platform::CertContextRef> contexts;
    if (const platform::Status status = store->Certificates(contexts);
        status != platform::error::kOk) {
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

std::optional<Failure> Remove(const std::string& storeName, const std::string& sha1,
                              std::ostream& out) {
  std::unique_ptr<platform::CertStore> store;
  platform::CertContextRef context;
  if (auto failure = FindByThumbprint(storeName, sha1, store, context)) return failure;
  if (const platform::Status status = store->DeleteCertificate(context);
      status != platform::error::kOk) {
    return StoreFailure("cannot remove " + sha1, status);
  }
  out << "removed " << sha1 << " from " << store->name() << "\n";
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
