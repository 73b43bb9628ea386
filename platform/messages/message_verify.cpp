#include "platform/messages/message_verify.h"

#include <openssl/objects.h>

#include <algorithm>
#include <limits>

#include "platform/errors/platform_errors.h"
#include "platform/messages/message_support.h"

namespace quorvel::platform {
namespace {

Status ParseSigned(std::span<const uint8_t> der, CmsPtr& signedData) {
  if (const Status status = message::ParseMessage(der, signedData); status != error::kOk)
    return status;
  if (OBJ_obj2nid(CMS_get0_type(signedData.get())) != NID_pkcs7_signed) {
    return error::kInvalidMessageType;
  }
  return error::kOk;
}

// The content octets the message carries; false when it carries none.
bool CarriedContent(CMS_ContentInfo* signedData, std::span<const uint8_t>& content) {
  ASN1_OCTET_STRING** carried = CMS_get0_content(signedData);
  if (carried == nullptr || *carried == nullptr) return false;
  const int length = ASN1_STRING_length(*carried);
  const unsigned char* data = ASN1_STRING_get0_data(*carried);
  if (length < 0 || (length > 0 && data == nullptr)) return false;
  content = std::span<const uint8_t>(data, static_cast<std::size_t>(length));
  return true;
}

// The certificate of the message that the SignerInfo names; null when none.
X509* SignerCertificate(STACK_OF(X509) * certificates, CMS_SignerInfo* signerInfo) {
  for (int i = 0; i < sk_X509_num(certificates); ++i) {
    X509* candidate = sk_X509_value(certificates, i);
    if (CMS_SignerInfo_cert_cmp(signerInfo, candidate) == 0) return candidate;
  }
  return nullptr;
}

// With authenticated attributes the signature covers the attributes, and the
// message-digest attribute must hold the content's digest.
Status VerifyWithAttributes(CMS_SignerInfo* signerInfo, const Bytes& digest) {
  const auto* attribute = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
      signerInfo, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
  if (attribute == nullptr) return error::kHashValue;
  const int length = ASN1_STRING_length(attribute);
  const unsigned char* data = ASN1_STRING_get0_data(attribute);
  if (length < 0 || static_cast<std::size_t>(length) != digest.size() ||
      !std::equal(digest.begin(), digest.end(), data)) {
    return error::kHashValue;
  }
  return CMS_SignerInfo_verify(signerInfo) == 1 ? error::kOk : error::kBadSignature;
}

// Without them the signature is PKCS#1 v1.5 over the content's digest.
Status VerifyDigest(X509* certificate, const EVP_MD* algorithm, CMS_SignerInfo* signerInfo,
                    const Bytes& digest) {
  EVP_PKEY* publicKey = X509_get0_pubkey(certificate);
  const ASN1_OCTET_STRING* signature = CMS_SignerInfo_get0_signature(signerInfo);
  if (publicKey == nullptr || signature == nullptr) return error::kBadSignature;
  const EvpPkeyCtxPtr context(
      EVP_PKEY_CTX_new_from_pkey(CryptoLibrary(), publicKey, kCryptoProperties));
  if (!context) return error::kOutOfMemory;
  const int length = ASN1_STRING_length(signature);
  if (EVP_PKEY_verify_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), algorithm) != 1 || length <= 0 ||
      EVP_PKEY_verify(context.get(), ASN1_STRING_get0_data(signature),
                      static_cast<std::size_t>(length), digest.data(), digest.size()) != 1) {
    return error::kBadSignature;
  }
  return error::kOk;
}

Status VerifySigned(CMS_ContentInfo* signedData, uint32_t signerIndex,
                    std::span<const uint8_t> content, CertContextRef& signer) {
  STACK_OF(CMS_SignerInfo)* signerInfos = CMS_get0_SignerInfos(signedData);
  const int count = signerInfos == nullptr ? 0 : sk_CMS_SignerInfo_num(signerInfos);
  if (count <= 0 || signerIndex >= static_cast<uint32_t>(count)) return error::kSignerNotFound;
  CMS_SignerInfo* signerInfo = sk_CMS_SignerInfo_value(signerInfos, static_cast<int>(signerIndex));

  const X509StackPtr certificates(CMS_get1_certs(signedData));
  X509* certificate = certificates ? SignerCertificate(certificates.get(), signerInfo) : nullptr;
  if (certificate == nullptr) return error::kNotFound;

  X509_ALGOR* digestAlgorithm = nullptr;
  CMS_SignerInfo_get0_algs(signerInfo, nullptr, nullptr, &digestAlgorithm, nullptr);
  const ASN1_OBJECT* digestOid = nullptr;
  if (digestAlgorithm != nullptr) X509_ALGOR_get0(&digestOid, nullptr, nullptr, digestAlgorithm);
  if (digestOid == nullptr) return error::kBadAlgId;
  EvpMdPtr algorithm;
  if (const Status status = message::FetchDigest(digestOid, algorithm); status != error::kOk)
    return status;
  Bytes digest;
  if (const Status status = message::ComputeDigest(algorithm.get(), content, digest);
      status != error::kOk)
    return status;

  Status verified = error::kOk;
  if (CMS_signed_get_attr_count(signerInfo) >= 0) {
    CMS_SignerInfo_set1_signer_cert(signerInfo, certificate);
    verified = VerifyWithAttributes(signerInfo, digest);
  } else {
    verified = VerifyDigest(certificate, algorithm.get(), signerInfo, digest);
  }
  if (verified != error::kOk) return verified;

  Bytes der;
  if (!ToDer<i2d_X509>(certificate, der)) return error::kOutOfMemory;
  return CreateCertificateContext(der, signer);
}

}  // namespace

namespace {

// Parses `message` (calling `parsed` once it is no longer needed), verifies
// and hands the carried content to `take`.
template <typename Parsed, typename Take>
Status VerifyCarried(std::span<const uint8_t> message, uint32_t signerIndex, CertContextRef& signer,
                     Parsed parsed, Take take) {
  signer.reset();
  const OpenSslErrorMark errors;
  CmsPtr signedData;
  const Status parsedStatus = ParseSigned(message, signedData);
  parsed();
  if (parsedStatus != error::kOk) return parsedStatus;
  std::span<const uint8_t> carried;
  if (!CarriedContent(signedData.get(), carried)) return error::kInvalidMessageType;
  CertContextRef found;
  if (const Status status = VerifySigned(signedData.get(), signerIndex, carried, found);
      status != error::kOk) {
    return status;
  }
  take(carried);
  signer = std::move(found);
  return error::kOk;
}

}  // namespace

Status VerifyMessageSignature(std::span<const uint8_t> message, uint32_t signerIndex,
                              Bytes& content, CertContextRef& signer) {
  content.clear();
  return VerifyCarried(
      message, signerIndex, signer, [] {},
      [&](std::span<const uint8_t> carried) { content.assign(carried.begin(), carried.end()); });
}

Status VerifyMessageSignature(Bytes&& message, uint32_t signerIndex, std::string& content,
                              CertContextRef& signer) {
  content.clear();
  Bytes owned = std::move(message);
  return VerifyCarried(
      owned, signerIndex, signer, [&] { Bytes().swap(owned); },
      [&](std::span<const uint8_t> carried) {
        content.assign(reinterpret_cast<const char*>(carried.data()), carried.size());
      });
}

Status VerifyDetachedMessageSignature(std::span<const uint8_t> message, uint32_t signerIndex,
                                      std::span<const uint8_t> content, CertContextRef& signer) {
  signer.reset();
  const OpenSslErrorMark errors;
  CmsPtr signedData;
  if (const Status status = ParseSigned(message, signedData); status != error::kOk) return status;
  return VerifySigned(signedData.get(), signerIndex, content, signer);
}

}  // namespace quorvel::platform
