// The hand-built signature parser and both of its verification entry points
// over untrusted bytes. The first input byte picks how the rest reaches them:
//   0  DER given to DecodeSignedData, attached and detached;
//   1  DER coded in Base64, given to both verification entry points;
//   2  DER compressed, then coded in Base64, likewise;
//   3  the rest taken as the Base64 text itself, likewise.
// A fixed self-signed identity (fuzz/message/) sits in "MY" with its key and
// in "ROOT" of a private home, so messages it signed verify all the way.
//
// Besides the sanitizers, the target traps when a function breaks its
// promises: a number outside the documented ones, a failure that leaves
// outputs behind or whose error output differs from the returned number, a
// success without its certificate or its signer's subject.
#include <openssl/pem.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "container/compress.h"
#include "engine/engine.h"
#include "engine/signed_data.h"
#include "platform/crypto/key_openssl.h"
#include "platform/crypto/openssl.h"
#include "platform/errors/error_numbers.h"
#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "platform/stores/key_container.h"
#include "platform/text/base64.h"

namespace {

using namespace quorvel;
using namespace quorvel::platform;
namespace number = ::quorvel::err;

// What the detached seeds were signed over (fuzz/signed_data/make_seeds.sh).
constexpr std::string_view kDetachedContent = "quorvel hand-built fuzz content\n";

std::filesystem::path home;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "signed_data_fuzzer setup: %s\n", what);
  std::abort();
}

void RemoveHome() {
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read the identity");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

EvpPkeyPtr ReadKey(const std::string& path) {
  const std::string pem = ReadWhole(path);
  const BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return EvpPkeyPtr(
      PEM_read_bio_PrivateKey_ex(bio.get(), nullptr, nullptr, nullptr, CryptoLibrary(), nullptr));
}

Bytes ReadCertificateDer(const std::string& path) {
  const std::string pem = ReadWhole(path);
  const size_t begin = pem.find('\n');
  const size_t end = pem.find("-----END");
  std::string der;
  if (begin == std::string::npos || end == std::string::npos ||
      !Base64Decode(std::string_view(pem).substr(begin + 1, end - begin - 1), der)) {
    Fail("the identity's certificate does not parse");
  }
  return Bytes(der.begin(), der.end());
}

void SetUpIdentity() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quorvel-fuzz-signed-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) Fail("no temporary directory");
  home = pattern;
  ::setenv("QUORVEL_HOME", (home / "home").c_str(), 1);
  std::atexit(RemoveHome);

  const std::string folder = QUORVEL_FUZZ_IDENTITY_DIR;
  const Bytes certificate = ReadCertificateDer(folder + "/recipient.pem");
  const EvpPkeyPtr key = ReadKey(folder + "/recipient.key");
  if (!key) Fail("the identity's key does not parse");

  std::unique_ptr<KeyContainer> container;
  if (KeyContainer::Acquire(u"fuzz-signer", kMsEnhancedProvider, kProvRsaFull, kCryptNewKeyset,
                            container) != error::kOk ||
      container->ImportKey(kAtSignature, SharedKey(key.get())) != error::kOk) {
    Fail("cannot store the key");
  }
  std::unique_ptr<CertStore> my;
  std::unique_ptr<CertStore> root;
  if (CertStore::OpenSystemStore(kStoreMy, my) != error::kOk ||
      my->AddCertificate(certificate,
                         {{kKeyProvInfoPropId, container->ProvInfo(kAtSignature).Encode()}},
                         AddDisposition::kNew, nullptr) != error::kOk ||
      CertStore::OpenSystemStore(kStoreRoot, root) != error::kOk ||
      root->AddCertificate(certificate, {}, AddDisposition::kNew, nullptr) != error::kOk) {
    Fail("cannot store the certificate");
  }
}

void Check(bool promise) {
  if (!promise) __builtin_trap();
}

bool DecodeResult(ErrorNumber status) {
  constexpr ErrorNumber kNumbers[] = {
      number::kOk,           number::kBerDecode,        number::kNotSignedData,
      number::kBadAlgorithm, number::kInvalidSignature, number::kCertHandle,
      number::kNoMemory};
  return std::find(std::begin(kNumbers), std::end(kNumbers), status) != std::end(kNumbers);
}

bool VerifyResult(ErrorNumber status) {
  if (DecodeResult(status)) return true;
  constexpr ErrorNumber kNumbers[] = {
      number::kEmptyInput,      number::kBase64Decode,        number::kCopyBuffer,
      number::kAcquireProvider, number::kPublicKey,           number::kCreateHash,
      number::kHashData,        number::kVerifyHash,          number::kDecodeField,
      number::kIssuerNotFound,  number::kCertSignatureFaulty, number::kCertExpired,
      number::kCertRevoked,     number::kChainInvalid};
  return std::find(std::begin(kNumbers), std::end(kNumbers), status) != std::end(kNumbers);
}

void CheckDecode(std::string_view der, bool detached) {
  engine::DecodedSignedData decoded;
  const ErrorNumber status = engine::DecodeSignedData(der, detached, decoded);
  Check(DecodeResult(status));
  if (status == number::kOk) {
    Check(decoded.certificate != nullptr);
    Check(decoded.digestOid == engine::kSha1DigestOid ||
          decoded.digestOid == engine::kMd5DigestOid);
    Check(decoded.content.size() <= der.size() && decoded.signature.size() <= der.size());
    Check(!detached || decoded.content.empty());
  } else {
    Check(decoded.certificate == nullptr && decoded.content.empty() && decoded.signature.empty());
  }
}

void CheckSigner(ErrorNumber status, platform::Status lastError,
                 const engine::CertDetails& signer) {
  Check(VerifyResult(status));
  if (status == number::kOk) {
    Check(lastError == platform::error::kOk && signer[0].has_value() && !signer[0]->empty());
  } else {
    Check(platform::ToUint(lastError) == static_cast<uint32_t>(ToInt(status)));
    Check(std::none_of(signer.begin(), signer.end(), [](const auto& d) { return d.has_value(); }));
  }
}

void CheckVerify(std::string_view base64) {
  std::string content;
  engine::CertDetails signer;
  platform::Status lastError = platform::error::kOk;
  ErrorNumber status =
      engine::AdvancedVerifyAttached(std::string(base64), content, signer, lastError);
  CheckSigner(status, lastError, signer);
  Check(status == number::kOk ? content.size() <= container::kMaxUncompressedSize
                              : content.empty());

  lastError = platform::error::kOk;
  signer = engine::CertDetails{};
  status = engine::AdvancedVerifyDetached(std::string(base64), kDetachedContent, signer, lastError);
  CheckSigner(status, lastError, signer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpIdentity();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view payload(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0:
      CheckDecode(payload, false);
      CheckDecode(payload, true);
      break;
    case 1:
      CheckVerify(Base64Encode(payload));
      break;
    case 2: {
      std::vector<uint8_t> bytes(payload.begin(), payload.end());
      container::CompressIfLarge(bytes, 1);
      CheckVerify(Base64Encode(
          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
      break;
    }
    default:
      CheckVerify(payload);
      break;
  }
  return 0;
}
