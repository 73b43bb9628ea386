
#include "platform/errors/platform_errors.h"
// A PKCS#11 module loaded at run time, and sessions on its tokens.
//
// A module is loaded with dlopen once per process and path, initialised for
// use from several threads, and kept until the process ends (modules start
// threads and register handlers that make unloading unsafe). Many modules,
// SoftHSM among them, read their tokens only when initialised: Rescan
// initialises the module again, when none of its sessions is open, so tokens
// inserted or removed since are seen.
#pragma once

#include <p11-kit/pkcs11.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::platform {

inline constexpr std::size_t kMaxTokenSlots = 64;

struct TokenSlot {
  CK_SLOT_ID slot = 0;
  std::string label;   // trailing blanks removed
  std::string serial;  // trailing blanks removed
  CK_FLAGS flags = 0;  // the token's CKF_ flags
};

class TokenSession;

class TokenModule : public std::enable_shared_from_this<TokenModule> {
 public:
  // The module at the absolute path `path` (a regular file), loaded and
  // initialised: kOk, kCardFailure when it cannot be, kInvalidArgument for a
  // path that is not absolute.
  static Status Load(const std::string& path, std::shared_ptr<TokenModule>& module);

  TokenModule(const TokenModule&) = delete;
  TokenModule& operator=(const TokenModule&) = delete;

  const std::string& path() const { return path_; }
  CK_FUNCTION_LIST* functions() const { return functions_; }

  // Initialises the module again unless a session is open.
  void Rescan();

  // The slots that hold a token, at most kMaxTokenSlots.
  Status Tokens(std::vector<TokenSlot>& tokens);

  // A serial session (read-only) on the token in `slot`.
  Status OpenSession(CK_SLOT_ID slot, std::unique_ptr<TokenSession>& session);

 private:
  friend class TokenSession;
  TokenModule(std::string path, CK_FUNCTION_LIST* functions);
  void SessionClosed();

  const std::string path_;
  CK_FUNCTION_LIST* const functions_;
  std::mutex mutex_;
  std::size_t openSessions_ = 0;
};

// An open session; closing it (when the holder goes) ends any login made on
// it, since a token logs out when the application's last session closes.
class TokenSession {
 public:
  ~TokenSession();
  TokenSession(const TokenSession&) = delete;
  TokenSession& operator=(const TokenSession&) = delete;

  CK_SESSION_HANDLE handle() const { return handle_; }
  CK_FUNCTION_LIST* functions() const { return module_->functions(); }
  const std::shared_ptr<TokenModule>& module() const { return module_; }

  // The object handles of up to `limit` objects matching `attributes`.
  Status Find(std::vector<CK_ATTRIBUTE> attributes, std::size_t limit,
              std::vector<CK_OBJECT_HANDLE>& objects) const;

  // The value of one attribute of `object`, at most `limit` bytes;
  // kNotFound when the object has no readable value of it.
  Status Attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::size_t limit,
                   std::vector<uint8_t>& value) const;

 private:
  friend class TokenModule;
  TokenSession(std::shared_ptr<TokenModule> module, CK_SESSION_HANDLE handle)
      : module_(std::move(module)), handle_(handle) {}

  std::shared_ptr<TokenModule> module_;
  CK_SESSION_HANDLE handle_;
};

// The platform error for a PKCS#11 return value.
Status TokenError(CK_RV rv);

// Text of a fixed-width, blank-padded PKCS#11 field.
std::string TokenText(const unsigned char* field, std::size_t width);

}  // namespace quorvel::platform
