// Certificates and certificate contexts.
//
// A Certificate is immutable: the DER bytes and the parsed certificate, shared by
// reference between every context that shows it. A CertContext is one view of a
// certificate as a store held it when the context was made: the certificate, its
// properties and its place in the store. Contexts are handed out as shared
// references and released when the last holder lets go.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/crypto/bytes.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {

inline constexpr uint32_t kEncodingX509AndPkcs7 = 0x00010001;

// Property identifiers.
inline constexpr uint32_t kKeyProvInfoPropId = 2;    // the key-provider property
inline constexpr uint32_t kSha1HashPropId = 3;       // computed, never stored
inline constexpr uint32_t kFriendlyNamePropId = 11;  // UTF-16 text

// Key specifications.
inline constexpr uint32_t kAtKeyExchange = 1;
inline constexpr uint32_t kAtSignature = 2;

struct Extension {
  std::string oid;  // dotted form
  bool critical = false;
  Bytes value;  // the content of extnValue: the extension's own encoding
};

class Certificate {
 public:
  // Parses DER bytes; fails with kAsn1Corrupt for anything but exactly one
  // well-formed certificate.
  static Status FromDer(std::span<const uint8_t> der, std::shared_ptr<const Certificate>& out);

  Certificate(const Certificate&) = delete;
  Certificate& operator=(const Certificate&) = delete;
  ~Certificate();

  std::span<const uint8_t> Der() const { return der_; }
  // The library's parsed certificate, known only to the platform's own sources.
  struct Native;
  const Native& native() const { return *native_; }

  // The encoded names exactly as they appear in the certificate.
  std::span<const uint8_t> SubjectName() const { return subject_; }
  std::span<const uint8_t> IssuerName() const { return issuer_; }
  // The serial number's content octets, least significant first (the platform's order).
  const Bytes& SerialNumber() const { return serial_; }
  // Validity bounds as file times.
  uint64_t NotBefore() const { return notBefore_; }
  uint64_t NotAfter() const { return notAfter_; }
  const std::vector<Extension>& Extensions() const { return extensions_; }
  // The SHA-1 of the DER, the certificate's identity in a store.
  const Bytes& Sha1() const { return sha1_; }

  // True when `issuer`'s public key verifies this certificate's signature. The
  // answer depends on nothing but the two certificates' bytes, so the last few
  // issuers asked about are remembered with it, by their whole DER.
  bool SignedBy(const Certificate& issuer) const;

 private:
  Certificate();

  Bytes der_;
  std::unique_ptr<Native> native_;
  Bytes subject_;
  Bytes issuer_;
  Bytes serial_;
  uint64_t notBefore_ = 0;
  uint64_t notAfter_ = 0;
  std::vector<Extension> extensions_;
  Bytes sha1_;

  struct Verdict {
    Bytes issuerDer;
    bool signedBy = false;
  };
  static constexpr std::size_t kMaxVerdicts = 4;
  mutable std::mutex verdictsMutex_;
  mutable std::vector<Verdict> verdicts_;
};

// The key-provider property: where the certificate's private key lives.
struct KeyProvInfo {
  std::u16string container;
  std::u16string provider;
  uint32_t providerType = 0;
  uint32_t flags = 0;
  uint32_t keySpec = 0;

  Bytes Encode() const;
  // Fails with kBadData when `bytes` is not an encoded KeyProvInfo.
  static Status Decode(std::span<const uint8_t> bytes, KeyProvInfo& info);
};

class CertContext {
 public:
  using Properties = std::map<uint32_t, Bytes>;

  CertContext(std::shared_ptr<const Certificate> certificate, Properties properties,
              int64_t storeEntry)
      : certificate_(std::move(certificate)),
        properties_(std::move(properties)),
        storeEntry_(storeEntry) {}

  const Certificate& certificate() const { return *certificate_; }
  const std::shared_ptr<const Certificate>& shared() const { return certificate_; }
  // The entry of the store that holds the certificate; 0 for a context made from bytes.
  int64_t storeEntry() const { return storeEntry_; }
  const Properties& properties() const { return properties_; }

  // The property identifier after `previous` (0 starts), or 0 after the last one.
  // Identifiers come in ascending order; the SHA-1 hash is always present.
  uint32_t EnumProperties(uint32_t previous) const;

  // Two-call protocol: without a buffer, sets `size` to the bytes needed; with
  // one, copies the value when `size` is large enough (kMoreData and the needed
  // size otherwise). kNotFound for a property the context does not have.
  Status GetProperty(uint32_t id, uint8_t* buffer, uint32_t& size) const;

  // The key-provider property decoded: kNotFound when absent.
  Status GetKeyProvInfo(KeyProvInfo& info) const;

 private:
  std::shared_ptr<const Certificate> certificate_;
  Properties properties_;
  int64_t storeEntry_ = 0;
};

using CertContextRef = std::shared_ptr<const CertContext>;

// A context for DER bytes that belongs to no store.
Status CreateCertificateContext(std::span<const uint8_t> der, CertContextRef& context);

// Compares two integers held least significant byte first, ignoring leading
// 0x00 octets of positive and 0xFF octets of negative numbers.
bool CompareIntegerBlob(std::span<const uint8_t> a, std::span<const uint8_t> b);

// The extension with the given dotted OID, or null.
const Extension* FindExtension(const Certificate& certificate, std::string_view oid);

}  // namespace quorvel::platform
