#include "tools/store_crl_command.h"

#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/certificates/name_string.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/crl_openssl.h"
#include "platform/text/code_page.h"
#include "tools/store_command.h"
#include "tools/store_files.h"

namespace quorvel::tools {
namespace {

using platform::Bytes;

std::optional<Failure> OpenStore(const std::string& name,
                                 std::unique_ptr<platform::CertStore>& store) {
  if (const platform::Status status = platform::CertStore::OpenSystemStore(name, store);
      status != platform::error::kOk) {
    return StoreFailure("cannot open store " + name, status);
  }
  return std::nullopt;
}

std::optional<Failure> ReadCrls(const std::string& name,
                                std::unique_ptr<platform::CertStore>& store,
                                std::vector<platform::StoredCrl>& crls) {
  if (auto failure = OpenStore(name, store)) return failure;
  if (const platform::Status status = store->Crls(crls); status != platform::error::kOk) {
    return StoreFailure("cannot read the CRLs of " + name, status);
  }
  return std::nullopt;
}

std::optional<Failure> ImportCrl(const std::string& path, const std::string& storeName,
                                 std::ostream& out) {
  Bytes bytes;
  if (auto failure = ReadFile(path, bytes)) return failure;
  std::vector<Bytes> ders{bytes};
  if (LooksLikePem(bytes) && (!PemBlocks(bytes, {"X509 CRL"}, ders) || ders.size() != 1)) {
    return Failure{kStoreInvalidInput, path + " must hold one PEM CRL"};
  }
  std::unique_ptr<platform::CertStore> store;
  if (auto failure = OpenStore(storeName, store)) return failure;
  if (const platform::Status status = store->AddCrl(ders.front(), platform::AddDisposition::kNew);
      status != platform::error::kOk) {
    return StoreFailure("cannot add the CRL from " + path + " to " + store->name(), status);
  }
  out << "imported CRL " << Thumbprint(ders.front()) << " into " << store->name() << "\n";
  return std::nullopt;
}

// "2010-01-01T08:30:00Z", or null for no time.
nlohmann::json TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return nullptr;
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) return nullptr;
  return text;
}

nlohmann::json IssuerKeyId(X509_CRL* crl) {
  const platform::AuthorityKeyIdPtr authority(static_cast<AUTHORITY_KEYID*>(
      X509_CRL_get_ext_d2i(crl, NID_authority_key_identifier, nullptr, nullptr)));
  if (!authority || authority->keyid == nullptr) return nullptr;
  return Hex({ASN1_STRING_get0_data(authority->keyid),
              static_cast<std::size_t>(ASN1_STRING_length(authority->keyid))});
}

nlohmann::json IssuerText(X509_CRL* crl) {
  platform::Bytes issuer;
  std::u16string text;
  if (platform::ToDer<i2d_X509_NAME>(X509_CRL_get_issuer(crl), issuer)) {
    static_cast<void>(platform::NameToString(issuer, platform::kX500NameStr, text));
  }
  return platform::Utf16ToUtf8(text);
}

nlohmann::json RevokedSerials(X509_CRL* crl) {
  nlohmann::json revoked = nlohmann::json::array();
  STACK_OF(X509_REVOKED)* entries = X509_CRL_get_REVOKED(crl);
  for (int i = 0; i < sk_X509_REVOKED_num(entries); ++i) {
    const ASN1_INTEGER* serial = X509_REVOKED_get0_serialNumber(sk_X509_REVOKED_value(entries, i));
    revoked.push_back(
        Hex({ASN1_STRING_get0_data(serial), static_cast<std::size_t>(ASN1_STRING_length(serial))}));
  }
  return revoked;
}

std::optional<Failure> ListCrls(const std::string& storeName, bool json, std::ostream& out) {
  nlohmann::json all = nlohmann::json::array();
  for (const std::string& name : StoresToShow(storeName)) {
    std::unique_ptr<platform::CertStore> store;
    std::vector<platform::StoredCrl> crls;
    if (auto failure = ReadCrls(name, store, crls)) return failure;
    for (const platform::StoredCrl& stored : crls) {
      X509_CRL* crl = platform::X509CrlOf(stored).get();
      if (crl == nullptr) {
        return Failure{kStoreStorageFailure, "a stored CRL of " + name + " does not decode"};
      }
      all.push_back({{"store", store->name()},
                     {"sha1", Thumbprint(stored.der)},
                     {"issuer", IssuerText(crl)},
                     {"issuerKeyId", IssuerKeyId(crl)},
                     {"thisUpdate", TimeText(X509_CRL_get0_lastUpdate(crl))},
                     {"nextUpdate", TimeText(X509_CRL_get0_nextUpdate(crl))},
                     {"revoked", RevokedSerials(crl)}});
    }
  }
  if (json) {
    out << all.dump(2) << "\n";
    return std::nullopt;
  }
  const auto text = [](const nlohmann::json& value) {
    return value.is_null() ? std::string("none") : value.get<std::string>();
  };
  for (const auto& entry : all) {
    out << "[" << entry["store"].get<std::string>() << "] " << entry["sha1"].get<std::string>()
        << "\n  issuer:    " << entry["issuer"].get<std::string>()
        << "\n  issuer id: " << text(entry["issuerKeyId"])
        << "\n  updated:   " << text(entry["thisUpdate"]) << ", next " << text(entry["nextUpdate"])
        << "\n  revoked:   " << entry["revoked"].size();
    for (const auto& serial : entry["revoked"]) out << " " << serial.get<std::string>();
    out << "\n";
  }
  return std::nullopt;
}

std::optional<Failure> RemoveCrl(const std::string& storeName, const std::string& sha1,
                                 std::ostream& out) {
  std::unique_ptr<platform::CertStore> store;
  std::vector<platform::StoredCrl> crls;
  if (auto failure = ReadCrls(storeName, store, crls)) return failure;
  for (const platform::StoredCrl& stored : crls) {
    if (Thumbprint(stored.der) != sha1) continue;
    if (const platform::Status status = store->DeleteCrl(stored.entry);
        status != platform::error::kOk) {
      return StoreFailure("cannot remove CRL " + sha1, status);
    }
    out << "removed CRL " << sha1 << " from " << store->name() << "\n";
    return std::nullopt;
  }
  return Failure{kStoreNotFound, "no CRL " + sha1 + " in " + store->name()};
}

}  // namespace

void AddStoreCrlCommands(CLI::App& store, std::ostream& out, std::ostream& err) {
  auto file = std::make_shared<std::string>();
  auto storeName = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto thumbprint = std::make_shared<std::string>();

  CLI::App* importCrl = store.add_subcommand("import-crl", "Import a CRL (PEM or DER)");
  importCrl->add_option("file", *file, "CRL file")->required();
  importCrl->add_option("--store", *storeName, "Target store (default CA)");
  importCrl->callback([file, storeName, &out, &err] {
    const std::string target = storeName->empty() ? std::string(platform::kStoreCa) : *storeName;
    Finish("store", ImportCrl(*file, target, out), err);
  });

  CLI::App* listCrls = store.add_subcommand("list-crls", "List the CRLs of the stores");
  listCrls->add_option("--store", *storeName, "Store (default: all four system stores)");
  listCrls->add_flag("--json", *json, "Print JSON");
  listCrls->callback(
      [storeName, json, &out, &err] { Finish("store", ListCrls(*storeName, *json, out), err); });

  CLI::App* removeCrl = store.add_subcommand("remove-crl", "Remove a CRL from a store");
  removeCrl->add_option("--store", *storeName, "Store")->required();
  removeCrl->add_option("sha1", *thumbprint, "Thumbprint as `list-crls` shows it")->required();
  removeCrl->callback([storeName, thumbprint, &out, &err] {
    Finish("store", RemoveCrl(*storeName, *thumbprint, out), err);
  });
}

}  // namespace quorvel::tools
