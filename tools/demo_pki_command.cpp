#include "tools/demo_pki_command.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "certs/cert_info.h"
#include "platform/crypto/key_openssl.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/platform_errors.h"
#include "platform/storage/database.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/code_page.h"

namespace quorvel::tools {
namespace {

using platform::Bytes;
namespace error = platform::error;

constexpr std::string_view kDemoMarker = "quorvel demo-pki";
constexpr const char* kCrlUrl = "URI:http://pki.zuvirorori.example/zazu.crl";

struct Failure {
  int exitCode = 0;
  std::string message;
};

// One attribute of a name: its key and value; `bmp` asks for a BMPString.
struct NamePart {
  const char* key;
  std::string value;
  bool bmp = false;
};

// One certificate of the hierarchy.
struct Member {
  std::string label;              // short name for --json and the docs
  std::vector<NamePart> subject;  // in encoded order
  std::string store;              // where it goes
  std::vector<uint8_t> serial;    // big-endian
  unsigned bits = 2048;
  std::optional<uint32_t> keySpec;  // stored with a key-provider property
  std::string notBefore = "20240101000000Z";
  std::string notAfter = "20491231235959Z";
  bool ca = false;
  std::string issuer;  // label of the issuer ("" = self-signed)
  bool revoked = false;
  std::string note;
};

std::vector<Member> Hierarchy() {
  std::vector<Member> members;
  members.push_back({"root",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "ZuvirOrori Root CA"}},
                     "ROOT",
                     {0x01},
                     2048,
                     std::nullopt,
                     "20200101000000Z",
                     "20491231235959Z",
                     true,
                     "",
                     false,
                     "trust anchor"});
  members.push_back({"zazu",
                     {{"O", "ZuvirOrori"}, {"OU", "config"}, {"CN", "ZAZU"}},
                     "CA",
                     {0x02},
                     2048,
                     std::nullopt,
                     "20200101000000Z",
                     "20491231235959Z",
                     true,
                     "root",
                     false,
                     "intermediate CA; issues every end-entity certificate"});
  members.push_back({"zhang-san",
                     {{"CN", "Zhang San"}, {"O", "ZuvirOrori"}, {"C", "CN"}},
                     "MY",
                     {0x10, 0x01},
                     2048,
                     platform::kAtKeyExchange,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "encoded CN first; exchange key"});
  members.push_back({"zhang-wei",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "Zhang Wei"}},
                     "MY",
                     {0x9A, 0x31, 0x44, 0x02},
                     2048,
                     platform::kAtSignature,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "encoded C first; signature key; serial's first octet 0x9A"});
  members.push_back({"zhang-sanfeng",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "张三丰"}},
                     "MY",
                     {0x10, 0x03},
                     2048,
                     platform::kAtKeyExchange,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "Chinese common name (UTF8String); exchange key"});
  members.push_back({"li-si",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "李四", true}},
                     "MY",
                     {0x10, 0x04},
                     2048,
                     platform::kAtSignature,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "Chinese common name (BMPString); signature key"});
  members.push_back({"legacy-1024",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "Legacy Key 1024"}},
                     "MY",
                     {0x10, 0x05},
                     1024,
                     platform::kAtKeyExchange,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "1024-bit RSA key; exchange key"});
  members.push_back({"expired",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "Expired User"}},
                     "MY",
                     {0x10, 0x06},
                     2048,
                     platform::kAtKeyExchange,
                     "20150101000000Z",
                     "20160101000000Z",
                     false,
                     "zazu",
                     false,
                     "expired on 2016-01-01"});
  members.push_back({"revoked",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "Revoked User"}},
                     "MY",
                     {0x10, 0x07},
                     2048,
                     platform::kAtKeyExchange,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     true,
                     "revoked: on ZAZU's CRL in CA"});
  members.push_back({"no-key",
                     {{"C", "CN"}, {"O", "ZuvirOrori"}, {"CN", "No Key Holder"}},
                     "MY",
                     {0x10, 0x08},
                     2048,
                     std::nullopt,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "no key-provider property"});
  members.push_back({"elsewhere-ca",
                     {{"C", "CN"}, {"O", "Elsewhere"}, {"CN", "Elsewhere CA"}},
                     "",
                     {0x03},
                     2048,
                     std::nullopt,
                     "20200101000000Z",
                     "20491231235959Z",
                     true,
                     "",
                     false,
                     "not stored: issuer of the orphan certificate"});
  members.push_back({"orphan",
                     {{"C", "CN"}, {"O", "Elsewhere"}, {"CN", "Orphan User"}},
                     "MY",
                     {0x30, 0x01},
                     2048,
                     platform::kAtKeyExchange,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "elsewhere-ca",
                     false,
                     "issuer in neither CA nor ROOT"});
  members.push_back({"recipient-one",
                     {{"C", "CN"}, {"O", "Partner Bank"}, {"CN", "Recipient One"}},
                     "AddressBOOK",
                     {0x20, 0x01},
                     2048,
                     std::nullopt,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "envelope recipient"});
  members.push_back({"recipient-two",
                     {{"C", "CN"}, {"O", "Partner Bank"}, {"CN", "Recipient Two"}},
                     "AddressBOOK",
                     {0x20, 0x02},
                     2048,
                     std::nullopt,
                     "20240101000000Z",
                     "20491231235959Z",
                     false,
                     "zazu",
                     false,
                     "envelope recipient"});
  return members;
}

// A member once made: its key and certificate.
struct Made {
  const Member* member = nullptr;
  platform::EvpPkeyPtr key;
  platform::X509Ptr certificate;
  Bytes der;
};

std::optional<Failure> CryptoFailure(const std::string& what) {
  return Failure{kDemoPkiCryptoFailure, what};
}

platform::X509NamePtr BuildName(const std::vector<NamePart>& parts) {
  platform::X509NamePtr name(X509_NAME_new());
  if (!name) return name;
  for (const NamePart& part : parts) {
    int ok = 0;
    if (part.bmp) {
      const std::u16string text = platform::Utf8ToUtf16(part.value);
      std::string bytes;
      for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c >> 8));
        bytes.push_back(static_cast<char>(c & 0xFF));
      }
      ok = X509_NAME_add_entry_by_txt(name.get(), part.key, V_ASN1_BMPSTRING,
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()), -1, 0);
    } else {
      // Country codes are PrintableStrings; everything else UTF8String.
      const int type = std::string_view(part.key) == "C" ? V_ASN1_PRINTABLESTRING : MBSTRING_UTF8;
      ok = X509_NAME_add_entry_by_txt(name.get(), part.key, type,
                                      reinterpret_cast<const unsigned char*>(part.value.data()),
                                      static_cast<int>(part.value.size()), -1, 0);
    }
    if (ok != 1) return nullptr;
  }
  return name;
}

bool AddExtension(X509* certificate, X509V3_CTX& context, int nid, const char* value) {
  platform::OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free> extension(
      X509V3_EXT_nconf_nid(nullptr, &context, nid, value));
  return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool SetTime(X509* certificate, const std::string& notBefore, const std::string& notAfter) {
  platform::Asn1TimePtr from(ASN1_TIME_new());
  platform::Asn1TimePtr to(ASN1_TIME_new());
  return from && to && ASN1_TIME_set_string_X509(from.get(), notBefore.c_str()) == 1 &&
         ASN1_TIME_set_string_X509(to.get(), notAfter.c_str()) == 1 &&
         X509_set1_notBefore(certificate, from.get()) == 1 &&
         X509_set1_notAfter(certificate, to.get()) == 1;
}

std::optional<Failure> MakeMember(const Member& member, const Made* issuer, Made& made) {
  made.member = &member;
  platform::EvpPkeyCtxPtr keyContext(
      EVP_PKEY_CTX_new_from_name(platform::CryptoLibrary(), "RSA", platform::kCryptoProperties));
  EVP_PKEY* key = nullptr;
  if (!keyContext || EVP_PKEY_keygen_init(keyContext.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(keyContext.get(), static_cast<int>(member.bits)) != 1 ||
      EVP_PKEY_generate(keyContext.get(), &key) != 1) {
    return CryptoFailure("cannot generate the key of " + member.label);
  }
  made.key.reset(key);

  made.certificate.reset(X509_new_ex(platform::CryptoLibrary(), platform::kCryptoProperties));
  X509* certificate = made.certificate.get();
  platform::X509NamePtr subject = BuildName(member.subject);
  platform::BignumPtr serialNumber(
      BN_bin2bn(member.serial.data(), static_cast<int>(member.serial.size()), nullptr));
  platform::Asn1IntegerPtr serial(serialNumber ? BN_to_ASN1_INTEGER(serialNumber.get(), nullptr)
                                               : nullptr);
  X509* issuerCertificate = issuer != nullptr ? issuer->certificate.get() : certificate;
  EVP_PKEY* signer = issuer != nullptr ? issuer->key.get() : made.key.get();
  if (!certificate || !subject || !serial || X509_set_version(certificate, X509_VERSION_3) != 1 ||
      X509_set_serialNumber(certificate, serial.get()) != 1 ||
      X509_set_subject_name(certificate, subject.get()) != 1 ||
      X509_set_issuer_name(certificate, issuer != nullptr
                                            ? X509_get_subject_name(issuer->certificate.get())
                                            : subject.get()) != 1 ||
      !SetTime(certificate, member.notBefore, member.notAfter) ||
      X509_set_pubkey(certificate, made.key.get()) != 1) {
    return CryptoFailure("cannot build the certificate of " + member.label);
  }
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuerCertificate, certificate, nullptr, nullptr, 0);
  bool ok = AddExtension(certificate, context, NID_subject_key_identifier, "hash") &&
            AddExtension(certificate, context, NID_authority_key_identifier, "keyid:always");
  if (member.ca) {
    ok = ok && AddExtension(certificate, context, NID_basic_constraints, "critical,CA:TRUE") &&
         AddExtension(certificate, context, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    const char* usage = member.keySpec == platform::kAtSignature
                            ? "critical,digitalSignature,nonRepudiation"
                            : "critical,digitalSignature,keyEncipherment,dataEncipherment";
    ok = ok && AddExtension(certificate, context, NID_basic_constraints, "CA:FALSE") &&
         AddExtension(certificate, context, NID_key_usage, usage) &&
         AddExtension(certificate, context, NID_ext_key_usage, "clientAuth,emailProtection");
    if (member.issuer == "zazu") {
      ok = ok && AddExtension(certificate, context, NID_crl_distribution_points, kCrlUrl);
    }
  }
  if (!ok) return CryptoFailure("cannot add the extensions of " + member.label);
  if (X509_sign(certificate, signer, EVP_sha256()) <= 0) {
    return CryptoFailure("cannot sign the certificate of " + member.label);
  }
  if (!platform::ToDer<i2d_X509>(certificate, made.der)) {
    return CryptoFailure("cannot encode the certificate of " + member.label);
  }
  return std::nullopt;
}

std::optional<Failure> MakeCrl(const Made& issuer, const std::vector<const Made*>& revoked,
                               Bytes& der) {
  platform::X509CrlPtr crl(X509_CRL_new_ex(platform::CryptoLibrary(), platform::kCryptoProperties));
  platform::Asn1TimePtr lastUpdate(ASN1_TIME_new());
  platform::Asn1TimePtr nextUpdate(ASN1_TIME_new());
  if (!crl || !lastUpdate || !nextUpdate ||
      ASN1_TIME_set_string_X509(lastUpdate.get(), "20240601000000Z") != 1 ||
      ASN1_TIME_set_string_X509(nextUpdate.get(), "20491231000000Z") != 1 ||
      X509_CRL_set_version(crl.get(), X509_CRL_VERSION_2) != 1 ||
      X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuer.certificate.get())) != 1 ||
      X509_CRL_set1_lastUpdate(crl.get(), lastUpdate.get()) != 1 ||
      X509_CRL_set1_nextUpdate(crl.get(), nextUpdate.get()) != 1) {
    return CryptoFailure("cannot build the CRL");
  }
  for (const Made* made : revoked) {
    X509_REVOKED* entry = X509_REVOKED_new();
    if (entry == nullptr ||
        X509_REVOKED_set_serialNumber(entry, X509_get_serialNumber(made->certificate.get())) != 1 ||
        X509_REVOKED_set_revocationDate(entry, lastUpdate.get()) != 1 ||
        X509_CRL_add0_revoked(crl.get(), entry) != 1) {
      X509_REVOKED_free(entry);
      return CryptoFailure("cannot list a revoked certificate");
    }
  }
  if (X509_CRL_sort(crl.get()) != 1 ||
      X509_CRL_sign(crl.get(), issuer.key.get(), EVP_sha256()) <= 0) {
    return CryptoFailure("cannot sign the CRL");
  }
  if (!platform::ToDer<i2d_X509_CRL>(crl.get(), der)) return CryptoFailure("cannot encode the CRL");
  return std::nullopt;
}

std::optional<Failure> StoreFailure(const std::string& what, platform::Status value) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", platform::ToUint(value));
  return Failure{kDemoPkiStorageFailure, what + " (" + code + ")"};
}

// Removes what an earlier run made: marked certificates, the intermediate's CRLs
// and the demo key containers.
std::optional<Failure> RemoveEarlierRun(const std::vector<Made>& made) {
  for (const std::string_view name : {platform::kStoreMy, platform::kStoreCa, platform::kStoreRoot,
                                      platform::kStoreAddressBook}) {
    std::unique_ptr<platform::CertStore> store;
    if (const platform::Status status = platform::CertStore::OpenSystemStore(name, store);
        status != platform::error::kOk) {
      return StoreFailure("cannot open store " + std::string(name), status);
    }
    std::vector<platform::CertContextRef> contexts;
    if (const platform::Status status = store->Certificates(contexts);
        status != platform::error::kOk) {
      return StoreFailure("cannot read store " + std::string(name), status);
    }
    for (const auto& context : contexts) {
      if (context->properties().count(kDemoPkiPropId) == 0) continue;
      if (const platform::Status status = store->DeleteCertificate(context);
          status != platform::error::kOk) {
        return StoreFailure("cannot remove an earlier demo certificate", status);
      }
    }
  }
  std::unique_ptr<platform::CertStore> ca;
  if (const platform::Status status = platform::CertStore::OpenSystemStore(platform::kStoreCa, ca);
      status != platform::error::kOk) {
    return StoreFailure("cannot open store CA", status);
  }
  std::vector<platform::StoredCrl> crls;
  if (const platform::Status status = ca->Crls(crls); status != platform::error::kOk)
    return StoreFailure("cannot read CA's CRLs", status);
  const Made* zazu = nullptr;
  for (const Made& m : made) {
    if (m.member->label == "zazu") zazu = &m;
  }
  for (const platform::StoredCrl& stored : crls) {
    const unsigned char* cursor = stored.der.data();
    platform::X509CrlPtr crl(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(stored.der.size())));
    if (!crl || zazu == nullptr ||
        X509_NAME_cmp(X509_CRL_get_issuer(crl.get()),
                      X509_get_subject_name(zazu->certificate.get())) != 0) {
      continue;
    }
    if (const platform::Status status = ca->DeleteCrl(stored.entry);
        status != platform::error::kOk) {
      return StoreFailure("cannot remove an earlier demo CRL", status);
    }
  }
  for (const Made& m : made) {
    if (!m.member->keySpec) continue;
    std::unique_ptr<platform::KeyContainer> gone;
    const platform::Status status = platform::KeyContainer::Acquire(
        platform::Utf8ToUtf16("demo-" + m.member->label), platform::kMsStrongProvider,
        platform::kProvRsaFull, platform::kCryptDeleteKeyset, gone);
    if (status != error::kOk && status != error::kBadKeyset) {
      return StoreFailure("cannot remove an earlier demo key container", status);
    }
  }
  return std::nullopt;
}

std::optional<Failure> StoreAll(const std::vector<Made>& made, const Bytes& crl) {
  for (const Made& m : made) {
    if (m.member->store.empty()) continue;
    platform::CertContext::Properties properties;
    properties[kDemoPkiPropId] = Bytes(kDemoMarker.begin(), kDemoMarker.end());
    if (m.member->keySpec) {
      std::unique_ptr<platform::KeyContainer> container;
      if (const platform::Status status = platform::KeyContainer::Acquire(
              platform::Utf8ToUtf16("demo-" + m.member->label), platform::kMsStrongProvider,
              platform::kProvRsaFull, platform::kCryptNewKeyset, container);
          status != platform::error::kOk) {
        return StoreFailure("cannot create the key container of " + m.member->label, status);
      }
      if (const platform::Status status =
              container->ImportKey(*m.member->keySpec, platform::SharedKey(m.key.get()));
          status != platform::error::kOk) {
        return StoreFailure("cannot store the key of " + m.member->label, status);
      }
      properties[platform::kKeyProvInfoPropId] = container->ProvInfo(*m.member->keySpec).Encode();
    }
    std::unique_ptr<platform::CertStore> store;
    if (const platform::Status status =
            platform::CertStore::OpenSystemStore(m.member->store, store);
        status != platform::error::kOk) {
      return StoreFailure("cannot open store " + m.member->store, status);
    }
    // A certificate equal to one already there is impossible (fresh keys), so
    // any duplicate is an error.
    if (const platform::Status status =
            store->AddCertificate(m.der, properties, platform::AddDisposition::kNew, nullptr);
        status != platform::error::kOk) {
      return StoreFailure("cannot add the certificate of " + m.member->label, status);
    }
  }
  std::unique_ptr<platform::CertStore> ca;
  if (const platform::Status status = platform::CertStore::OpenSystemStore(platform::kStoreCa, ca);
      status != platform::error::kOk) {
    return StoreFailure("cannot open store CA", status);
  }
  if (const platform::Status status = ca->AddCrl(crl, platform::AddDisposition::kNew);
      status != platform::error::kOk) {
    return StoreFailure("cannot add the CRL", status);
  }
  return std::nullopt;
}

nlohmann::json Describe(const Made& made) {
  platform::CertContextRef context;
  certs::CertInfoRecord record;
  // A certificate whose texts cannot be made is described without them.
  if (platform::CreateCertificateContext(made.der, context) != error::kOk ||
      certs::FillCertInfo(context.get(), &record) != err::kOk) {
    record = {};
  }
  const Member& member = *made.member;
  nlohmann::json entry = {
      {"label", member.label},
      {"subject", platform::Utf16ToUtf8(record[0])},
      {"issuer", platform::Utf16ToUtf8(record[1])},
      {"notBefore", platform::Utf16ToUtf8(record[2])},
      {"notAfter", platform::Utf16ToUtf8(record[3])},
      {"serial", platform::Utf16ToUtf8(record[4])},
      {"store", member.store.empty() ? nlohmann::json(nullptr) : nlohmann::json(member.store)},
      {"keyBits", member.bits},
      {"revoked", member.revoked},
      {"note", member.note},
  };
  if (member.keySpec) {
    entry["keySpec"] = *member.keySpec == platform::kAtSignature ? "signature" : "exchange";
    entry["container"] = "demo-" + member.label;
  } else {
    entry["keySpec"] = nullptr;
    entry["container"] = nullptr;
  }
  return entry;
}

std::optional<Failure> Run(bool json, std::ostream& out) {
  const std::vector<Member> members = Hierarchy();
  std::vector<Made> made(members.size());
  // Issuers come before what they issue in the list.
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Made* issuer = nullptr;
    for (std::size_t k = 0; k < i; ++k) {
      if (members[k].label == members[i].issuer) issuer = &made[k];
    }
    if (!members[i].issuer.empty() && issuer == nullptr) {
      return CryptoFailure("no issuer for " + members[i].label);
    }
    if (auto failure = MakeMember(members[i], issuer, made[i])) return failure;
  }
  std::vector<const Made*> revoked;
  const Made* zazu = nullptr;
  for (const Made& m : made) {
    if (m.member->revoked) revoked.push_back(&m);
    if (m.member->label == "zazu") zazu = &m;
  }
  Bytes crl;
  if (auto failure = MakeCrl(*zazu, revoked, crl)) return failure;

  std::shared_ptr<platform::Database> database;
  if (const std::error_code ec = platform::SharedDatabase(database)) {
    return Failure{kDemoPkiStorageFailure, "cannot open the home database: " + ec.message()};
  }
  std::optional<Failure> inside;
  const std::error_code ec = database->Transact([&]() -> std::error_code {
    inside = RemoveEarlierRun(made);
    if (!inside) inside = StoreAll(made, crl);
    return inside ? std::make_error_code(std::errc::operation_canceled) : std::error_code{};
  });
  if (inside) return inside;
  if (ec) return Failure{kDemoPkiStorageFailure, "the demo PKI was not stored: " + ec.message()};

  nlohmann::json all = nlohmann::json::array();
  for (const Made& m : made) all.push_back(Describe(m));
  if (json) {
    out << all.dump(2) << "\n";
  } else {
    for (const auto& entry : all) {
      out << (entry["store"].is_null() ? std::string("-") : entry["store"].get<std::string>())
          << "\t" << entry["serial"].get<std::string>() << "\t"
          << entry["subject"].get<std::string>() << "\n";
    }
  }
  return std::nullopt;
}

}  // namespace

void AddDemoPkiCommand(CLI::App& app, std::ostream& out, std::ostream& err) {
  CLI::App* command = app.add_subcommand(
      "demo-pki", "Fill the platform home with the documented demo certificate hierarchy");
  auto json = std::make_shared<bool>(false);
  command->add_flag("--json", *json, "Print what was made as JSON");
  command->callback([json, &out, &err] {
    if (const auto failure = Run(*json, out)) {
      err << "quorvel demo-pki: " << failure->message << "\n";
      throw CLI::RuntimeError(failure->exitCode);
    }
  });
}

}  // namespace quorvel::tools
