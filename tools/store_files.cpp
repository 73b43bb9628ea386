#include "tools/store_files.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>

#include "platform/errors/platform_errors.h"
#include "platform/stores/cert_store.h"
#include "tools/store_command.h"

namespace quorvel::tools {
namespace {

namespace error = platform::error;

std::string PlatformError(uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

platform::BioPtr MemoryBio(const platform::Bytes& bytes) {
  return platform::BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

}  // namespace

Failure StoreFailure(const std::string& what, platform::Status value) {
  int code = kStoreStorageFailure;
  if (value == error::kNotFound) code = kStoreNotFound;
  if (value == error::kObjectExists) code = kStoreAlreadyPresent;
  if (value == error::kAsn1Corrupt || value == error::kBadData ||
      value == error::kInvalidArgument) {
    code = kStoreInvalidInput;
  }
  return {code, what + " (" + PlatformError(platform::ToUint(value)) + ")"};
}

std::optional<Failure> ReadFile(const std::string& path, platform::Bytes& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return Failure{kStoreInvalidInput, "cannot open " + path};
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) return Failure{kStoreInvalidInput, "cannot read " + path};
  if (bytes.empty()) return Failure{kStoreInvalidInput, path + " is empty"};
  return std::nullopt;
}

bool LooksLikePem(const platform::Bytes& bytes) {
  static constexpr std::string_view kBegin = "-----BEGIN";
  return std::search(bytes.begin(), bytes.end(), kBegin.begin(), kBegin.end()) != bytes.end();
}

bool PemBlocks(const platform::Bytes& bytes, std::initializer_list<std::string_view> labels,
               std::vector<platform::Bytes>& ders) {
  ders.clear();
  platform::BioPtr bio = MemoryBio(bytes);
  if (!bio) return false;
  while (true) {
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;
    if (PEM_read_bio(bio.get(), &name, &header, &data, &length) != 1) break;
    platform::OpenSslMemoryPtr<char> ownName(name);
    platform::OpenSslMemoryPtr<char> ownHeader(header);
    platform::OpenSslMemoryPtr<unsigned char> ownData(data);
    if (length <= 0 || std::find(labels.begin(), labels.end(), name) == labels.end()) continue;
    if (ders.size() == kMaxPemBlocks) return false;
    ders.emplace_back(data, data + length);
  }
  return true;
}

std::vector<std::string> StoresToShow(const std::string& store) {
  if (!store.empty()) return {store};
  return {std::string(platform::kStoreMy), std::string(platform::kStoreCa),
          std::string(platform::kStoreRoot), std::string(platform::kStoreAddressBook)};
}

std::string Thumbprint(const platform::Bytes& bytes) {
  uint8_t digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  const platform::OpenSslPtr<EVP_MD, EVP_MD_free> sha1(
      EVP_MD_fetch(platform::CryptoLibrary(), "SHA1", platform::kCryptoProperties));
  if (!sha1 || EVP_Digest(bytes.data(), bytes.size(), digest, &length, sha1.get(), nullptr) != 1) {
    return {};
  }
  return Hex({digest, length});
}

std::optional<Failure> FindByThumbprint(const std::string& storeName, const std::string& sha1,
                                        std::unique_ptr<platform::CertStore>& store,
                                        platform::CertContextRef& context) {
  platform::CertFind find;
  find.type = platform::FindType::kSha1Hash;
  if (sha1.size() != 40) return Failure{kStoreInvalidInput, "a thumbprint has 40 hex digits"};
  for (std::size_t i = 0; i < sha1.size(); i += 2) {
    unsigned value = 0;
    std::istringstream digits(sha1.substr(i, 2));
    if (!(digits >> std::hex >> value) || !std::isxdigit(static_cast<unsigned char>(sha1[i])) ||
        !std::isxdigit(static_cast<unsigned char>(sha1[i + 1]))) {
      return Failure{kStoreInvalidInput, "a thumbprint has 40 hex digits"};
    }
    find.bytes.push_back(static_cast<uint8_t>(value));
  }
  if (const platform::Status status = platform::CertStore::OpenSystemStore(storeName, store);
      status != platform::error::kOk) {
    return StoreFailure("cannot open store " + storeName, status);
  }
  if (const platform::Status status = store->Find(find, nullptr, context);
      status != platform::error::kOk) {
    return StoreFailure("no certificate " + sha1 + " in " + store->name(), status);
  }
  return std::nullopt;
}

}  // namespace quorvel::tools
