#include "platform/messages/block_envelope_windows.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/crypto/algorithm_ids.h"
#include "platform/crypto/der_reader.h"
#include "platform/crypto/der_writer.h"
#include "platform/crypto/key_windows.h"
#include "platform/crypto/provider_windows.h"
#include "platform/errors/platform_errors_windows.h"

namespace quorvel::platform {
namespace {

struct BlockCipher {
  uint32_t algId;
  DWORD blockSize;
  DWORD keyBits;  // 0: the algorithm's only size
};

constexpr BlockCipher kBlockCiphers[] = {
    {kCalgDes, 8, 0},     {kCalg3Des, 8, 0},    {kCalgRc2, 8, 128},
    {kCalgAes128, 16, 0}, {kCalgAes256, 16, 0},
};

const BlockCipher* FindBlockCipher(uint32_t algId) {
  for (const BlockCipher& cipher : kBlockCiphers) {
    if (cipher.algId == algId) return &cipher;
  }
  return nullptr;
}

// RC2's parameter version for an effective key length, and back (RFC 2268).
constexpr struct {
  uint64_t version;
  DWORD bits;
} kRc2Versions[] = {{160, 40}, {120, 64}, {58, 128}};

constexpr uint8_t kNull[] = {0x05, 0x00};
constexpr uint8_t kVersionZero[] = {0x00};
constexpr uint8_t kImplicit0Primitive = 0x80;
constexpr size_t kSimpleBlobHeader = sizeof(BLOBHEADER) + sizeof(ALG_ID);
constexpr size_t kPlainKeyHeader = sizeof(BLOBHEADER) + sizeof(DWORD);
// More recipients than this in one envelope are not looked at.
constexpr size_t kMaxRecipients = 256;

Bytes Oid(std::string_view dotted) {
  std::basic_string<uint8_t> content;
  if (!der::DottedToOid(dotted, content)) return {};
  return der::Encode(der::kObjectIdentifier, {content});
}

Status SetRc2EffectiveBits(HCRYPTKEY key, DWORD bits) {
  return CryptSetKeyParam(key, KP_EFFECTIVE_KEYLEN, reinterpret_cast<const BYTE*>(&bits), 0) == 0
             ? LastPlatformError()
             : error::kOk;
}

// The recipient's key sealing `key`, most significant byte first as PKCS #1 has it.
Status SealKey(HCRYPTPROV provider, PCCERT_CONTEXT recipient, HCRYPTKEY key, Bytes& sealed) {
  HCRYPTKEY imported = 0;
  if (CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING,
                               &recipient->pCertInfo->SubjectPublicKeyInfo, &imported) == 0) {
    return LastPlatformError();
  }
  const Key::Native publicKey(imported);
  DWORD size = 0;
  if (CryptExportKey(key, publicKey.key, SIMPLEBLOB, 0, nullptr, &size) == 0) {
    return LastPlatformError();
  }
  Bytes blob(size);
  if (CryptExportKey(key, publicKey.key, SIMPLEBLOB, 0, blob.data(), &size) == 0) {
    return LastPlatformError();
  }
  if (size <= kSimpleBlobHeader || size > blob.size()) return error::kBadData;
  sealed.assign(blob.begin() + kSimpleBlobHeader, blob.begin() + size);
  std::reverse(sealed.begin(), sealed.end());
  return error::kOk;
}

bool ReadRecipient(der::Reader& recipients, BlockEnvelope::Recipient& recipient, bool& usable) {
  der::Reader info;
  der::Element version;
  der::Element issuerAndSerial;
  der::Reader algorithm;
  der::Element algorithmOid;
  der::Element sealed;
  if (!recipients.ReadElement(der::kSequence, info) || !info.ReadElement(der::kInteger, version) ||
      !info.Next(issuerAndSerial) || !info.ReadElement(der::kSequence, algorithm) ||
      !algorithm.ReadElement(der::kObjectIdentifier, algorithmOid) ||
      !info.ReadElement(der::kOctetString, sealed) || !info.AtEnd()) {
    return false;
  }
  std::string dotted;
  usable = false;
  // Only recipients named by issuer and serial number, whose key is RSA's.
  if (issuerAndSerial.tag != der::kSequence || !der::OidToDotted(algorithmOid.content, dotted) ||
      dotted != szOID_RSA_RSA) {
    return true;
  }
  der::Reader names(issuerAndSerial.content);
  der::Element issuer;
  der::Element serial;
  if (!names.Next(issuer) || issuer.tag != der::kSequence ||
      !names.ReadElement(der::kInteger, serial) || !names.AtEnd() || serial.content.empty()) {
    return false;
  }
  const size_t headerSize =
      static_cast<size_t>(issuer.content.data() - issuerAndSerial.content.data());
  recipient.issuer = issuerAndSerial.content.first(headerSize + issuer.content.size());
  recipient.serialNumber.assign(serial.content.rbegin(), serial.content.rend());
  recipient.sealedKey = sealed.content;
  usable = true;
  return true;
}

bool ReadCipherParameters(std::span<const uint8_t> parameters, const BlockCipher& cipher,
                          BlockEnvelope& parts) {
  der::Reader reader(parameters);
  der::Element iv;
  if (cipher.algId == kCalgRc2) {
    der::Reader sequence;
    uint64_t version = 0;
    if (!reader.ReadElement(der::kSequence, sequence) || !sequence.ReadUint64(version)) {
      return false;
    }
    parts.effectiveBits = version >= 256 && version <= 1024 ? static_cast<DWORD>(version) : 0;
    for (const auto& known : kRc2Versions) {
      if (known.version == version) parts.effectiveBits = known.bits;
    }
    if (parts.effectiveBits == 0) return false;
    reader = sequence;
  }
  if (!reader.ReadElement(der::kOctetString, iv) || !reader.AtEnd() ||
      iv.content.size() != cipher.blockSize) {
    return false;
  }
  parts.iv = iv.content;
  return true;
}

}  // namespace

bool IsBlockCipher(uint32_t algId) {
  return FindBlockCipher(algId) != nullptr;
}

Status EnvelopeWithBlockCipher(PCCERT_CONTEXT recipient, std::string_view cipherOid,
                               std::span<const uint8_t> content, std::string_view innerType,
                               Bytes& envelope) {
  envelope.clear();
  const BlockCipher* cipher = FindBlockCipher(OidToAlgId(cipherOid));
  if (cipher == nullptr) return error::kBadAlgId;
  if (content.size() > static_cast<size_t>(UINT_MAX - cipher->blockSize)) {
    return error::kInvalidArgument;
  }
  const HCRYPTPROV provider = VerificationProvider();
  if (provider == 0) return LastPlatformError();
  HCRYPTKEY generated = 0;
  if (CryptGenKey(provider, cipher->algId, CRYPT_EXPORTABLE | (cipher->keyBits << 16),
                  &generated) == 0) {
    return LastPlatformError();
  }
  const Key::Native key(generated);
  Bytes iv(cipher->blockSize);
  if (CryptGenRandom(provider, cipher->blockSize, iv.data()) == 0 ||
      CryptSetKeyParam(key.key, KP_IV, iv.data(), 0) == 0) {
    return LastPlatformError();
  }
  Bytes parameters = der::Encode(der::kOctetString, {iv});
  if (cipher->algId == kCalgRc2) {
    if (const Status set = SetRc2EffectiveBits(key.key, cipher->keyBits); set != error::kOk) {
      return set;
    }
    constexpr uint8_t kVersion128[] = {58};
    parameters =
        der::Encode(der::kSequence, {der::Encode(der::kInteger, {kVersion128}), parameters});
  }
  Bytes enciphered(content.size() + cipher->blockSize);
  std::copy(content.begin(), content.end(), enciphered.begin());
  DWORD length = static_cast<DWORD>(content.size());
  if (CryptEncrypt(key.key, 0, TRUE, 0, enciphered.data(), &length,
                   static_cast<DWORD>(enciphered.size())) == 0) {
    return LastPlatformError();
  }
  enciphered.resize(length);
  Bytes sealed;
  if (const Status status = SealKey(provider, recipient, key.key, sealed); status != error::kOk) {
    return status;
  }

  const CERT_INFO& info = *recipient->pCertInfo;
  // Most significant byte first; a zero for a serial number the platform holds empty.
  Bytes serial(std::max<DWORD>(info.SerialNumber.cbData, 1), 0);
  std::reverse_copy(info.SerialNumber.pbData, info.SerialNumber.pbData + info.SerialNumber.cbData,
                    serial.end() - info.SerialNumber.cbData);
  const Bytes version = der::Encode(der::kInteger, {kVersionZero});
  const Bytes recipientInfo =
      der::Encode(der::kSequence,
                  {version,
                   der::Encode(der::kSequence,
                               {std::span<const uint8_t>(info.Issuer.pbData, info.Issuer.cbData),
                                der::Encode(der::kInteger, {serial})}),
                   der::Encode(der::kSequence, {Oid(szOID_RSA_RSA), kNull}),
                   der::Encode(der::kOctetString, {sealed})});
  const Bytes encryptedContent = der::Encode(
      der::kSequence, {Oid(innerType), der::Encode(der::kSequence, {Oid(cipherOid), parameters}),
                       der::Encode(kImplicit0Primitive, {enciphered})});
  const Bytes envelopedData = der::Encode(
      der::kSequence, {version, der::Encode(der::kSet, {recipientInfo}), encryptedContent});
  envelope = der::Encode(der::kSequence, {Oid(szOID_RSA_envelopedData),
                                          der::Encode(der::kExplicit0, {envelopedData})});
  return envelope.empty() ? error::kInvalidArgument : error::kOk;
}

bool ReadEnvelopeBody(std::span<const uint8_t> envelope, der::Reader& recipients,
                      der::Reader& encryptedContent) {
  der::Reader top(envelope);
  der::Reader contentInfo;
  der::Element type;
  der::Reader explicitContent;
  der::Reader envelopedData;
  der::Element version;
  std::string dotted;
  return top.ReadElement(der::kSequence, contentInfo) && top.AtEnd() &&
         contentInfo.ReadElement(der::kObjectIdentifier, type) &&
         der::OidToDotted(type.content, dotted) && dotted == szOID_RSA_envelopedData &&
         contentInfo.ReadElement(der::kExplicit0, explicitContent) &&
         explicitContent.ReadElement(der::kSequence, envelopedData) &&
         envelopedData.ReadElement(der::kInteger, version) &&
         envelopedData.ReadElement(der::kSet, recipients) &&
         envelopedData.ReadElement(der::kSequence, encryptedContent);
}

bool ReadBlockEnvelope(std::span<const uint8_t> envelope, BlockEnvelope& parts) {
  parts = {};
  der::Reader recipients;
  der::Reader encryptedContent;
  der::Element innerType;
  der::Reader algorithm;
  der::Element algorithmOid;
  der::Element enciphered;
  std::string dotted;
  if (!ReadEnvelopeBody(envelope, recipients, encryptedContent) ||
      !encryptedContent.ReadElement(der::kObjectIdentifier, innerType) ||
      !der::OidToDotted(innerType.content, parts.innerType) ||
      !encryptedContent.ReadElement(der::kSequence, algorithm) ||
      !algorithm.ReadElement(der::kObjectIdentifier, algorithmOid) ||
      !der::OidToDotted(algorithmOid.content, dotted) ||
      !encryptedContent.ReadElement(kImplicit0Primitive, enciphered) || !encryptedContent.AtEnd()) {
    return false;
  }
  const BlockCipher* cipher = FindBlockCipher(OidToAlgId(dotted));
  if (cipher == nullptr || !ReadCipherParameters(algorithm.Rest(), *cipher, parts)) return false;
  parts.algId = cipher->algId;
  parts.enciphered = enciphered.content;
  while (!recipients.AtEnd() && parts.recipients.size() < kMaxRecipients) {
    BlockEnvelope::Recipient recipient;
    bool usable = false;
    if (!ReadRecipient(recipients, recipient, usable)) return false;
    if (usable) parts.recipients.push_back(std::move(recipient));
  }
  return true;
}

Status OpenBlockEnvelope(HCRYPTPROV provider, DWORD keySpec, const BlockEnvelope& parts,
                         size_t index, Bytes& content) {
  content.clear();
  const BlockEnvelope::Recipient& recipient = parts.recipients.at(index);
  if (parts.enciphered.size() > static_cast<size_t>(UINT_MAX) ||
      recipient.sealedKey.size() > static_cast<size_t>(UINT_MAX) - kPlainKeyHeader) {
    return error::kBadData;
  }
  HCRYPTKEY userKey = 0;
  if (CryptGetUserKey(provider, keySpec, &userKey) == 0) return LastPlatformError();
  const Key::Native exchangeKey(userKey);
  // Unsealed by the recipient's provider, which may know no AES, then taken
  // into the provider that knows every block cipher here.
  Bytes blob(kPlainKeyHeader + recipient.sealedKey.size());
  const struct Wipe {
    Bytes& bytes;
    ~Wipe() { SecureZeroMemory(bytes.data(), bytes.size()); }
  } wipe{blob};
  std::reverse_copy(recipient.sealedKey.begin(), recipient.sealedKey.end(),
                    blob.begin() + kPlainKeyHeader);
  DWORD keySize = static_cast<DWORD>(recipient.sealedKey.size());
  if (CryptDecrypt(exchangeKey.key, 0, TRUE, 0, blob.data() + kPlainKeyHeader, &keySize) == 0) {
    return error::kBadData;
  }
  const BLOBHEADER header{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, static_cast<ALG_ID>(parts.algId)};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, &keySize, sizeof keySize);
  HCRYPTKEY imported = 0;
  if (CryptImportKey(VerificationProvider(), blob.data(),
                     static_cast<DWORD>(kPlainKeyHeader + keySize), 0, 0, &imported) == 0) {
    return error::kBadData;
  }
  const Key::Native key(imported);
  if (parts.algId == kCalgRc2) {
    if (const Status set = SetRc2EffectiveBits(key.key, parts.effectiveBits); set != error::kOk) {
      return set;
    }
  }
  if (CryptSetKeyParam(key.key, KP_IV, parts.iv.data(), 0) == 0) return LastPlatformError();
  Bytes deciphered(parts.enciphered.begin(), parts.enciphered.end());
  DWORD length = static_cast<DWORD>(deciphered.size());
  if (CryptDecrypt(key.key, 0, TRUE, 0, deciphered.data(), &length) == 0) return error::kBadData;
  deciphered.resize(length);
  content = std::move(deciphered);
  return error::kOk;
}

}  // namespace quorvel::platform
