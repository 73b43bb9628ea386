// Message cryptography entry points: stateless operations that the control's
// members call with bytes, the control's settings and places for results.
// Each acquires what it needs, does one job, releases everything and returns
// 0 or a negative error number; where a platform call failed, its error value
// is stored in `lastError` (left untouched otherwise). Running out of memory
// is not a result: std::bad_alloc reaches the member's handler, which reports
// -10000.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors/error_numbers.h"
#include "platform/errors/platform_errors.h"
#include "platform/ui/ui_services.h"

namespace quorvel::engine {

// The five details of the certificate an entry point used: subject, issuer,
// start and end of validity, serial number. A detail the entry point did not
// produce is none, and the caller keeps its old text for it.
using CertDetails = std::array<std::optional<std::u16string>, 5>;

// Settings that travel unchanged from the control to the engines.
struct SignSettings {
  int32_t compressionThreshold = 51200;  // MaxCompSize
  std::string digestOid;                 // digestArithmeticId
  bool signatureKeysOnly = false;        // keySpecVariant
  platform::ChooserTexts chooserTexts;
};

// A produced message: its Base64 text in single-byte characters, and the
// details of the certificate that made it.
struct SignOutput {
  std::string base64;
  CertDetails signer;
};

// PKCS#7 signature by the certificate that `dnList` names (several DNs joined
// by `separator`), or the user's choice when `dnList` is none.
ErrorNumber SignP7(std::string_view data, bool serverMode, bool detached,
                   std::optional<std::u16string_view> dnList, std::u16string_view separator,
                   const SignSettings& settings, SignOutput& output, platform::Status& lastError);

// As SignP7, but the message is assembled by hand from a hash signed with the
// certificate's key (one signer, no authenticated attributes, SHA-1 or MD5),
// and it is compressed when large in detached mode too.
ErrorNumber AdvancedSignP7(std::string_view data, bool serverMode, bool detached,
                           std::optional<std::u16string_view> dnList, std::u16string_view separator,
                           const SignSettings& settings, SignOutput& output,
                           platform::Status& lastError);

// PKCS#7 signature by the certificate with one of the serial numbers of
// `serialNumber` under `issuerDn`, or the user's choice when none is given.
ErrorNumber SignP7BySerial(std::string_view data, bool detached,
                           std::optional<std::u16string_view> serialNumber,
                           std::u16string_view issuerDn, const SignSettings& settings,
                           SignOutput& output, platform::Status& lastError);

// A bare RSA signature over the digest of `data`, most significant byte first.
ErrorNumber RawSign(std::string_view data, bool serverMode,
                    std::optional<std::u16string_view> dnList, std::u16string_view separator,
                    const SignSettings& settings, SignOutput& output, platform::Status& lastError);

// Verifies the Base64 signed message `signedMessage` (bytes of its text). An
// attached message yields its content in `content`; a detached one is checked
// against `content`. `signer` receives the signer's details. The verifiers
// take the text over and release it once it is decoded, so that a large
// message is not held as text and as bytes at once.
ErrorNumber VerifyP7(std::string signedMessage, std::string& content, CertDetails& signer,
                     bool attached, platform::Status& lastError);

// As VerifyP7 for attached messages, tolerating an expired signer.
ErrorNumber VerifyP7Afterwards(std::string signedMessage, std::string& content, CertDetails& signer,
                               platform::Status& lastError);

// Verify the hand-built layout that AdvancedSignP7 makes, taking the message
// apart and checking the signed hash, then the signer's chain with every
// check. The digest comes from the message. On failure `lastError` receives
// the returned error number.
ErrorNumber AdvancedVerifyAttached(std::string signedMessage, std::string& content,
                                   CertDetails& signer, platform::Status& lastError);
ErrorNumber AdvancedVerifyDetached(std::string signedMessage, std::string_view content,
                                   CertDetails& signer, platform::Status& lastError);

// Checks the Base64 raw signature `signature` over `content` with the
// certificate that `dnList` names in "CA", "ROOT" and "AddressBOOK".
ErrorNumber RawVerify(std::string_view signature, bool serverMode, std::string_view content,
                      std::optional<std::u16string_view> dnList, std::u16string_view separator,
                      std::string_view digestOid, const platform::ChooserTexts& chooserTexts,
                      CertDetails& signer, platform::Status& lastError);

// The Base64 digest of `data` with the algorithm `digestOid`.
ErrorNumber HashAndBase64(std::string_view data, std::string_view digestOid, std::string& base64);

// ---- Digital envelopes.

// A made envelope: its Base64 text in single-byte characters, the details of
// the recipient and, for a signed envelope, of the signer.
struct EnvelopeOutput {
  std::string base64;
  CertDetails signer;
  CertDetails recipient;
};

// An opened envelope: the content, the details of the certificate whose key
// opened it and, for a signed envelope, of the signer.
struct OpenedEnvelope {
  std::string content;
  CertDetails signer;
  CertDetails recipient;
};

// Encrypts `data` with `symmetricOid` for the one certificate that
// `recipientDn` names in "CA", "ROOT" and "AddressBOOK" (the user's choice
// when none).
ErrorNumber MakeEnvelope(std::string_view data, bool serverMode,
                         std::optional<std::u16string_view> recipientDn,
                         std::u16string_view separator, std::string_view symmetricOid,
                         const platform::ChooserTexts& chooserTexts, EnvelopeOutput& output,
                         platform::Status& lastError);

// Signs `data` (attached) with the certificate `signerDn` names in "MY", as
// SignP7 selects it, and envelopes the signed message for the recipient as
// MakeEnvelope does. Nothing is compressed.
ErrorNumber MakeSignedEnvelope(std::string_view data, bool serverMode,
                               std::optional<std::u16string_view> signerDn,
                               std::optional<std::u16string_view> recipientDn,
                               std::u16string_view separator, const SignSettings& settings,
                               std::string_view symmetricOid, EnvelopeOutput& output,
                               platform::Status& lastError);

// Encrypts `data` with `symmetricOid` for the DER certificate whose Base64
// text is `certificateBase64` (not looked up in any store).
ErrorNumber EncryptFileForCert(std::string_view data, std::string_view certificateBase64,
                               std::string_view symmetricOid, std::string& base64,
                               platform::Status& lastError);

// Opens the Base64 envelope `message` with a certificate and key of "MY".
ErrorNumber OpenEnvelope(std::string_view message, OpenedEnvelope& opened,
                         platform::Status& lastError);

// Opens the Base64 signed envelope `message` with a certificate and key of
// "MY", verifies the signature inside and checks the signer's chain.
ErrorNumber OpenSignedEnvelope(std::string_view message, OpenedEnvelope& opened,
                               platform::Status& lastError);

}  // namespace quorvel::engine
