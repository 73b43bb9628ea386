#include "host/control_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "control/registration/class_factory.h"
#include "control/registration/dispatch.h"
#include "platform/storage/database.h"
#include "platform/storage/registry.h"

namespace quorvel::host {
namespace {

namespace abi = registration::abi;

constexpr std::string_view kModuleFile = "libVemlorQuorvel20.so";

using InvokeEntry = int32_t (*)(void*, int32_t, const abi::Guid*, uint32_t, uint16_t,
                                abi::DispParams*, abi::Variant*, void*, uint32_t*);
using GetSafety = int32_t (*)(void*, const abi::Guid*, uint32_t*, uint32_t*);
using SetSafety = int32_t (*)(void*, const abi::Guid*, uint32_t, uint32_t);
using SetText = int32_t (*)(void*, const uint8_t*, uint32_t);
using GetClassObject = int32_t (*)(const abi::Guid*, const abi::Guid*, void**);
using CreateInstance = int32_t (*)(void*, void*, const abi::Guid*, void**);
using AllocString = char16_t* (*)(const char16_t*, uint32_t);
using VariantClear = void (*)(abi::Variant*);

// A loaded module; modules stay loaded for the life of the process, as the
// platform keeps an in-process server that may still hold objects.
struct Module {
  GetClassObject getClassObject = nullptr;
  AllocString allocString = nullptr;
  VariantClear variantClear = nullptr;
};

std::mutex modulesMutex;
std::map<std::string, Module> modules;

const Module* Load(const std::string& path) {
  std::lock_guard lock(modulesMutex);
  if (const auto found = modules.find(path); found != modules.end()) return &found->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  Module module{reinterpret_cast<GetClassObject>(::dlsym(handle, "DllGetClassObject")),
                reinterpret_cast<AllocString>(::dlsym(handle, "QvSysAllocStringLen")),
                reinterpret_cast<VariantClear>(::dlsym(handle, "QvVariantClear"))};
  if (module.getClassObject == nullptr || module.allocString == nullptr ||
      module.variantClear == nullptr) {
    ::dlclose(handle);
    return nullptr;
  }
  return &modules.emplace(path, module).first->second;
}

// The module of this build: installed beside the program's folder, else in the
// build tree it was built in.
std::string DefaultModulePath() {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string dir(self, static_cast<size_t>(length));
    dir.erase(dir.rfind('/'));
    const std::string installed =
        dir + "/../" + QUORVEL_INSTALL_LIBDIR + "/" + std::string(kModuleFile);
    if (::access(installed.c_str(), R_OK) == 0) return installed;
  }
  return QUORVEL_MODULE_BUILD_PATH;
}

// A default value of the registry, or nullopt.
std::optional<std::string> Registered(const std::string& key) {
  // A connection of its own, so that a registration made while a bridge runs
  // is seen by its next object.
  std::shared_ptr<platform::Database> shared;
  if (platform::SharedDatabase(shared)) return std::nullopt;
  std::unique_ptr<platform::Database> database;
  if (platform::Database::Open(shared->file(), database)) return std::nullopt;
  platform::Registry registry(*database);
  std::string value;
  if (registry.GetString(key, "", value) || value.empty()) return std::nullopt;
  return value;
}

CreateResult Refused(int32_t hr = registration::hresult::kClassNotRegistered) {
  return {nullptr, hr};
}

// The class factory of `clsid` from the module that serves it, and that module.
ModuleInterface FactoryOf(const abi::Guid& clsid, const Module*& module) {
  std::string path;
  if (const auto registered =
          Registered("HKCR\\CLSID\\" + abi::GuidText(clsid) + "\\InprocServer32")) {
    path = *registered;
  } else if (clsid == abi::kClsidControl) {
    path = DefaultModulePath();
  } else {
    return {};
  }
  module = Load(path);
  if (module == nullptr) return {};
  void* factory = nullptr;
  if (module->getClassObject(&clsid, &abi::kIidClassFactory, &factory) != abi::hr::kOk) {
    return {};
  }
  return ModuleInterface(factory);
}

CreateResult Create(const abi::Guid& clsid, bool ourClassOnly) {
  if (ourClassOnly && !(clsid == abi::kClsidControl)) return Refused();
  const Module* module = nullptr;
  const ModuleInterface factory = FactoryOf(clsid, module);
  if (!factory) return Refused();
  void* made = nullptr;
  const int32_t created = factory.Slot<CreateInstance>(abi::kSlotCreateInstance)(
      factory.get(), nullptr, &abi::kIidDispatch, &made);
  ModuleInterface dispatch(made);
  if (created == abi::hr::kOutOfMemory) throw std::bad_alloc();
  if (created != abi::hr::kOk || !dispatch) return Refused();
  return {std::make_unique<ModuleObject>(std::move(dispatch), module), abi::hr::kOk};
}

// Frees a variant's string on every path.
class VariantHolder {
 public:
  explicit VariantHolder(const Module& module) : module_(module) {}
  ~VariantHolder() { module_.variantClear(&variant); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  abi::Variant variant{};

 private:
  const Module& module_;
};

}  // namespace

ModuleText::ModuleText(const ModuleInterface& hostCaller, void* text, char16_t* units,
                       size_t length)
    : hostCaller_(hostCaller.Share()), text_(text), units_(units), length_(length) {}

ModuleText::~ModuleText() {
  Let();
}

void ModuleText::Let() {
  if (!hostCaller_) return;
  if (text_ != nullptr) {
    hostCaller_.Slot<void (*)(void*, void*)>(abi::kSlotFreeText)(hostCaller_.get(), text_);
  }
  hostCaller_.Reset();
  text_ = nullptr;
}

ModuleText::ModuleText(ModuleText&& other) noexcept {
  *this = std::move(other);
}

ModuleText& ModuleText::operator=(ModuleText&& other) noexcept {
  if (this == &other) return *this;
  Let();
  hostCaller_ = std::move(other.hostCaller_);
  text_ = std::exchange(other.text_, nullptr);
  units_ = std::exchange(other.units_, nullptr);
  length_ = std::exchange(other.length_, 0);
  own_ = std::exchange(other.own_, {});
  return *this;
}

void* ModuleText::Release() {
  units_ = nullptr;
  length_ = 0;
  return std::exchange(text_, nullptr);
}

// The host caller interface goes before the object's dispatch interface.
ModuleObject::~ModuleObject() {
  hostCaller_.Reset();
}

const ModuleInterface& ModuleObject::HostCaller() {
  if (!askedHostCaller_) {
    askedHostCaller_ = true;
    hostCaller_ = dispatch_.Query(abi::kIidHostCaller);
  }
  return hostCaller_;
}

ModuleText ModuleObject::NewText(size_t length) {
  const ModuleInterface& hostCaller = HostCaller();
  if (!hostCaller) return ModuleText(std::u16string(length, u'\0'));
  if (length > UINT32_MAX) throw std::bad_alloc();
  using NewTextEntry = void* (*)(void*, uint32_t, char16_t**);
  char16_t* units = nullptr;
  void* text = hostCaller.Slot<NewTextEntry>(abi::kSlotNewText)(
      hostCaller.get(), static_cast<uint32_t>(length), &units);
  if (text == nullptr) throw std::bad_alloc();
  return ModuleText(hostCaller, text, units, length);
}

int32_t ModuleObject::Call(size_t index, std::span<CallValue> args, CallValue& result) {
  const auto table = registration::MemberTable();
  if (index >= table.size()) return registration::hresult::kMemberNotFound;
  const registration::MemberInfo& member = table[index];
  const ModuleInterface& hostCaller = HostCaller();
  if (!hostCaller) {
    // A module without the host's interface gets the call through IDispatch.
    std::vector<registration::Value> values(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      if (auto* text = std::get_if<ModuleText>(&args[i])) values[i] = text->TakeOwn();
      if (const auto* number = std::get_if<int32_t>(&args[i])) values[i] = *number;
      if (const auto* unsignedNumber = std::get_if<uint32_t>(&args[i])) values[i] = *unsignedNumber;
    }
    registration::Value value;
    const int32_t hr = Invoke(member, values, value);
    if (auto* text = std::get_if<std::u16string>(&value)) {
      result = ModuleText(std::move(*text));
    } else if (const auto* number = std::get_if<int32_t>(&value)) {
      result = *number;
    } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&value)) {
      result = *unsignedNumber;
    } else {
      result = std::monostate{};
    }
    return hr;
  }
  using ValueType = registration::ValueType;
  std::vector<abi::HostValue> values(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    abi::HostValue& value = values[i];
    if (auto* text = std::get_if<ModuleText>(&args[i])) {
      value.type = static_cast<uint32_t>(ValueType::kString);
      value.text = text->Release();
    } else if (const auto* number = std::get_if<int32_t>(&args[i])) {
      value.type = static_cast<uint32_t>(ValueType::kLong);
      value.number = static_cast<uint32_t>(*number);
    } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&args[i])) {
      value.type = static_cast<uint32_t>(ValueType::kUnsignedLong);
      value.number = *unsignedNumber;
    }
  }
  using CallEntry =
      int32_t (*)(void*, uint32_t, int32_t, abi::HostValue*, uint32_t, abi::HostValue*);
  abi::HostValue answer{};
  const int32_t hr = hostCaller.Slot<CallEntry>(abi::kSlotCall)(
      hostCaller.get(), static_cast<uint32_t>(index), member.dispid, values.data(),
      static_cast<uint32_t>(values.size()), &answer);
  if (hr == abi::hr::kOutOfMemory) throw std::bad_alloc();
  switch (static_cast<ValueType>(answer.type)) {
    case ValueType::kString:
      result = ModuleText(hostCaller, answer.text, const_cast<char16_t*>(answer.units),
                          static_cast<size_t>(answer.length));
      break;
    case ValueType::kLong:
      result = static_cast<int32_t>(answer.number);
      break;
    case ValueType::kUnsignedLong:
      result = answer.number;
      break;
    default:
      result = std::monostate{};
  }
  return hr;
}

int32_t ModuleObject::Invoke(const registration::MemberInfo& member,
                             std::span<const registration::Value> args,
                             registration::Value& result) {
  const Module& module = *static_cast<const Module*>(module_);
  std::vector<std::unique_ptr<VariantHolder>> holders;
  std::vector<abi::Variant> variants(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    abi::Variant& variant = variants[args.size() - 1 - i];  // the last argument first
    std::memset(&variant, 0, sizeof variant);
    if (const auto* text = std::get_if<std::u16string>(&args[i])) {
      auto holder = std::make_unique<VariantHolder>(module);
      holder->variant.vt = abi::kVtBstr;
      holder->variant.bstrVal =
          module.allocString(text->data(), static_cast<uint32_t>(text->size()));
      if (holder->variant.bstrVal == nullptr) throw std::bad_alloc();
      variant = holder->variant;
      holders.push_back(std::move(holder));
    } else if (const auto* number = std::get_if<int32_t>(&args[i])) {
      variant.vt = abi::kVtI4;
      variant.lVal = *number;
    } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&args[i])) {
      variant.vt = abi::kVtUi4;
      variant.ulVal = *unsignedNumber;
    }
  }
  int32_t named = abi::kDispidPropertyPut;
  const bool put = member.kind == registration::MemberKind::kPropertyPut;
  abi::DispParams params{variants.data(), put ? &named : nullptr,
                         static_cast<uint32_t>(variants.size()), put ? 1u : 0u};
  const uint16_t flags = member.kind == registration::MemberKind::kMethod ? abi::kDispatchMethod
                         : put                                            ? abi::kDispatchPut
                                                                          : abi::kDispatchGet;
  VariantHolder answer{module};
  const int32_t hr = dispatch_.Slot<InvokeEntry>(abi::kSlotInvoke)(
      dispatch_.get(), member.dispid, &abi::kIidUnknown, 0, flags, &params, &answer.variant,
      nullptr, nullptr);
  if (hr == abi::hr::kOutOfMemory) throw std::bad_alloc();
  switch (answer.variant.vt) {
    case abi::kVtBstr:
      result = abi::StringOf(answer.variant.bstrVal);
      break;
    case abi::kVtI4:
      result = answer.variant.lVal;
      break;
    case abi::kVtUi4:
      result = answer.variant.ulVal;
      break;
    default:
      result = std::monostate{};
  }
  return hr;
}

bool ModuleObject::MakeSafeForPages() {
  const ModuleInterface safety = dispatch_.Query(abi::kIidObjectSafety);
  if (!safety) return false;
  constexpr uint32_t kBoth = 3;  // safe for an untrusted caller and for untrusted data
  uint32_t supported = 0;
  uint32_t enabled = 0;
  return safety.Slot<SetSafety>(abi::kSlotSetSafetyOptions)(safety.get(), &abi::kIidDispatch, kBoth,
                                                            kBoth) == abi::hr::kOk &&
         safety.Slot<GetSafety>(abi::kSlotGetSafetyOptions)(safety.get(), &abi::kIidDispatch,
                                                            &supported, &enabled) == abi::hr::kOk &&
         (enabled & kBoth) == kBoth;
}

int32_t ModuleObject::SetCaller(std::u16string_view caller, bool mayNameFiles) {
  int32_t found = abi::hr::kOk;
  const ModuleInterface named = dispatch_.Query(abi::kIidHostCaller, &found);
  if (!named) return found;
  using SetCallerSlot = int32_t (*)(void*, const char16_t*, uint32_t, uint32_t);
  return named.Slot<SetCallerSlot>(abi::kSlotSetCaller)(
      named.get(), caller.data(), static_cast<uint32_t>(caller.size()),
      mayNameFiles ? abi::kCallerMayNameFiles : 0);
}

int32_t ModuleObject::SetReceivedPlainText(std::string_view bytes) {
  int32_t found = abi::hr::kOk;
  const ModuleInterface seam = dispatch_.Query(abi::kIidTestSeam, &found);
  if (!seam) return found;
  return seam.Slot<SetText>(abi::kSlotSetReceivedPlainText)(
      seam.get(), reinterpret_cast<const uint8_t*>(bytes.data()),
      static_cast<uint32_t>(bytes.size()));
}

void ApprovalQuestion::Deliver(void* context, int32_t answer) {
  auto* question = static_cast<ApprovalQuestion*>(context);
  if (!question->answered_) return;
  const bool known =
      answer >= 0 && answer <= static_cast<int32_t>(platform::OriginApproval::kDismissed);
  const Answered answered = std::exchange(question->answered_, nullptr);
  answered(known ? static_cast<platform::OriginApproval>(answer)
                 : platform::OriginApproval::kDismissed);
}

ApprovalQuestion::~ApprovalQuestion() {
  using EndEntry = int32_t (*)(void*, void*);
  if (ui_ && question_ != nullptr) {
    ui_.Slot<EndEntry>(abi::kSlotEndOriginApproval)(ui_.get(), question_);
  }
}

std::unique_ptr<ApprovalQuestion> AskOriginApproval(std::u16string_view origin,
                                                    ApprovalQuestion::Answered answered) {
  using BeginEntry =
      int32_t (*)(void*, const char16_t*, uint32_t, abi::OriginAnsweredCallback, void*, void**);
  auto question = std::make_unique<ApprovalQuestion>(std::move(answered));
  const Module* module = nullptr;
  question->ui_ = FactoryOf(abi::kClsidControl, module).Query(abi::kIidHostUi);
  if (!question->ui_ ||
      question->ui_.Slot<BeginEntry>(abi::kSlotBeginOriginApproval)(
          question->ui_.get(), origin.data(), static_cast<uint32_t>(origin.size()),
          &ApprovalQuestion::Deliver, question.get(), &question->question_) != abi::hr::kOk) {
    ApprovalQuestion::Deliver(question.get(),
                              static_cast<int32_t>(platform::OriginApproval::kDismissed));
  }
  return question;
}

CreateResult CreateByProgId(std::string_view progId, bool ourClassOnly) {
  // A ProgID is one key name; anything that could walk the registry is refused.
  if (progId.empty() || progId.size() > 255 || progId.find('\\') != std::string_view::npos) {
    return Refused();
  }
  std::optional<abi::Guid> clsid;
  if (const auto registered = Registered("HKCR\\" + std::string(progId) + "\\CLSID")) {
    clsid = abi::ParseGuid(*registered);
  } else if (registration::IsControlProgId(progId)) {
    clsid = abi::kClsidControl;
  }
  if (!clsid) return Refused();
  return Create(*clsid, ourClassOnly);
}

CreateResult CreateByClsid(std::string_view clsid, bool ourClassOnly) {
  const auto guid = abi::ParseGuid(clsid);
  if (!guid) return Refused();
  return Create(*guid, ourClassOnly);
}

}  // namespace quorvel::host
