// `quorvel store`: the certificate stores and key containers in the platform home.
//
//   quorvel store import FILE [--password P] [--key KEYFILE] [--store S]
//                              [--key-spec exchange|signature] [--container NAME]
//       (the key specification defaults to the one a PKCS#12 file records, else
//       exchange)
//       FILE is a PKCS#12 file (with its password), or a PEM or DER certificate,
//       optionally with its PEM or DER private key in KEYFILE. The key goes into
//       a key container (a new one named after the certificate unless --container
//       names one) and the certificate, with its key-provider property, into the
//       store (MY by default). Certificates that come with a PKCS#12 file or a
//       key besides the one with the key go into CA; a PEM file of certificates
//       alone goes wholly into the store (those it holds already are kept).
//       Everything is one transaction.
//   quorvel store list [--store S] [--json]      (all four system stores without --store)
//       each certificate with its information texts, key identifiers and key
//   quorvel store remove --store S SHA1
//   quorvel store export --store S SHA1 [--out FILE] [--pem]
//   quorvel store export --store S SHA1 --pkcs12 --out FILE --password-file F
//                              [--chain] [--force]
//       The certificate with its private key (and with --chain its issuers from
//       CA and ROOT) as a PKCS#12 file of mode 0600; an existing FILE is kept
//       unless --force is given. The only way a key leaves the home.
//   quorvel store import-crl, list-crls, remove-crl: see store_crl_command.h
//
// SHA1 is the certificate's thumbprint as `list` shows it. Exit status: 0 on
// success, else one of the codes below with a message on the error stream.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>

namespace quorvel::tools {

inline constexpr int kStoreNotFound = 1;      // no such certificate
inline constexpr int kStoreInvalidInput = 2;  // a file that cannot be read or decoded, a bad option
inline constexpr int kStoreStorageFailure = 3;  // the home or its database cannot be used
inline constexpr int kStoreAlreadyPresent = 4;  // the certificate is already in the store

void AddStoreCommand(CLI::App& app, std::ostream& out = std::cout, std::ostream& err = std::cerr);

}  // namespace quorvel::tools
