// Takes the hand-built SignedData apart with the template codec. The codec
// does not compare tags: the elements are read in the layout's order and the
// object identifiers decide whether the message is of the expected kind.
// Every length is checked by the codec against the input before anything is
// allocated.
#include <climits>
#include <span>

#include "engine/asn1_handles.h"
#include "engine/engine_errors.h"
#include "engine/signed_data.h"
#include "engine/signed_data_oids.h"
#include "platform/crypto/der_reader.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::engine {
namespace {

using Bytes = Asn1Owned<unsigned char>;
using Arcs = Asn1Owned<int>;

struct Element {
  Bytes bytes;
  int length = 0;
};

Asn1ReaderPtr ReaderOver(const Element& element) {
  return NewAsn1Reader(element.bytes.get(), element.length);
}

// The five SignedData elements, each whole.
struct SignedDataParts {
  Element version, digestAlgorithms, contentInfo, certificates, signerInfos;
};

ErrorNumber DecodeOuter(std::string_view der, SignedDataParts& parts) {
  if (der.size() > static_cast<size_t>(INT_MAX)) return err::kBerDecode;
  const Asn1ReaderPtr reader = NewAsn1Reader(reinterpret_cast<const unsigned char*>(der.data()),
                                             static_cast<int>(der.size()));
  if (!reader) return err::kBerDecode;
  Arcs type;
  int typeCount = 0;
  const int decoded = asn1_decode(
      reader.get(), "{O({$$$$$})}", type.out(), &typeCount, parts.version.bytes.out(),
      &parts.version.length, parts.digestAlgorithms.bytes.out(), &parts.digestAlgorithms.length,
      parts.contentInfo.bytes.out(), &parts.contentInfo.length, parts.certificates.bytes.out(),
      &parts.certificates.length, parts.signerInfos.bytes.out(), &parts.signerInfos.length);
  // A message of another type (enveloped data, say) has another inner shape:
  // its type decides before the shape does.
  if (type && !oid::Equals(type.get(), typeCount, oid::kSignedData)) return err::kNotSignedData;
  if (decoded != 0 || !type) return err::kBerDecode;
  return err::kOk;
}

ErrorNumber DecodeContentInfo(const Element& contentInfo, bool detached, std::string& content) {
  const Asn1ReaderPtr reader = ReaderOver(contentInfo);
  if (!reader) return err::kBerDecode;
  Arcs type;
  int typeCount = 0;
  Bytes carried;
  int carriedLength = 0;
  // A detached content info ends after its type: the missing content is not
  // a decoding failure.
  (void)asn1_decode(reader.get(), "{O(o)}", type.out(), &typeCount, carried.out(), &carriedLength);
  if (!oid::Equals(type.get(), typeCount, oid::kData)) return err::kNotSignedData;
  if (detached) {
    if (carried) return err::kInvalidSignature;
  } else if (carried) {
    content.assign(reinterpret_cast<const char*>(carried.get()),
                   static_cast<size_t>(carriedLength));
  }
  return err::kOk;
}

ErrorNumber DecodeSignerInfo(const Element& signerInfos, DecodedSignedData& decoded) {
  const Asn1ReaderPtr reader = ReaderOver(signerInfos);
  if (!reader) return err::kBerDecode;
  int version = 0;
  Bytes issuer;
  int issuerLength = 0;
  Asn1Owned<char> serial;
  int serialDigits = 0;
  Arcs digest;
  int digestCount = 0;
  Arcs algorithm;
  int algorithmCount = 0;
  Bytes signature;
  int signatureLength = 0;
  // The calls run in turn whatever the earlier ones gave; a misplaced element
  // shows in the identifiers or in the last call.
  (void)asn1_decode(reader.get(), "[{i", &version);
  (void)asn1_decode(reader.get(), "{$I}", issuer.out(), &issuerLength, serial.out(), &serialDigits);
  (void)asn1_decode(reader.get(), "{On}", digest.out(), &digestCount);
  (void)asn1_decode(reader.get(), "{On}", algorithm.out(), &algorithmCount);
  const int last = asn1_decode(reader.get(), "o}]", signature.out(), &signatureLength);

  // A digest other than the six-arc ones (SHA-256 and its kin) names a kind of
  // message this path does not take, even where its parameters are laid out
  // differently and the last call fails because of it.
  if (digest && digestCount != static_cast<int>(oid::kSha1.size())) return err::kNotSignedData;
  if (last != 0) return err::kBerDecode;
  if (!oid::Equals(algorithm.get(), algorithmCount, oid::kRsaEncryption) || !digest) {
    return err::kNotSignedData;
  }
  if (oid::Equals(digest.get(), digestCount, oid::kSha1)) {
    decoded.digestOid = kSha1DigestOid;
  } else if (oid::Equals(digest.get(), digestCount, oid::kMd5)) {
    decoded.digestOid = kMd5DigestOid;
  } else {
    return err::kBadAlgorithm;
  }
  decoded.signature.assign(signature.get(), signature.get() + signatureLength);
  return err::kOk;
}

ErrorNumber DecodeCertificate(const Element& certificates, platform::CertContextRef& certificate) {
  const Asn1ReaderPtr reader = ReaderOver(certificates);
  if (!reader) return err::kBerDecode;
  Bytes first;
  int firstLength = 0;
  if (asn1_decode(reader.get(), "($)", first.out(), &firstLength) != 0) return err::kBerDecode;
  if (platform::CreateCertificateContext(
          std::span<const uint8_t>(first.get(), static_cast<size_t>(firstLength)), certificate) !=
      platform::error::kOk) {
    certificate.reset();
    return err::kCertHandle;
  }
  return err::kOk;
}

}  // namespace

ErrorNumber DecodeSignedData(std::string_view der, bool detached, DecodedSignedData& decoded) {
  decoded = DecodedSignedData{};
  // The codec reads an element of indefinite length where it expects a
  // definite one as empty and goes on after it: the content would read as
  // empty, whatever bytes the message carries. This layout has none.
  if (platform::der::HasIndefiniteLength(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(der.data()), der.size()))) {
    return err::kBerDecode;
  }
  SignedDataParts parts;
  ErrorNumber result = DecodeOuter(der, parts);
  if (result == err::kOk) result = DecodeContentInfo(parts.contentInfo, detached, decoded.content);
  if (result == err::kOk) result = DecodeSignerInfo(parts.signerInfos, decoded);
  if (result == err::kOk) result = DecodeCertificate(parts.certificates, decoded.certificate);
  if (result != err::kOk) decoded = DecodedSignedData{};
  return result;
}

}  // namespace quorvel::engine
