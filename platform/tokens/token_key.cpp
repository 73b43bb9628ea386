// The token's key is an RSA key with a method of our own: OpenSSL treats a key
// with a foreign method as a legacy key and calls the method for every
// private operation, so the message, signature and envelope code above use it
// like any other key. The method API is deprecated in OpenSSL 3 but remains
// the library's way to plug in keys it cannot see; the deprecation warnings
// are silenced for this file only.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "platform/tokens/token_key.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <new>
#include <vector>

#include "platform/errors/platform_errors.h"
#include "platform/text/code_page.h"
#include "platform/tokens/token_module.h"
#include "platform/ui/ui_services.h"

namespace quorvel::platform {
namespace {

constexpr std::size_t kMaxModulusBytes = 2048;  // 16,384 bits

struct TokenKeyState {
  std::unique_ptr<TokenSession> session;
  CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
};

int StateIndex() {
  static const int index = RSA_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

TokenKeyState* StateOf(const RSA* rsa) {
  return static_cast<TokenKeyState*>(RSA_get_ex_data(rsa, StateIndex()));
}

// One private operation on the token: `init` then `run` over `from`, the
// result into `to`, which holds the modulus length. The length written, or -1.
template <typename Init, typename Run>
int OnToken(const RSA* rsa, int padding, int flen, const unsigned char* from, unsigned char* to,
            Init init, Run run) {
  TokenKeyState* state = StateOf(rsa);
  if (state == nullptr || padding != RSA_PKCS1_PADDING || flen < 0) return -1;
  CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
  CK_FUNCTION_LIST* f = state->session->functions();
  const CK_SESSION_HANDLE session = state->session->handle();
  if ((f->*init)(session, &mechanism, state->key) != CKR_OK) return -1;
  CK_ULONG length = static_cast<CK_ULONG>(RSA_size(rsa));
  if ((f->*run)(session, const_cast<unsigned char*>(from), static_cast<CK_ULONG>(flen), to,
                &length) != CKR_OK ||
      length > static_cast<CK_ULONG>(RSA_size(rsa))) {
    return -1;
  }
  return static_cast<int>(length);
}

int PrivateEncrypt(int flen, const unsigned char* from, unsigned char* to, RSA* rsa, int padding) {
  return OnToken(rsa, padding, flen, from, to, &CK_FUNCTION_LIST::C_SignInit,
                 &CK_FUNCTION_LIST::C_Sign);
}

int PrivateDecrypt(int flen, const unsigned char* from, unsigned char* to, RSA* rsa, int padding) {
  return OnToken(rsa, padding, flen, from, to, &CK_FUNCTION_LIST::C_DecryptInit,
                 &CK_FUNCTION_LIST::C_Decrypt);
}

int Finish(RSA* rsa) {
  delete StateOf(rsa);
  RSA_set_ex_data(rsa, StateIndex(), nullptr);
  const auto standardFinish = RSA_meth_get_finish(RSA_PKCS1_OpenSSL());
  return standardFinish != nullptr ? standardFinish(rsa) : 1;
}

const RSA_METHOD* TokenRsaMethod() {
  static RSA_METHOD* const method = [] {
    RSA_METHOD* made = RSA_meth_dup(RSA_PKCS1_OpenSSL());
    if (made == nullptr) return made;
    RSA_meth_set1_name(made, "Quorvel PKCS#11 token key");
    RSA_meth_set_priv_enc(made, PrivateEncrypt);
    RSA_meth_set_priv_dec(made, PrivateDecrypt);
    RSA_meth_set_finish(made, Finish);
    RSA_meth_set_flags(made, RSA_meth_get_flags(made) | RSA_FLAG_EXT_PKEY);
    return made;
  }();
  return method;
}

Status FindToken(const TokenKeyLocation& location, std::shared_ptr<TokenModule>& module,
                 TokenSlot& found) {
  if (TokenModule::Load(location.modulePath, module) != error::kOk) return error::kNoCard;
  // A token inserted since the module was initialised is seen after a rescan.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::vector<TokenSlot> tokens;
    if (module->Tokens(tokens) == error::kOk) {
      for (const TokenSlot& token : tokens) {
        if (token.serial == location.serial) {
          found = token;
          return error::kOk;
        }
      }
    }
    if (attempt == 0) module->Rescan();
  }
  return error::kNoCard;
}

Status LogIn(const TokenSession& session, const TokenSlot& token) {
  if ((token.flags & CKF_LOGIN_REQUIRED) == 0) return error::kOk;
  CK_FUNCTION_LIST* f = session.functions();
  CK_RV rv = CKR_OK;
  if ((token.flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0) {
    // The reader has a PIN pad of its own.
    rv = f->C_Login(session.handle(), CKU_USER, nullptr, 0);
  } else {
    const UiServices ui = CurrentUiServices();
    if (!ui.pinEntries) return error::kCardCancelled;
    PinRequest request{Utf8ToUtf16(token.label), PinTries::kUnknown};
    if ((token.flags & CKF_USER_PIN_FINAL_TRY) != 0) {
      request.tries = PinTries::kLast;
    } else if ((token.flags & CKF_USER_PIN_COUNT_LOW) != 0) {
      request.tries = PinTries::kFew;
    }
    PinAnswer answer = ui.pinEntries->AskPin(request);
    if (answer.outcome != PinOutcome::kEntered) return error::kCardCancelled;
    const std::string_view pin = answer.pin.view();
    rv = f->C_Login(session.handle(), CKU_USER,
                    reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin.data())), pin.size());
    answer.pin.Wipe();
  }
  return rv == CKR_USER_ALREADY_LOGGED_IN ? error::kOk : TokenError(rv);
}

Status MakeKey(std::unique_ptr<TokenSession> session, CK_OBJECT_HANDLE object, EvpPkeyPtr& key) {
  Bytes modulus;
  Bytes exponent;
  if (const Status read = session->Attribute(object, CKA_MODULUS, kMaxModulusBytes, modulus);
      read != error::kOk) {
    return read == error::kNotFound ? error::kNoKey : read;
  }
  if (const Status read =
          session->Attribute(object, CKA_PUBLIC_EXPONENT, kMaxModulusBytes, exponent);
      read != error::kOk) {
    return read == error::kNotFound ? error::kNoKey : read;
  }
  BignumPtr n(BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr));
  BignumPtr e(BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr));
  if (!n || !e || BN_is_zero(n.get()) || BN_is_zero(e.get())) return error::kBadData;

  const OpenSslPtr<RSA, RSA_free> rsa(RSA_new());
  const RSA_METHOD* method = TokenRsaMethod();
  if (!rsa || method == nullptr || RSA_set_method(rsa.get(), method) != 1) {
    return error::kOutOfMemory;
  }
  if (RSA_set0_key(rsa.get(), n.get(), e.get(), nullptr) != 1) return error::kOutOfMemory;
  n.release();
  e.release();
  auto* state = new (std::nothrow) TokenKeyState{std::move(session), object};
  if (state == nullptr) return error::kOutOfMemory;
  if (RSA_set_ex_data(rsa.get(), StateIndex(), state) != 1) {
    delete state;
    return error::kOutOfMemory;
  }
  EvpPkeyPtr made(EVP_PKEY_new());
  if (!made || EVP_PKEY_set1_RSA(made.get(), rsa.get()) != 1) return error::kOutOfMemory;
  key = std::move(made);
  return error::kOk;
}

}  // namespace

Status CheckTokenPresent(const TokenKeyLocation& location) {
  std::shared_ptr<TokenModule> module;
  TokenSlot token;
  return FindToken(location, module, token);
}

Status AcquireTokenKey(const TokenKeyLocation& location, EvpPkeyPtr& key) {
  key.reset();
  try {
    std::shared_ptr<TokenModule> module;
    TokenSlot token;
    if (const Status found = FindToken(location, module, token); found != error::kOk) return found;
    if ((token.flags & CKF_USER_PIN_LOCKED) != 0) return error::kCardPinLocked;
    std::unique_ptr<TokenSession> session;
    if (const Status opened = module->OpenSession(token.slot, session); opened != error::kOk)
      return opened;
    if (const Status loggedIn = LogIn(*session, token); loggedIn != error::kOk) return loggedIn;

    CK_OBJECT_CLASS privateKey = CKO_PRIVATE_KEY;
    CK_KEY_TYPE rsa = CKK_RSA;
    Bytes id = location.id;
    std::vector<CK_OBJECT_HANDLE> objects;
    if (const Status searched = session->Find({{CKA_CLASS, &privateKey, sizeof privateKey},
                                               {CKA_KEY_TYPE, &rsa, sizeof rsa},
                                               {CKA_ID, id.data(), id.size()}},
                                              1, objects);
        searched != error::kOk) {
      return searched;
    }
    if (objects.empty()) return error::kNoKey;
    return MakeKey(std::move(session), objects.front(), key);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
}

}  // namespace quorvel::platform
