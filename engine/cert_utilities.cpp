#include "engine/cert_utilities.h"

#include <memory>
#include <new>
#include <unordered_map>

#include "certs/cert_info.h"
#include "certs/info_text.h"
#include "certs/selection.h"
#include "engine/engine_errors.h"
#include "engine/provider.h"
#include "platform/certificates/extension_format.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/code_page.h"

namespace quorvel::engine {

ErrorNumber GetCertExtensionValue(std::u16string_view dn, std::u16string_view oid,
                                  uint32_t codePage, std::u16string& text) {
  if (dn.empty() || oid.empty()) return err::kEmptyInput;
  try {
    EngineSetup setup;
    if (const ErrorNumber prepared =
            AcquireProviderAndStores(platform::kMsEnhancedProvider,
                                     {platform::kStoreCa, platform::kStoreRoot,
                                      platform::kStoreAddressBook, platform::kStoreMy},
                                     setup);
        prepared != err::kOk) {
      return prepared;
    }
    const platform::CertContextRef certificate =
        certs::FindCertByExactDN(setup.stores.set(), dn, dn.size());
    if (!certificate) return err::kNoCertificate;

    std::string dotted;
    if (platform::EncodeToCodePage(codePage, oid, dotted) != platform::CodePageStatus::kOk) {
      return err::kToCodePage;
    }
    const platform::Extension* extension =
        platform::FindExtension(certificate->certificate(), dotted);
    if (extension == nullptr) return err::kNoExtension;

    std::u16string formatted;
    if (platform::FormatExtension(extension->oid, extension->value, formatted) !=
        platform::error::kOk) {
      return err::kDecodeField;
    }
    text = std::move(formatted);
    return err::kOk;
  } catch (const std::bad_alloc&) {
    return err::kNoMemory;
  }
}

int32_t CertExists(std::u16string_view dn) {
  try {
    EngineSetup setup;
    if (const ErrorNumber prepared =
            AcquireProviderAndStores(platform::kMsEnhancedProvider, {platform::kStoreMy}, setup);
        prepared != err::kOk) {
      return ToInt(prepared);
    }
    if (dn.empty()) return 0;
    if (certs::FindCertByExactDN(setup.stores.set(), dn, dn.size())) return 1;
    const std::u16string reversed = certs::ReverseDN(dn);
    return certs::FindCertByExactDN(setup.stores.set(), reversed, reversed.size()) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return ToInt(err::kNoMemory);
  }
}

namespace {

// A certificate of a store with the two texts the issuer search compares,
// read once however many issuer DNs are compared with them.
struct IssuedCertificate {
  platform::CertContextRef context;
  std::u16string issuer;
  std::u16string subject;
};

// The certificates of `stores`, stores in order and each in store order, from
// one snapshot of each store. A store whose snapshot cannot be read, and a
// certificate whose texts cannot be made, contribute nothing.
std::vector<IssuedCertificate> ReadIssuedCertificates(certs::StoreSet stores) {
  std::vector<IssuedCertificate> issued;
  for (platform::CertStore* store : stores) {
    if (store == nullptr) continue;
    std::vector<platform::CertContextRef> contexts;
    if (store->Certificates(contexts) != platform::error::kOk) continue;
    issued.reserve(issued.size() + contexts.size());
    for (platform::CertContextRef& context : contexts) {
      IssuedCertificate certificate{std::move(context), {}, {}};
      if (!certs::ReadInfoText(*certificate.context, certs::kInfoIssuer, certificate.issuer) ||
          !certs::ReadInfoText(*certificate.context, certs::kInfoSubject, certificate.subject)) {
        continue;
      }
      issued.push_back(std::move(certificate));
    }
  }
  return issued;
}

// The positions in `issued` of the certificates whose issuer text is exactly
// `issuerDn` (normalised), in order.
std::vector<size_t> IssuedBy(const std::vector<IssuedCertificate>& issued,
                             std::u16string_view issuerDn) {
  // The platform's issuer search ignores case and matches substrings, so it
  // only narrows; the exact comparison decides.
  platform::CertFind criterion;
  criterion.type = platform::FindType::kIssuerStr;
  criterion.text = certs::ShortName(issuerDn);
  const std::u16string wanted = certs::NormalizeDN(issuerDn);
  std::vector<size_t> positions;
  for (size_t i = 0; i < issued.size(); ++i) {
    if (issued[i].issuer == wanted &&
        platform::MatchesFind(criterion, issued[i].context->certificate())) {
      positions.push_back(i);
    }
  }
  return positions;
}

}  // namespace

int32_t FindCertsByIssuerDN(certs::StoreSet stores, std::u16string_view issuerDn,
                            std::vector<std::u16string>& subjects) {
  try {
    const std::vector<IssuedCertificate> issued = ReadIssuedCertificates(stores);
    const std::vector<size_t> positions = IssuedBy(issued, issuerDn);
    subjects.reserve(subjects.size() + positions.size());
    for (const size_t i : positions) subjects.push_back(issued[i].subject);
    return static_cast<int32_t>(positions.size());
  } catch (const std::bad_alloc&) {
    return ToInt(err::kNoMemory);
  }
}

ErrorNumber ListSubjectsByIssuers(const std::vector<std::u16string>& issuerDns,
                                  std::vector<std::u16string>& subjects) {
  try {
    EngineStores stores;
    if (const ErrorNumber opened = OpenEngineStores(nullptr, {platform::kStoreMy}, stores);
        opened != err::kOk) {
      return opened;
    }
    // The store is read once; each distinct issuer DN is compared with its
    // certificates once, so a DN given many times costs one lookup more each.
    const std::vector<IssuedCertificate> issued = ReadIssuedCertificates(stores.set());
    std::unordered_map<std::u16string_view, std::vector<size_t>> matches;
    std::vector<const std::vector<size_t>*> perIssuer;
    perIssuer.reserve(issuerDns.size());
    size_t count = 0;
    for (const std::u16string& issuer : issuerDns) {
      auto [entry, added] = matches.try_emplace(issuer);
      if (added) entry->second = IssuedBy(issued, issuer);
      perIssuer.push_back(&entry->second);
      count += entry->second.size();
    }
    std::vector<std::u16string> collected;
    collected.reserve(count);
    for (const std::vector<size_t>* positions : perIssuer) {
      for (const size_t i : *positions) collected.push_back(issued[i].subject);
    }
    subjects.reserve(subjects.size() + collected.size());
    for (std::u16string& subject : collected) subjects.push_back(std::move(subject));
    return err::kOk;
  } catch (const std::bad_alloc&) {
    return err::kNoMemory;
  }
}

}  // namespace quorvel::engine
