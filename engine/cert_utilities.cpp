#include "engine/cert_utilities.h"

#include <memory>
#include <new>

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

int32_t GetCertExtensionValue(std::u16string_view dn, std::u16string_view oid, uint32_t codePage,
                              std::u16string& text) {
  if (dn.empty() || oid.empty()) return err::kEmptyInput;
  try {
    std::unique_ptr<platform::KeyContainer> provider;
    EngineStores stores;
    if (const int32_t prepared =
            AcquireProviderAndStores(platform::kMsEnhancedProvider,
                                     {platform::kStoreCa, platform::kStoreRoot,
                                      platform::kStoreAddressBook, platform::kStoreMy},
                                     provider, stores);
        prepared != err::kOk) {
      return prepared;
    }
    const platform::CertContextRef certificate =
        certs::FindCertByExactDN(stores.set(), dn, dn.size());
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
    std::unique_ptr<platform::KeyContainer> provider;
    EngineStores stores;
    if (const int32_t prepared = AcquireProviderAndStores(platform::kMsEnhancedProvider,
                                                          {platform::kStoreMy}, provider, stores);
        prepared != err::kOk) {
      return prepared;
    }
    if (dn.empty()) return 0;
    if (certs::FindCertByExactDN(stores.set(), dn, dn.size())) return 1;
    const std::u16string reversed = certs::ReverseDN(dn);
    return certs::FindCertByExactDN(stores.set(), reversed, reversed.size()) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return err::kNoMemory;
  }
}

int32_t FindCertsByIssuerDN(certs::StoreSet stores, std::u16string_view issuerDn,
                            std::vector<std::u16string>& subjects) {
  try {
    // The platform's issuer search ignores case and matches substrings, so it
    // only narrows the walk; the exact comparison decides.
    platform::CertFind criterion;
    criterion.type = platform::FindType::kIssuerStr;
    criterion.text = certs::ShortName(issuerDn);
    const std::u16string wanted = certs::NormalizeDN(issuerDn);
    std::vector<std::u16string> found;
    for (platform::CertStore* store : stores) {
      if (store == nullptr) continue;
      platform::CertContextRef context;
      while (store->Find(criterion, context, context) == platform::error::kOk) {
        std::u16string issuer;
        if (!certs::ReadInfoText(*context, certs::kInfoIssuer, issuer) || issuer != wanted) {
          continue;
        }
        std::u16string subject;
        if (!certs::ReadInfoText(*context, certs::kInfoSubject, subject)) continue;
        found.push_back(std::move(subject));
      }
    }
    subjects.reserve(subjects.size() + found.size());
    for (std::u16string& subject : found) subjects.push_back(std::move(subject));
    return static_cast<int32_t>(found.size());
  } catch (const std::bad_alloc&) {
    return err::kNoMemory;
  }
}

int32_t ListSubjectsByIssuers(const std::vector<std::u16string>& issuerDns,
                              std::vector<std::u16string>& subjects) {
  try {
    EngineStores stores;
    if (const int32_t opened = OpenEngineStores(nullptr, {platform::kStoreMy}, stores);
        opened != err::kOk) {
      return opened;
    }
    std::vector<std::u16string> collected;
    for (const std::u16string& issuer : issuerDns) {
      if (FindCertsByIssuerDN(stores.set(), issuer, collected) < 0) return err::kNoMemory;
    }
    subjects.reserve(subjects.size() + collected.size());
    for (std::u16string& subject : collected) subjects.push_back(std::move(subject));
    return err::kOk;
  } catch (const std::bad_alloc&) {
    return err::kNoMemory;
  }
}

}  // namespace quorvel::engine
