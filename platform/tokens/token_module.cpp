#include "platform/tokens/token_module.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <new>

#include "platform/errors/platform_errors.h"

namespace quorvel::platform {
namespace {

CK_C_INITIALIZE_ARGS InitializeArguments() {
  CK_C_INITIALIZE_ARGS arguments{};
  arguments.flags = CKF_OS_LOCKING_OK;
  return arguments;
}

CK_RV Initialize(CK_FUNCTION_LIST* functions) {
  CK_C_INITIALIZE_ARGS arguments = InitializeArguments();
  const CK_RV rv = functions->C_Initialize(&arguments);
  // Another user of the module in this process initialised it already.
  return rv == CKR_CRYPTOKI_ALREADY_INITIALIZED ? CKR_OK : rv;
}

struct LoadedModules {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<TokenModule>> modules;
};

LoadedModules& Loaded() {
  static auto* loaded = new LoadedModules;  // kept to the end with the modules
  return *loaded;
}

}  // namespace

Status TokenError(CK_RV rv) {
  switch (rv) {
    case CKR_OK:
      return error::kOk;
    case CKR_HOST_MEMORY:
      return error::kOutOfMemory;
    case CKR_PIN_INCORRECT:
    case CKR_PIN_INVALID:
    case CKR_PIN_LEN_RANGE:
      return error::kCardWrongPin;
    case CKR_PIN_LOCKED:
    case CKR_PIN_EXPIRED:
      return error::kCardPinLocked;
    case CKR_FUNCTION_CANCELED:
      return error::kCardCancelled;
    // A module that lost its token answers with any of these; SoftHSM gives a
    // general error for a token deleted under it.
    case CKR_DEVICE_REMOVED:
    case CKR_TOKEN_NOT_PRESENT:
    case CKR_TOKEN_NOT_RECOGNIZED:
    case CKR_SLOT_ID_INVALID:
    case CKR_SESSION_HANDLE_INVALID:
    case CKR_SESSION_CLOSED:
    case CKR_DEVICE_ERROR:
    case CKR_GENERAL_ERROR:
      return error::kCardRemoved;
    default:
      return error::kCardFailure;
  }
}

std::string TokenText(const unsigned char* field, std::size_t width) {
  std::string text(reinterpret_cast<const char*>(field), width);
  const std::size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  // A field is blank padded; a module that ends it with a NUL means the same.
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.erase(nul);
  return text;
}

TokenModule::TokenModule(std::string path, CK_FUNCTION_LIST* functions)
    : path_(std::move(path)), functions_(functions) {}

Status TokenModule::Load(const std::string& path, std::shared_ptr<TokenModule>& module) {
  module.reset();
  if (path.empty() || path.front() != '/') return error::kInvalidArgument;
  LoadedModules& loaded = Loaded();
  std::lock_guard lock(loaded.mutex);
  if (const auto found = loaded.modules.find(path); found != loaded.modules.end()) {
    module = found->second;
    return error::kOk;
  }
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return error::kCardFailure;
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return error::kCardFailure;
  auto getFunctionList =
      reinterpret_cast<CK_C_GetFunctionList>(::dlsym(library, "C_GetFunctionList"));
  CK_FUNCTION_LIST* functions = nullptr;
  if (getFunctionList == nullptr || getFunctionList(&functions) != CKR_OK || functions == nullptr ||
      functions->version.major != 2 || Initialize(functions) != CKR_OK) {
    // A library that is no module, or refuses to start, is not kept.
    ::dlclose(library);
    return error::kCardFailure;
  }
  try {
    // The library stays loaded for the life of the process, as the table of
    // loaded modules does: its handle is not needed again.
    std::shared_ptr<TokenModule> made(new TokenModule(path, functions));
    loaded.modules.emplace(path, made);
    module = std::move(made);
  } catch (const std::bad_alloc&) {
    return error::kOutOfMemory;
  }
  return error::kOk;
}

void TokenModule::Rescan() {
  std::lock_guard lock(mutex_);
  if (openSessions_ != 0) return;
  functions_->C_Finalize(nullptr);
  Initialize(functions_);
}

Status TokenModule::Tokens(std::vector<TokenSlot>& tokens) {
  tokens.clear();
  std::lock_guard lock(mutex_);
  CK_ULONG count = 0;
  if (const CK_RV rv = functions_->C_GetSlotList(CK_TRUE, nullptr, &count)) return TokenError(rv);
  if (count == 0) return error::kOk;
  // A module may list more slots on the second call than it counted on the
  // first; it says so with CKR_BUFFER_TOO_SMALL, and the bound holds either way.
  std::vector<CK_SLOT_ID> slots(std::min<CK_ULONG>(count, kMaxTokenSlots));
  count = slots.size();
  const CK_RV listed = functions_->C_GetSlotList(CK_TRUE, slots.data(), &count);
  if (listed != CKR_OK && listed != CKR_BUFFER_TOO_SMALL) return TokenError(listed);
  slots.resize(std::min<std::size_t>(count, slots.size()));
  for (const CK_SLOT_ID slot : slots) {
    CK_TOKEN_INFO info{};
    // A slot whose token cannot be read is as good as empty.
    if (functions_->C_GetTokenInfo(slot, &info) != CKR_OK) continue;
    if ((info.flags & CKF_TOKEN_INITIALIZED) == 0) continue;
    tokens.push_back({slot, TokenText(info.label, sizeof info.label),
                      TokenText(info.serialNumber, sizeof info.serialNumber), info.flags});
  }
  return error::kOk;
}

Status TokenModule::OpenSession(CK_SLOT_ID slot, std::unique_ptr<TokenSession>& session) {
  session.reset();
  std::shared_ptr<TokenModule> self = shared_from_this();
  std::lock_guard lock(mutex_);
  CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
  if (const CK_RV rv =
          functions_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle)) {
    return TokenError(rv);
  }
  try {
    session.reset(new TokenSession(std::move(self), handle));
  } catch (const std::bad_alloc&) {
    functions_->C_CloseSession(handle);
    return error::kOutOfMemory;
  }
  ++openSessions_;
  return error::kOk;
}

void TokenModule::SessionClosed() {
  std::lock_guard lock(mutex_);
  --openSessions_;
}

TokenSession::~TokenSession() {
  module_->functions()->C_CloseSession(handle_);
  module_->SessionClosed();
}

Status TokenSession::Find(std::vector<CK_ATTRIBUTE> attributes, std::size_t limit,
                          std::vector<CK_OBJECT_HANDLE>& objects) const {
  objects.clear();
  CK_FUNCTION_LIST* f = functions();
  if (const CK_RV rv = f->C_FindObjectsInit(handle_, attributes.data(), attributes.size())) {
    return TokenError(rv);
  }
  Status status = error::kOk;
  while (objects.size() < limit) {
    CK_OBJECT_HANDLE batch[16];
    CK_ULONG found = 0;
    const CK_ULONG wanted = std::min<std::size_t>(std::size(batch), limit - objects.size());
    if (const CK_RV rv = f->C_FindObjects(handle_, batch, wanted, &found)) {
      status = TokenError(rv);
      break;
    }
    if (found == 0) break;
    objects.insert(objects.end(), batch, batch + std::min(found, wanted));
  }
  f->C_FindObjectsFinal(handle_);
  return status;
}

Status TokenSession::Attribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::size_t limit,
                               std::vector<uint8_t>& value) const {
  value.clear();
  CK_ATTRIBUTE attribute{type, nullptr, 0};
  CK_FUNCTION_LIST* f = functions();
  const CK_RV sized = f->C_GetAttributeValue(handle_, object, &attribute, 1);
  if (sized == CKR_ATTRIBUTE_SENSITIVE || sized == CKR_ATTRIBUTE_TYPE_INVALID ||
      attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION) {
    return error::kNotFound;
  }
  if (sized != CKR_OK) return TokenError(sized);
  if (attribute.ulValueLen > limit) return error::kBadData;
  value.resize(attribute.ulValueLen);
  attribute.pValue = value.data();
  if (const CK_RV rv = f->C_GetAttributeValue(handle_, object, &attribute, 1)) {
    value.clear();
    return TokenError(rv);
  }
  value.resize(std::min<std::size_t>(attribute.ulValueLen, value.size()));
  return error::kOk;
}

}  // namespace quorvel::platform
