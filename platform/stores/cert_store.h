// Certificate stores of the current user, kept in the home database.
//
// A store is opened by name (compared without regard to case; a store that does
// not exist yet is created). Its certificates come in store order, the order in
// which they were added. Each change (a certificate with its properties, a
// property, a removal, a CRL) is one transaction, so another process sees the
// store either before or after it. A store handle reads a fresh snapshot each
// time an enumeration or a find starts from the beginning, and walks that snapshot
// to its end, as the platform's stores do.
//
// "MY" also lists the certificates on the hardware tokens of the registered
// PKCS#11 modules, after the home's own and read anew with each snapshot,
// each with a key-provider property naming its token (kTokenProvider). They
// are never written to the home; setting a property on one or deleting it
// gives kNotFound.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/certificates/certificate.h"
#include "platform/errors/platform_errors.h"
#include "platform/tokens/token_location.h"

namespace quorvel::platform {

class Database;

inline constexpr std::string_view kStoreMy = "MY";
inline constexpr std::string_view kStoreCa = "CA";
inline constexpr std::string_view kStoreRoot = "ROOT";
inline constexpr std::string_view kStoreAddressBook = "AddressBOOK";

// What AddCertificate does when the store already holds the certificate.
enum class AddDisposition {
  kNew,              // fail with kObjectExists
  kUseExisting,      // keep the stored entry and its properties
  kReplaceExisting,  // keep its place in the store, replace its properties
};

enum class FindType {
  kAny,
  kSubjectStr,   // case-insensitive substring of the subject's simple name string
  kIssuerStr,    // the same for the issuer
  kSubjectName,  // encoded subject equal to `bytes`
  kIssuerName,   // encoded issuer equal to `bytes`
  kSha1Hash,     // SHA-1 of the certificate equal to `bytes`
};

struct CertFind {
  FindType type = FindType::kAny;
  std::u16string text;
  Bytes bytes;
};

// A CRL as the library parsed it, known only to the platform's own sources.
struct ParsedCrl;

struct StoredCrl {
  int64_t entry = 0;
  Bytes der;
  // The CRL parsed in the platform's context, shared by every reader of the
  // same snapshot and only ever read; null when the bytes do not parse.
  std::shared_ptr<const ParsedCrl> parsed;
};

class CertStore {
 public:
  // Opens (creating when missing) the current user's store `name`.
  static Status OpenSystemStore(std::string_view name, std::unique_ptr<CertStore>& store);

  CertStore(const CertStore&) = delete;
  CertStore& operator=(const CertStore&) = delete;
  ~CertStore();

  // The name as the store was created.
  const std::string& name() const { return name_; }

  // The platform's own store, where the platform has stores of its own (null
  // elsewhere), known only to the platform's own sources.
  struct Native;
  const Native* native() const { return native_.get(); }

  // Every certificate, in store order, from one snapshot.
  Status Certificates(std::vector<CertContextRef>& contexts);

  // The certificate after `previous` (null starts with a fresh snapshot);
  // kNotFound after the last one.
  Status Enumerate(const CertContextRef& previous, CertContextRef& next);

  // The next certificate after `previous` (null starts) that matches; kNotFound
  // when none does.
  Status Find(const CertFind& criterion, const CertContextRef& previous, CertContextRef& found);

  // Adds DER bytes with `properties`, atomically. `added` (when given) receives
  // the stored context.
  Status AddCertificate(std::span<const uint8_t> der, const CertContext::Properties& properties,
                        AddDisposition disposition, CertContextRef* added);

  // Sets (or, with no value, removes) one property of a stored certificate.
  Status SetProperty(const CertContextRef& context, uint32_t id,
                     std::optional<std::span<const uint8_t>> value, CertContextRef* updated);

  // Removes a stored certificate with its properties; kNotFound when it is gone.
  Status DeleteCertificate(const CertContextRef& context);

  // CRLs of the store, in the order they were added. AddCrl checks the bytes
  // parse as a CRL and keeps one copy of each.
  Status AddCrl(std::span<const uint8_t> der, AddDisposition disposition);
  Status Crls(std::vector<StoredCrl>& crls);
  Status DeleteCrl(int64_t entry);

 private:
  CertStore(std::shared_ptr<Database> database, int64_t id, std::string name);
  Status LoadSnapshot();
  Status LoadEntry(int64_t entry, CertContextRef& context);

  std::shared_ptr<Database> database_;
  int64_t id_ = 0;
  std::string name_;
  std::shared_ptr<Native> native_;
  // Shared with the other handles that read the store at the same stamp.
  std::shared_ptr<const std::vector<CertContextRef>> snapshot_;
};

// Where the key of a certificate on a hardware token lives; nullopt for a
// certificate whose key-provider property names no token.
std::optional<TokenKeyLocation> TokenLocationOf(const CertContext& context);

// True when `criterion` matches the certificate.
bool MatchesFind(const CertFind& criterion, const Certificate& certificate);

// Case-insensitive substring search over UTF-16 text (full Unicode case folding).
bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view part);

}  // namespace quorvel::platform
