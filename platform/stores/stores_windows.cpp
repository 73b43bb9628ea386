// Certificate stores, key containers and RSA signatures on the platform's
// own: the current user's system stores, the cryptographic providers' key
// containers and their hash signatures. Hardware tokens come through their
// providers here.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <climits>
#include <new>
#include <string>

#include "platform/certificates/certificate_windows.h"
#include "platform/crypto/key_windows.h"
#include "platform/crypto/provider_windows.h"
#include "platform/errors/platform_errors_windows.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/cert_store_windows.h"
#include "platform/stores/key_container.h"
#include "platform/stores/key_container_windows.h"
#include "platform/stores/rsa_signature.h"
#include "platform/text/code_page.h"

namespace quorvel::platform {

namespace {

constexpr DWORD kEncoding = kCertificateEncoding;

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::u16string Narrow(const wchar_t* text) {
  return text == nullptr ? std::u16string() : std::u16string(text, text + wcslen(text));
}

Status PropertiesOf(PCCERT_CONTEXT context, CertContext::Properties& properties) {
  for (DWORD id = CertEnumCertificateContextProperties(context, 0); id != 0;
       id = CertEnumCertificateContextProperties(context, id)) {
    if (id == kSha1HashPropId) continue;  // computed from the certificate
    DWORD size = 0;
    if (CertGetCertificateContextProperty(context, id, nullptr, &size) == 0) continue;
    Bytes value(size);
    if (CertGetCertificateContextProperty(context, id, value.data(), &size) == 0) continue;
    value.resize(size);
    if (id == kKeyProvInfoPropId) {
      if (size < sizeof(CRYPT_KEY_PROV_INFO)) continue;
      value = EncodedKeyProvInfo(*reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(value.data()));
    }
    properties.emplace(id, std::move(value));
  }
  return error::kOk;
}

// Sets one property, the key-provider one from its encoding.
Status SetNativeProperty(PCCERT_CONTEXT context, uint32_t id,
                         std::optional<std::span<const uint8_t>> value) {
  if (!value) {
    return CertSetCertificateContextProperty(context, id, 0, nullptr) != 0 ? error::kOk
                                                                           : LastPlatformError();
  }
  if (id == kKeyProvInfoPropId) {
    KeyProvInfo info;
    if (const Status decoded = KeyProvInfo::Decode(*value, info); decoded != error::kOk) {
      return decoded;
    }
    return SetKeyProvInfo(context, info);
  }
  if (value->size() > static_cast<size_t>(UINT_MAX)) return error::kInvalidArgument;
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(value->size()), const_cast<BYTE*>(value->data())};
  return CertSetCertificateContextProperty(context, id, 0, &blob) != 0 ? error::kOk
                                                                       : LastPlatformError();
}

// Writes the store's changes through, so that another process sees each
// change whole once it is made, as on every platform.
Status Commit(HCERTSTORE store, Status status) {
  if (status != error::kOk) return status;
  return CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) != 0 ? error::kOk
                                                                          : LastPlatformError();
}

// The store's own context of `context`'s certificate; null when the store no
// longer holds it.
PCCERT_CONTEXT StoredContext(HCERTSTORE store, const CertContext& context) {
  const Bytes& sha1 = context.certificate().Sha1();
  CRYPT_HASH_BLOB hash{static_cast<DWORD>(sha1.size()), const_cast<BYTE*>(sha1.data())};
  return CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SHA1_HASH, &hash, nullptr);
}

}  // namespace

Status StoreContextOf(PCCERT_CONTEXT context, int64_t entry, CertContextRef& out) {
  std::shared_ptr<const Certificate> certificate;
  if (const Status parsed = Certificate::FromDer(
          std::span<const uint8_t>(context->pbCertEncoded, context->cbCertEncoded), certificate);
      parsed != error::kOk) {
    return parsed;
  }
  CertContext::Properties properties;
  if (const Status read = PropertiesOf(context, properties); read != error::kOk) return read;
  out = std::make_shared<const CertContext>(std::move(certificate), std::move(properties), entry);
  return error::kOk;
}

CertStore::CertStore(std::shared_ptr<Database> database, int64_t id, std::string name)
    : database_(std::move(database)), id_(id), name_(std::move(name)) {}

CertStore::~CertStore() = default;

Status CertStore::OpenSystemStore(std::string_view name, std::unique_ptr<CertStore>& store) {
  store.reset();
  if (name.empty() || name.find('\0') != std::string_view::npos) return error::kInvalidArgument;
  try {
    auto native = std::make_shared<Native>();
    const std::wstring wide = Wide(Utf8ToUtf16(name));
    native->store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, wide.c_str());
    if (native->store == nullptr) return LastPlatformError();
    store.reset(new CertStore(nullptr, 0, std::string(name)));
    store->native_ = std::move(native);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

// The store's certificates in its order, numbered from 1 in that order.
Status CertStore::LoadSnapshot() {
  auto snapshot = std::make_shared<std::vector<CertContextRef>>();
  PCCERT_CONTEXT context = nullptr;
  int64_t entry = 0;
  while ((context = CertEnumCertificatesInStore(native_->store, context)) != nullptr) {
    try {
      // A context that is no certificate of ours is passed over.
      CertContextRef loaded;
      if (StoreContextOf(context, ++entry, loaded) == error::kOk) {
        snapshot->push_back(std::move(loaded));
      }
    } catch (const std::bad_alloc&) {
      CertFreeCertificateContext(context);  // the walk's own reference
      throw;
    }
  }
  snapshot_ = std::move(snapshot);
  return error::kOk;
}

Status CertStore::AddCertificate(std::span<const uint8_t> der,
                                 const CertContext::Properties& properties,
                                 AddDisposition disposition, CertContextRef* added) {
  if (der.empty() || der.size() > static_cast<size_t>(INT_MAX)) return error::kAsn1Corrupt;
  const DWORD how = disposition == AddDisposition::kNew           ? CERT_STORE_ADD_NEW
                    : disposition == AddDisposition::kUseExisting ? CERT_STORE_ADD_USE_EXISTING
                                                                  : CERT_STORE_ADD_REPLACE_EXISTING;
  PCCERT_CONTEXT stored = nullptr;
  if (CertAddEncodedCertificateToStore(native_->store, kEncoding, der.data(),
                                       static_cast<DWORD>(der.size()), how, &stored) == 0) {
    return LastPlatformError();
  }
  Status status = error::kOk;
  if (disposition != AddDisposition::kUseExisting) {
    for (const auto& [id, value] : properties) {
      if (id == kSha1HashPropId) continue;
      status = SetNativeProperty(stored, id, std::span<const uint8_t>(value));
      if (status != error::kOk) break;
    }
  }
  if (status == error::kOk && added != nullptr) {
    try {
      status = StoreContextOf(stored, 0, *added);
    } catch (const std::bad_alloc&) {
      status = error::kOutOfMemory;
    }
  }
  CertFreeCertificateContext(stored);
  return Commit(native_->store, status);
}

Status CertStore::SetProperty(const CertContextRef& context, uint32_t id,
                              std::optional<std::span<const uint8_t>> value,
                              CertContextRef* updated) {
  if (!context) return error::kInvalidArgument;
  PCCERT_CONTEXT stored = StoredContext(native_->store, *context);
  if (stored == nullptr) return error::kNotFound;
  Status status = SetNativeProperty(stored, id, value);
  if (status == error::kOk && updated != nullptr) {
    try {
      status = StoreContextOf(stored, context->storeEntry(), *updated);
    } catch (const std::bad_alloc&) {
      status = error::kOutOfMemory;
    }
  }
  CertFreeCertificateContext(stored);
  return Commit(native_->store, status);
}

Status CertStore::DeleteCertificate(const CertContextRef& context) {
  if (!context) return error::kInvalidArgument;
  PCCERT_CONTEXT stored = StoredContext(native_->store, *context);
  if (stored == nullptr) return error::kNotFound;
  // Deleting frees the context, whatever the outcome.
  return Commit(native_->store,
                CertDeleteCertificateFromStore(stored) != 0 ? error::kOk : LastPlatformError());
}

Status CertStore::AddCrl(std::span<const uint8_t> der, AddDisposition disposition) {
  if (der.empty() || der.size() > static_cast<size_t>(INT_MAX)) return error::kAsn1Corrupt;
  const DWORD how = disposition == AddDisposition::kNew           ? CERT_STORE_ADD_NEW
                    : disposition == AddDisposition::kUseExisting ? CERT_STORE_ADD_USE_EXISTING
                                                                  : CERT_STORE_ADD_REPLACE_EXISTING;
  return Commit(native_->store,
                CertAddEncodedCRLToStore(native_->store, kEncoding, der.data(),
                                         static_cast<DWORD>(der.size()), how, nullptr) != 0
                    ? error::kOk
                    : LastPlatformError());
}

// The platform checks revocation against its stores' CRLs itself; they are
// listed by their bytes, numbered in the store's order.
Status CertStore::Crls(std::vector<StoredCrl>& crls) {
  crls.clear();
  try {
    PCCRL_CONTEXT crl = nullptr;
    int64_t entry = 0;
    while ((crl = CertEnumCRLsInStore(native_->store, crl)) != nullptr) {
      try {
        StoredCrl stored;
        stored.entry = ++entry;
        stored.der.assign(crl->pbCrlEncoded, crl->pbCrlEncoded + crl->cbCrlEncoded);
        crls.push_back(std::move(stored));
      } catch (const std::bad_alloc&) {
        CertFreeCRLContext(crl);  // the walk's own reference
        throw;
      }
    }
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

Status CertStore::DeleteCrl(int64_t entry) {
  PCCRL_CONTEXT crl = nullptr;
  for (int64_t position = 0; (crl = CertEnumCRLsInStore(native_->store, crl)) != nullptr;) {
    if (++position == entry) {
      // Deleting frees the context, whatever the outcome.
      const Status deleted = CertDeleteCRLFromStore(CertDuplicateCRLContext(crl)) != 0
                                 ? error::kOk
                                 : LastPlatformError();
      CertFreeCRLContext(crl);
      return Commit(native_->store, deleted);
    }
  }
  return error::kNotFound;
}

std::optional<TokenKeyLocation> TokenLocationOf(const CertContext&) {
  return std::nullopt;
}

std::u16string DefaultContainerName() {
  wchar_t name[257];
  DWORD size = 257;
  return GetUserNameW(name, &size) != 0 && size > 0 ? Narrow(name) : std::u16string();
}

KeyContainer::KeyContainer(std::shared_ptr<Database> database, int64_t containerId,
                           std::u16string container, std::u16string provider)
    : database_(std::move(database)),
      containerId_(containerId),
      container_(std::move(container)),
      provider_(std::move(provider)) {}

KeyContainer::~KeyContainer() = default;

Status KeyContainer::Acquire(std::optional<std::u16string_view> container,
                             std::u16string_view provider, uint32_t providerType, uint32_t flags,
                             std::unique_ptr<KeyContainer>& handle) {
  handle.reset();
  try {
    const std::wstring containerName = container ? Wide(*container) : std::wstring();
    const std::wstring providerName = Wide(provider);
    auto native = std::make_shared<Native>();
    if (CryptAcquireContextW(&native->provider, container ? containerName.c_str() : nullptr,
                             provider.empty() ? nullptr : providerName.c_str(), providerType,
                             flags) == 0) {
      native->provider = 0;
      return LastPlatformError();
    }
    // Deleting a key set leaves no handle.
    if ((flags & kCryptDeleteKeyset) != 0) {
      native->provider = 0;
      return error::kOk;
    }
    const bool verify = (flags & kCryptVerifyContext) != 0;
    std::u16string name = container ? std::u16string(*container) : std::u16string();
    if (!verify && name.empty()) name = DefaultContainerName();
    handle.reset(
        new KeyContainer(nullptr, verify ? 0 : 1, std::move(name), std::u16string(provider)));
    handle->native_ = std::move(native);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

Status KeyContainer::GetUserKey(uint32_t keySpec, Key& key) const {
  HCRYPTKEY held = 0;
  if (CryptGetUserKey(native_->provider, keySpec, &held) == 0) return LastPlatformError();
  try {
    key = Key(std::make_unique<Key::Native>(held));
  } catch (const std::bad_alloc&) {
    CryptDestroyKey(held);
    return error::kOutOfMemory;
  }
  return error::kOk;
}

Status KeyContainer::ImportKey(uint32_t, const Key&) {
  return error::kNotSupported;
}

Status KeyContainer::GenerateKey(uint32_t keySpec, unsigned bits, Key* key) {
  HCRYPTKEY held = 0;
  if (CryptGenKey(native_->provider, keySpec, (static_cast<DWORD>(bits) << 16) | CRYPT_EXPORTABLE,
                  &held) == 0) {
    return LastPlatformError();
  }
  if (key == nullptr) {
    CryptDestroyKey(held);
    return error::kOk;
  }
  try {
    *key = Key(std::make_unique<Key::Native>(held));
  } catch (const std::bad_alloc&) {
    CryptDestroyKey(held);
    return error::kOutOfMemory;
  }
  return error::kOk;
}

Status SignHash(const Hash& hash, const KeyContainer& container, uint32_t keySpec,
                Bytes& signature) {
  signature.clear();
  if (keySpec != kAtKeyExchange && keySpec != kAtSignature) return error::kInvalidArgument;
  if (container.native() == nullptr || container.verifyContext()) return error::kNoKey;
  HashHandle copy;
  if (const Status made = HashIn(container.native()->provider, hash, copy); made != error::kOk) {
    return made;
  }
  DWORD size = 0;
  if (CryptSignHashW(copy.get(), keySpec, nullptr, 0, nullptr, &size) == 0)
    return LastPlatformError();
  try {
    Bytes made(size);
    if (CryptSignHashW(copy.get(), keySpec, nullptr, 0, made.data(), &size) == 0) {
      return LastPlatformError();
    }
    made.resize(size);
    signature = std::move(made);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

Status SignHashWithKey(const Hash&, const Key&, Bytes&) {
  return error::kNotSupported;
}

namespace {

Status ImportInfo(const CERT_PUBLIC_KEY_INFO& info, Key& key) {
  if (info.Algorithm.pszObjId == nullptr ||
      std::string_view(info.Algorithm.pszObjId) != szOID_RSA_RSA) {
    return error::kBadAlgId;
  }
  HCRYPTKEY imported = 0;
  if (CryptImportPublicKeyInfo(VerificationProvider(), X509_ASN_ENCODING,
                               const_cast<CERT_PUBLIC_KEY_INFO*>(&info), &imported) == 0) {
    return error::kBadData;
  }
  try {
    key = Key(std::make_unique<Key::Native>(imported));
  } catch (const std::bad_alloc&) {
    CryptDestroyKey(imported);
    return error::kOutOfMemory;
  }
  return error::kOk;
}

}  // namespace

Status ImportPublicKeyInfo(std::span<const uint8_t> subjectPublicKeyInfo, Key& key) {
  if (subjectPublicKeyInfo.empty() || subjectPublicKeyInfo.size() > static_cast<size_t>(INT_MAX)) {
    return error::kBadData;
  }
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD size = 0;
  if (CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, subjectPublicKeyInfo.data(),
                          static_cast<DWORD>(subjectPublicKeyInfo.size()), CRYPT_DECODE_ALLOC_FLAG,
                          nullptr, &info, &size) == 0) {
    return error::kBadData;
  }
  const Status imported = ImportInfo(*info, key);
  LocalFree(info);
  return imported;
}

Status ImportPublicKeyInfo(const Certificate& certificate, Key& key) {
  return ImportInfo(certificate.native().context->pCertInfo->SubjectPublicKeyInfo, key);
}

Status VerifySignature(const Hash& hash, std::span<const uint8_t> signature, const Key& publicKey) {
  if (!publicKey) return error::kBadData;
  if (signature.size() > static_cast<size_t>(INT_MAX)) return error::kBadSignature;
  HashHandle copy;
  if (const Status made = HashIn(VerificationProvider(), hash, copy); made != error::kOk) {
    return made;
  }
  return CryptVerifySignatureW(copy.get(), signature.data(), static_cast<DWORD>(signature.size()),
                               publicKey.native()->key, nullptr, 0) != 0
             ? error::kOk
             : error::kBadSignature;
}

}  // namespace quorvel::platform
