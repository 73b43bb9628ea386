// Puts a signing identity into the current user's stores the way an
// enrolment does, with the platform's own functions: the private key (a
// PRIVATEKEYBLOB, as `openssl rsa -outform MSBLOB` writes it) into a named
// container of the enhanced provider, the certificate into STORE with its
// key-provider property naming that container.
//   add_identity.exe STORE CERT.der KEY.blob CONTAINER
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::printf("usage: add_identity STORE CERT.der KEY.blob CONTAINER\n");
    return 2;
  }
  const std::vector<BYTE> certificate = ReadAll(argv[2]);
  const std::vector<BYTE> key = ReadAll(argv[3]);
  if (certificate.empty() || key.size() < sizeof(BLOBHEADER)) return Fail("reading the files");
  const auto* header = reinterpret_cast<const BLOBHEADER*>(key.data());
  const DWORD keySpec = header->aiKeyAlg == CALG_RSA_SIGN ? AT_SIGNATURE : AT_KEYEXCHANGE;

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

  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, argv[1]);
  if (store == nullptr) return Fail("CertOpenStore");
  PCCERT_CONTEXT added = nullptr;
  CRYPT_KEY_PROV_INFO where{};
  std::wstring provName = MS_ENHANCED_PROV_W;
  where.pwszContainerName = argv[4];
  where.pwszProvName = provName.data();
  where.dwProvType = PROV_RSA_FULL;
  where.dwKeySpec = keySpec;
  const bool done =
      CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                       certificate.data(), static_cast<DWORD>(certificate.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, &added) != 0 &&
      CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &where) != 0 &&
      CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) != 0;
  if (added != nullptr) CertFreeCertificateContext(added);
  CertCloseStore(store, 0);
  return done ? 0 : Fail("adding the certificate");
}
