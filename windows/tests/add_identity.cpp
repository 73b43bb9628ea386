// Puts certificates into the current user's stores the way an enrolment
// does, with the platform's own functions: a signer's private key (a
// PRIVATEKEYBLOB, as `openssl rsa -outform MSBLOB` writes it) into a named
// container of the enhanced provider, and its certificate into STORE with
// its key-provider property naming that container. Without a key, the
// certificate alone (an issuer for "ROOT" or "CA"); a file named *.crl is a
// CRL, added to STORE beside the issuer it came from.
//   add_identity.exe STORE CERT.der [KEY.blob CONTAINER]
//   add_identity.exe STORE LIST.crl
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> ReadAll(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Fail(const char* step) {
  std::printf("add_identity: %s failed (0x%08lx)\n", step, GetLastError());
  return 1;
}

// Adds the certificate to the current user's `storeName`, with its
// key-provider property when `key` names one.
int AddCertificate(const wchar_t* storeName, const std::vector<BYTE>& certificate,
                   CRYPT_KEY_PROV_INFO* key) {
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, storeName);
  if (store == nullptr) return Fail("CertOpenStore");
  PCCERT_CONTEXT added = nullptr;
  const bool done =
      CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                       certificate.data(), static_cast<DWORD>(certificate.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, &added) != 0 &&
      (key == nullptr ||
       CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, key) != 0) &&
      CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) != 0;
  if (added != nullptr) CertFreeCertificateContext(added);
  CertCloseStore(store, 0);
  return done ? 0 : Fail("adding the certificate");
}

int AddCrl(const wchar_t* storeName, const std::vector<BYTE>& crl) {
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, storeName);
  if (store == nullptr) return Fail("CertOpenStore");
  const bool done =
      CertAddEncodedCRLToStore(store, X509_ASN_ENCODING, crl.data(), static_cast<DWORD>(crl.size()),
                               CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0 &&
      CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) != 0;
  CertCloseStore(store, 0);
  return done ? 0 : Fail("adding the CRL");
}

bool IsCrlFile(const std::wstring& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, L".crl") == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 5) {
    std::printf("usage: add_identity STORE CERT.der [KEY.blob CONTAINER] | STORE LIST.crl\n");
    return 2;
  }
  const std::vector<BYTE> certificate = ReadAll(argv[2]);
  if (certificate.empty()) return Fail("reading the certificate");
  if (argc == 3 && IsCrlFile(argv[2])) return AddCrl(argv[1], certificate);
  if (argc == 3) return AddCertificate(argv[1], certificate, nullptr);
  const std::vector<BYTE> key = ReadAll(argv[3]);
  if (key.size() < sizeof(BLOBHEADER)) return Fail("reading the key");
  const auto* header = reinterpret_cast<const BLOBHEADER*>(key.data());

  HCRYPTPROV provider = 0;
  if (CryptAcquireContextW(&provider, argv[4], MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                           CRYPT_NEWKEYSET) == 0 &&
      CryptAcquireContextW(&provider, argv[4], MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0) == 0) {
    return Fail("CryptAcquireContext");
  }
  HCRYPTKEY imported = 0;
  const BOOL keyImported =
      CryptImportKey(provider, key.data(), static_cast<DWORD>(key.size()), 0, 0, &imported);
  if (keyImported != 0) CryptDestroyKey(imported);
  CryptReleaseContext(provider, 0);
  if (keyImported == 0) return Fail("CryptImportKey");

  std::wstring providerName = MS_ENHANCED_PROV_W;
  CRYPT_KEY_PROV_INFO where{};
  where.pwszContainerName = argv[4];
  where.pwszProvName = providerName.data();
  where.dwProvType = PROV_RSA_FULL;
  where.dwKeySpec = header->aiKeyAlg == CALG_RSA_SIGN ? AT_SIGNATURE : AT_KEYEXCHANGE;
  return AddCertificate(argv[1], certificate, &where);
}
