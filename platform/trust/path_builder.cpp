#include "platform/trust/path_builder.h"

#include <openssl/x509_vfy.h>

#include <algorithm>
#include <ctime>
#include <new>
#include <unordered_map>

#include "platform/certificates/certificate_openssl.h"
#include "platform/crypto/openssl_error_mark.h"
#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

using CertificateRef = std::shared_ptr<const Certificate>;

// Longer paths are cut and reported as partial; they only arise from hostile
// store contents.
constexpr int kMaxPathLength = 16;

constexpr uint64_t kUnixEpochFileTime = 116444736000000000ULL;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// What one of the verifier's errors means for the certificate it names.
struct Finding {
  int error;
  uint32_t status;
};

constexpr uint32_t kNameConstraints = kTrustInvalidNameConstraints;

constexpr Finding kFindings[] = {
    {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, kTrustIsUntrustedRoot},
    {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, kTrustIsUntrustedRoot},
    {X509_V_ERR_CERT_UNTRUSTED, kTrustIsUntrustedRoot},
    {X509_V_ERR_CERT_REJECTED, kTrustIsUntrustedRoot},
    {X509_V_ERR_INVALID_CA, kTrustInvalidBasicConstraints},
    {X509_V_ERR_PATH_LENGTH_EXCEEDED, kTrustInvalidBasicConstraints},
    {X509_V_ERR_KEYUSAGE_NO_CERTSIGN, kTrustIsNotValidForUsage},
    {X509_V_ERR_PERMITTED_VIOLATION, kNameConstraints | kTrustHasNotPermittedNameConstraint},
    {X509_V_ERR_EXCLUDED_VIOLATION, kNameConstraints | kTrustHasExcludedNameConstraint},
    {X509_V_ERR_SUBTREE_MINMAX, kNameConstraints | kTrustHasNotSupportedNameConstraint},
    {X509_V_ERR_UNSUPPORTED_CONSTRAINT_TYPE,
     kNameConstraints | kTrustHasNotSupportedNameConstraint},
    {X509_V_ERR_UNSUPPORTED_CONSTRAINT_SYNTAX,
     kNameConstraints | kTrustHasNotSupportedNameConstraint},
    {X509_V_ERR_UNSUPPORTED_NAME_SYNTAX, kNameConstraints | kTrustHasNotSupportedNameConstraint},
    {X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION, kTrustHasNotSupportedCriticalExt},
    {X509_V_ERR_INVALID_POLICY_EXTENSION, kTrustInvalidPolicyConstraints},
    {X509_V_ERR_NO_EXPLICIT_POLICY, kTrustInvalidPolicyConstraints},
};

// Errors that end the path: no issuer, or no more room for one.
constexpr int kPathEnds[] = {
    X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT,
    X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY,
    X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE,
    X509_V_ERR_CERT_CHAIN_TOO_LONG,
};

// Checked by the chain engine itself, with its own rules.
constexpr int kLeftToTheCaller[] = {
    X509_V_ERR_CERT_NOT_YET_VALID,
    X509_V_ERR_CERT_HAS_EXPIRED,
    X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD,
    X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD,
    X509_V_ERR_CERT_SIGNATURE_FAILURE,
    X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE,
    X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY,
};

template <typename List, typename Value>
bool Contains(const List& list, const Value& value) {
  return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

// One path being built: the certificates the verifier may meet, by handle,
// and what it found.
struct PathBuild {
  const PathCandidates* candidates = nullptr;
  std::unordered_map<const X509*, CertificateRef> known;
  std::vector<uint32_t> statusByDepth = std::vector<uint32_t>(kMaxPathLength + 2, 0);
  bool partial = false;

  void Note(int error, int depth) {
    if (Contains(kLeftToTheCaller, error)) return;
    if (Contains(kPathEnds, error)) {
      partial = true;
      return;
    }
    uint32_t status = kTrustInvalidExtension;  // anything else the verifier objects to
    for (const Finding& finding : kFindings) {
      if (finding.error == error) status = finding.status;
    }
    const auto at = static_cast<std::size_t>(std::clamp(depth, 0, kMaxPathLength + 1));
    statusByDepth[at] |= status;
  }

  bool SignedBy(X509* subject, X509* issuer) const {
    const auto knownSubject = known.find(subject);
    const auto knownIssuer = known.find(issuer);
    if (knownSubject != known.end() && knownIssuer != known.end()) {
      return knownSubject->second->SignedBy(*knownIssuer->second);
    }
    EVP_PKEY* key = X509_get0_pubkey(issuer);
    return key != nullptr && X509_verify(subject, key) == 1;
  }
};

PathBuild& BuildOf(X509_STORE_CTX* context) {
  return *static_cast<PathBuild*>(X509_STORE_CTX_get_app_data(context));
}

// Names and key identifiers say `issuer` issued `subject`. Whether the issuer
// may sign certificates is judged later, on the path.
bool NamesIssuer(X509* issuer, X509* subject) {
  const int result = X509_check_issued(issuer, subject);
  return result == X509_V_OK || result == X509_V_ERR_KEYUSAGE_NO_CERTSIGN;
}

// A candidate whose key does not verify the subject's signature is taken only
// when no other candidate's does, so that a broken signature is reported as
// such instead of as a missing issuer.
int CheckIssued(X509_STORE_CTX* context, X509* subject, X509* issuer) {
  if (!NamesIssuer(issuer, subject)) return 0;
  const PathBuild& build = BuildOf(context);
  if (build.SignedBy(subject, issuer)) return 1;
  for (const auto* list : {&build.candidates->anchors, &build.candidates->intermediates}) {
    for (const CertificateRef& other : *list) {
      X509* handle = X509Of(*other);
      if (handle != issuer && NamesIssuer(handle, subject) && build.SignedBy(subject, handle)) {
        return 0;
      }
    }
  }
  return 1;
}

int NoteError(int ok, X509_STORE_CTX* context) {
  if (ok == 0) {
    BuildOf(context).Note(X509_STORE_CTX_get_error(context),
                          X509_STORE_CTX_get_error_depth(context));
  }
  return 1;  // carry on: every finding is kept, the policy judges them
}

using X509StoreCtxPtr = OpenSslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;

time_t ToTimeT(uint64_t fileTime) {
  if (fileTime < kUnixEpochFileTime) return 0;
  return static_cast<time_t>((fileTime - kUnixEpochFileTime) / kFileTimeTicksPerSecond);
}

struct PolicySetDeleter {
  void operator()(STACK_OF(ASN1_OBJECT) * set) const { sk_ASN1_OBJECT_free(set); }
};

bool AcceptAnyPolicy(X509_VERIFY_PARAM* parameters) {
  ASN1_OBJECT* anyPolicy = OBJ_nid2obj(NID_any_policy);  // static, never freed
  const std::unique_ptr<STACK_OF(ASN1_OBJECT), PolicySetDeleter> policies(
      sk_ASN1_OBJECT_new_null());
  return anyPolicy != nullptr && policies && sk_ASN1_OBJECT_push(policies.get(), anyPolicy) > 0 &&
         X509_VERIFY_PARAM_set1_policies(parameters, policies.get()) == 1;
}

}  // namespace

Status BuildCertificationPath(const CertificateRef& certificate, const PathCandidates& candidates,
                              uint64_t time, CertificationPath& path) {
  path = {};
  OpenSslErrorMark mark;
  try {
    PathBuild build;
    build.candidates = &candidates;
    build.known.emplace(X509Of(*certificate), certificate);

    const X509StorePtr store(X509_STORE_new());
    const X509StackPtr untrusted(sk_X509_new_null());
    if (!store || !untrusted) return error::kOutOfMemory;
    for (const CertificateRef& anchor : candidates.anchors) {
      build.known.emplace(X509Of(*anchor), anchor);
      if (X509_STORE_add_cert(store.get(), X509Of(*anchor)) != 1) return error::kOutOfMemory;
    }
    for (const CertificateRef& intermediate : candidates.intermediates) {
      build.known.emplace(X509Of(*intermediate), intermediate);
      X509* handle = X509Of(*intermediate);
      if (X509_up_ref(handle) != 1) return error::kOutOfMemory;
      if (sk_X509_push(untrusted.get(), handle) <= 0) {
        X509_free(handle);
        return error::kOutOfMemory;
      }
    }
    X509_STORE_set_check_issued(store.get(), CheckIssued);
    X509_STORE_set_verify_cb(store.get(), NoteError);

    const X509StoreCtxPtr context(X509_STORE_CTX_new_ex(CryptoLibrary(), kCryptoProperties));
    if (!context || X509_STORE_CTX_init(context.get(), store.get(), X509Of(*certificate),
                                        untrusted.get()) != 1) {
      return error::kOutOfMemory;
    }
    X509_STORE_CTX_set_app_data(context.get(), &build);
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_time(parameters, ToTimeT(time));
    X509_VERIFY_PARAM_set_depth(parameters, kMaxPathLength);
    // Any certificate of the anchors ends a path, and the path's policy
    // constraints are applied with any policy acceptable to begin with.
    X509_VERIFY_PARAM_set_flags(parameters, X509_V_FLAG_PARTIAL_CHAIN | X509_V_FLAG_POLICY_CHECK);
    if (!AcceptAnyPolicy(parameters)) return error::kOutOfMemory;
    if (X509_verify_cert(context.get()) < 0) return error::kOutOfMemory;

    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    const int length = std::min(sk_X509_num(chain), kMaxPathLength + 2);
    if (length <= 0) return error::kOutOfMemory;
    for (int depth = 0; depth < length; ++depth) {
      const auto found = build.known.find(sk_X509_value(chain, depth));
      if (found == build.known.end()) return error::kChaining;
      path.elements.push_back(
          {found->second, build.statusByDepth[static_cast<std::size_t>(depth)]});
    }
    // Findings about a place past the end belong to the last certificate.
    for (std::size_t depth = static_cast<std::size_t>(length); depth < build.statusByDepth.size();
         ++depth) {
      path.elements.back().errorStatus |= build.statusByDepth[depth];
    }
    path.partial = build.partial;
  } catch (const std::bad_alloc&) {
    path = {};
    return error::kOutOfMemory;
  }
  return error::kOk;
}

}  // namespace quorvel::platform
