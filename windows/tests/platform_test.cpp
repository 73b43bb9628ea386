// Checks the platform rooms' Windows implementations from below the control:
// certificates parsed by the platform's certificate functions, compared with
// what openssl read from the same files.
//   platform_test.exe CERT.der OTHER.der SHA1-HEX SERIAL-HEX
// CERT is a self-signed CA certificate with a critical basicConstraints
// extension; OTHER is any other certificate.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/certificates/certificate.h"
#include "platform/certificates/extension_format.h"
#include "platform/text/hex.h"

namespace {

using namespace quorvel::platform;

int failures = 0;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

Bytes ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckCertificates(const Bytes& der, const Bytes& otherDer, const std::string& sha1,
                       const std::string& serial) {
  std::shared_ptr<const Certificate> certificate;
  std::shared_ptr<const Certificate> other;
  Check(Certificate::FromDer(der, certificate) == error::kOk && certificate != nullptr,
        "a certificate parses");
  Check(Certificate::FromDer(otherDer, other) == error::kOk && other != nullptr,
        "another certificate parses");
  if (certificate == nullptr || other == nullptr) return;
  Check(LowerHex(certificate->Sha1()) == sha1, "its SHA-1 is openssl's fingerprint");
  const Bytes serialBytes(certificate->SerialNumber().rbegin(), certificate->SerialNumber().rend());
  Check(LowerHex(serialBytes) == serial, "its serial number, least significant byte first");
  Check(certificate->NotBefore() < certificate->NotAfter() &&
            certificate->NotAfter() > 116444736000000000ull,
        "its validity as file times");
  const Extension* constraints = FindExtension(*certificate, "2.5.29.19");
  Check(constraints != nullptr && constraints->critical, "its critical basicConstraints");
  std::u16string text;
  Check(constraints != nullptr &&
            FormatExtension(constraints->oid, constraints->value, text) == error::kOk &&
            !text.empty(),
        "the platform's text of basicConstraints");
  Check(certificate->SignedBy(*certificate), "a self-signed certificate signs itself");
  Check(!certificate->SignedBy(*other), "another key did not sign it");

  Bytes trailing = der;
  trailing.push_back(0);
  std::shared_ptr<const Certificate> refused;
  Check(Certificate::FromDer(trailing, refused) == error::kAsn1Corrupt,
        "a byte after the certificate");
  Check(Certificate::FromDer(Bytes(der.begin(), der.begin() + der.size() / 2), refused) ==
            error::kAsn1Corrupt,
        "half a certificate");
  Check(Certificate::FromDer({}, refused) == error::kAsn1Corrupt, "no bytes");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::printf("usage: platform_test CERT.der OTHER.der SHA1-HEX SERIAL-HEX\n");
    return 2;
  }
  CheckCertificates(ReadAll(argv[1]), ReadAll(argv[2]), argv[3], argv[4]);
  std::printf("%s\n", failures == 0 ? "platform checks passed" : "platform checks failed");
  return failures == 0 ? 0 : 1;
}
