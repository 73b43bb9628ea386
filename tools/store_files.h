// What the `quorvel store` subcommands share: reading the files they are given,
// the stores they show, and failures with the store command's exit statuses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/openssl.h"
#include "platform/stores/cert_store.h"
#include "tools/command_failure.h"

namespace quorvel::tools {

// At most this many objects are taken from one PEM file.
inline constexpr std::size_t kMaxPemBlocks = 1000;

// A failure of the stores as the command reports it, with the platform value.
Failure StoreFailure(const std::string& what, platform::Status value);

// The whole file; an empty or unreadable one is a failure.
std::optional<Failure> ReadFile(const std::string& path, platform::Bytes& bytes);

bool LooksLikePem(const platform::Bytes& bytes);

// The DER of every PEM block whose label is one of `labels`, in file order;
// false when there are more than kMaxPemBlocks.
bool PemBlocks(const platform::Bytes& bytes, std::initializer_list<std::string_view> labels,
               std::vector<platform::Bytes>& ders);

// The stores `--store` names: the one given, or all four system stores.
std::vector<std::string> StoresToShow(const std::string& store);

// The certificate of `storeName` whose thumbprint is `sha1` (40 hex digits),
// with the store it was found in.
std::optional<Failure> FindByThumbprint(const std::string& storeName, const std::string& sha1,
                                        std::unique_ptr<platform::CertStore>& store,
                                        platform::CertContextRef& context);

// Lower-case hex of the SHA-1 of `bytes`: the thumbprint the commands show.
std::string Thumbprint(const platform::Bytes& bytes);

}  // namespace quorvel::tools
