// Assembles the hand-built SignedData with the template codec: each part on a
// writer of its own, then the whole ContentInfo from the finished parts.
#include <climits>
#include <cstdio>
#include <string>

#include "engine/asn1_handles.h"
#include "engine/engine_errors.h"
#include "engine/signed_data.h"
#include "engine/signed_data_oids.h"

namespace quorvel::engine {
namespace {

// The largest part handed to the codec: the whole message, parts and headers
// included, must still fit the codec's int lengths.
constexpr size_t kMaxPartSize = INT_MAX / 4;

struct Part {
  Asn1WriterPtr writer{asn1_writer_new()};
  const unsigned char* bytes() const { return writer->buffer; }
  int length() const { return writer->length; }
};

// The codec takes no null pointer, even for no bytes.
const unsigned char* Uchars(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.empty() ? "" : text.data());
}

// The certificate's serial number as the codec's hexadecimal text: the
// platform keeps it least significant byte first, the INTEGER carries the
// certificate's own octets, leading zero included.
std::string SerialHex(const platform::Bytes& leastSignificantFirst) {
  std::string hex;
  hex.reserve(leastSignificantFirst.size() * 2);
  char digits[3];
  for (auto octet = leastSignificantFirst.rbegin(); octet != leastSignificantFirst.rend();
       ++octet) {
    std::snprintf(digits, sizeof digits, "%02x", *octet);
    hex.append(digits, 2);
  }
  return hex;
}

}  // namespace

ErrorNumber EncodeSignedData(bool detached, std::string_view content,
                             const platform::CertContext& certificate, std::string_view digestOid,
                             const platform::Bytes& signature, platform::Bytes& der) {
  der.clear();
  const platform::Certificate& cert = certificate.certificate();
  const auto certificateDer = cert.Der();
  const auto issuer = cert.IssuerName();
  Part version, digestAlgorithms, contentInfo, certificates, signerInfos, whole;
  for (const Part* part :
       {&version, &digestAlgorithms, &contentInfo, &certificates, &signerInfos, &whole}) {
    if (!part->writer) return err::kDerEncode;
  }

  if (asn1_encode(version.writer.get(), "i", 1) < 0) return err::kDerEncode;

  const std::span<const int> digest = oid::DigestArcs(digestOid);
  if (digest.empty()) return err::kBadAlgorithm;
  if ((!detached && content.size() > kMaxPartSize) || certificateDer.size() > kMaxPartSize ||
      signature.size() > kMaxPartSize) {
    return err::kDerEncode;
  }
  const int digestCount = static_cast<int>(digest.size());
  if (asn1_encode(digestAlgorithms.writer.get(), "[{On}]", digest.data(), digestCount) < 0) {
    return err::kDerEncode;
  }

  const int encodedContent =
      detached ? asn1_encode(contentInfo.writer.get(), "{O}", oid::kData.data(),
                             static_cast<int>(oid::kData.size()))
               : asn1_encode(contentInfo.writer.get(), "{O(o)}", oid::kData.data(),
                             static_cast<int>(oid::kData.size()), 0, Uchars(content),
                             static_cast<int>(content.size()));
  if (encodedContent < 0) return err::kDerEncode;

  if (asn1_encode(certificates.writer.get(), "(A)", 0, certificateDer.data(),
                  static_cast<int>(certificateDer.size())) < 0) {
    return err::kDerEncode;
  }

  const std::string serial = SerialHex(cert.SerialNumber());
  Asn1Writer* signer = signerInfos.writer.get();
  if (asn1_encode(signer, "[{i", 1) < 0 ||
      asn1_encode(signer, "{AI}", issuer.data(), static_cast<int>(issuer.size()), serial.c_str(),
                  static_cast<int>(serial.size())) < 0 ||
      asn1_encode(signer, "{On}", digest.data(), digestCount) < 0 ||
      asn1_encode(signer, "{On}", oid::kRsaEncryption.data(),
                  static_cast<int>(oid::kRsaEncryption.size())) < 0 ||
      asn1_encode(signer, "o}]", signature.data(), static_cast<int>(signature.size())) < 0) {
    return err::kDerEncode;
  }

  if (asn1_encode(whole.writer.get(), "{O({AAAAA})}", oid::kSignedData.data(),
                  static_cast<int>(oid::kSignedData.size()), 0, version.bytes(), version.length(),
                  digestAlgorithms.bytes(), digestAlgorithms.length(), contentInfo.bytes(),
                  contentInfo.length(), certificates.bytes(), certificates.length(),
                  signerInfos.bytes(), signerInfos.length()) < 0) {
    return err::kDerEncode;
  }
  der.assign(whole.bytes(), whole.bytes() + whole.length());
  return err::kOk;
}

}  // namespace quorvel::engine
