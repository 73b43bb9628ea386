// Control objects as any program gets them: from the module's class factory,
// called through IDispatch. The module is found the way the platform finds an
// in-process server: the ProgID's CLSID and the CLSID's InprocServer32 in the
// registry when they are registered, the built-in identifiers and the module
// installed beside this program otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "control/registration/com_abi.h"
#include "control/registration/member_table.h"
#include "host/module_interface.h"
#include "platform/ui/ui_services.h"

namespace quorvel::host {

// A text for a member call: one of the module's, which the host fills as an
// argument or reads as a result, so that the text crosses the module
// boundary without a copy; or a text of the host's own for a module that
// offers no such texts.
class ModuleText {
 public:
  ModuleText() = default;
  // Holds a reference on the interface the text came from, so that the text
  // can be freed whenever it goes.
  ModuleText(const ModuleInterface& hostCaller, void* text, char16_t* units, size_t length);
  explicit ModuleText(std::u16string own) : own_(std::move(own)) {}
  ~ModuleText();
  ModuleText(ModuleText&& other) noexcept;
  ModuleText& operator=(ModuleText&& other) noexcept;

  char16_t* units() { return text_ != nullptr ? units_ : own_.data(); }
  std::u16string_view view() const {
    return text_ != nullptr ? std::u16string_view(units_, length_) : std::u16string_view(own_);
  }
  // Hands the module's text over to a call; null for a text of the host's.
  void* Release();
  // The host's own text, taken out.
  std::u16string TakeOwn() { return std::exchange(own_, {}); }

 private:
  // Frees the module's text and lets its interface go.
  void Let();

  ModuleInterface hostCaller_;
  void* text_ = nullptr;
  char16_t* units_ = nullptr;  // the module's text's, while this holds it
  size_t length_ = 0;
  std::u16string own_;
};

// An argument of a member call in its declared type, or a member's result.
using CallValue = std::variant<std::monostate, ModuleText, int32_t, uint32_t>;

// One object of the module, released when this goes.
class ModuleObject {
 public:
  // `module` is the loaded module the object came from.
  ModuleObject(ModuleInterface dispatch, const void* module)
      : dispatch_(std::move(dispatch)), module_(module) {}
  ~ModuleObject();
  ModuleObject(const ModuleObject&) = delete;
  ModuleObject& operator=(const ModuleObject&) = delete;

  // Calls `member` with arguments of its declared types through
  // IDispatch::Invoke. Returns the HRESULT: S_OK or S_FALSE (the member's own
  // success or failure, its result in `result`) or a dispatch error.
  int32_t Invoke(const registration::MemberInfo& member, std::span<const registration::Value> args,
                 registration::Value& result);

  // A text of `length` units (zeros) to fill for an argument of Call. Throws
  // bad_alloc when memory runs out.
  ModuleText NewText(size_t length);

  // Calls the member at `index` of the member table with arguments of its
  // declared types, their texts handed over. Returns the HRESULT as Invoke
  // does, the member's result in `result`.
  int32_t Call(size_t index, std::span<CallValue> args, CallValue& result);

  // Enables both object-safety options and reads them back: true when the
  // object is now safe for scripting and for untrusted data.
  bool MakeSafeForPages();

  // Names the caller the object serves: a web origin, or "local". The object
  // then asks a web origin's consent before a private key is used and writes
  // the signing history; `mayNameFiles` lets a web origin name local files.
  int32_t SetCaller(std::u16string_view caller, bool mayNameFiles);

  // Through the module's test seam; E_NOINTERFACE when the module offers none.
  int32_t SetReceivedPlainText(std::string_view bytes);

 private:
  // The host caller interface, when the module offers it.
  const ModuleInterface& HostCaller();

  ModuleInterface dispatch_;
  const void* module_;
  ModuleInterface hostCaller_;
  bool askedHostCaller_ = false;
};

struct CreateResult {
  std::unique_ptr<ModuleObject> object;
  int32_t hr = 0;  // kClassNotRegistered when no module serves the class
};

// A question to the user, open in the module's dialogs, whether a web origin
// may use the control. Destroying it closes the question if still open; its
// answer never arrives after that.
class ApprovalQuestion {
 public:
  using Answered = std::function<void(platform::OriginApproval)>;
  explicit ApprovalQuestion(Answered answered) : answered_(std::move(answered)) {}
  ~ApprovalQuestion();
  ApprovalQuestion(const ApprovalQuestion&) = delete;
  ApprovalQuestion& operator=(const ApprovalQuestion&) = delete;

 private:
  friend std::unique_ptr<ApprovalQuestion> AskOriginApproval(std::u16string_view, Answered);
  static void Deliver(void* context, int32_t answer);
  Answered answered_;
  ModuleInterface ui_;        // the module's interface, held while the question is
  void* question_ = nullptr;  // the module's question
};

// Opens the question without waiting: `answered` is called once, possibly
// before this returns (kDismissed when the module cannot be reached), or later
// from this thread's event loop.
std::unique_ptr<ApprovalQuestion> AskOriginApproval(std::u16string_view origin,
                                                    ApprovalQuestion::Answered answered);

// Creates an object for a ProgID, or for a CLSID with or without braces.
// `ourClassOnly` refuses any class but the control's, whatever the registry says.
CreateResult CreateByProgId(std::string_view progId, bool ourClassOnly);
CreateResult CreateByClsid(std::string_view clsid, bool ourClassOnly);

}  // namespace quorvel::host
