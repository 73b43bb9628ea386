// The objects the module hands out: the class factory of the control and the
// control objects themselves, each with the dual interface (IDispatch and the
// members' function table) and the object-safety interface. A module-wide
// lock count (live objects and factory locks) decides whether the module may
// be unloaded.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/registration/com_abi.h"
#include "control/registration/dispatch.h"
#include "control/registration/key_use_policy.h"
#include "control/registration/member_table.h"
#include "control/registration/module_platform.h"
#include "control/registration/object_safety.h"
#include "platform/ui/ui_services.h"

namespace quorvel::registration::abi {
namespace {

std::atomic<long> moduleLocks{0};

struct ControlObject {
  ObjectHeader header;  // first: the interface pointers point into it
  std::atomic<uint32_t> references{1};
  ObjectSafety safety;
  control::CDrennicQuorvel control;
  std::optional<std::u16string> caller;  // as the host named it
  bool mayNameFiles = false;             // granted by the host
};

ControlObject* FromDual(void* self) {
  return reinterpret_cast<ControlObject*>(self);
}
ControlObject* FromSafety(void* self) {
  return reinterpret_cast<ControlObject*>(static_cast<char*>(self) -
                                          offsetof(ObjectHeader, safetyTable));
}

ControlObject* FromTestSeam(void* self) {
  return reinterpret_cast<ControlObject*>(static_cast<char*>(self) -
                                          offsetof(ObjectHeader, testSeamTable));
}

ControlObject* FromHostCaller(void* self) {
  return reinterpret_cast<ControlObject*>(static_cast<char*>(self) -
                                          offsetof(ObjectHeader, hostCallerTable));
}

bool TestSeamsEnabled() {
  const char* value = std::getenv("QUORVEL_TEST_SEAMS");
  return value != nullptr && std::string_view(value) == "1";
}

bool IsDualInterface(const Guid& iid) {
  return iid == kIidUnknown || iid == kIidDispatch || iid == kIidControl;
}

int32_t QueryControl(ControlObject* object, const Guid* iid, void** out) {
  if (out == nullptr) return hr::kPointer;
  *out = nullptr;
  if (iid == nullptr) return hr::kInvalidArgument;
  if (IsDualInterface(*iid)) {
    *out = &object->header.dualTable;
  } else if (*iid == kIidObjectSafety) {
    *out = &object->header.safetyTable;
  } else if (*iid == kIidTestSeam && TestSeamsEnabled()) {
    *out = &object->header.testSeamTable;
  } else if (*iid == kIidHostCaller) {
    *out = &object->header.hostCallerTable;
  } else {
    return hr::kNoInterface;
  }
  object->references.fetch_add(1);
  return hr::kOk;
}

uint32_t AddRefControl(ControlObject* object) {
  return object->references.fetch_add(1) + 1;
}

uint32_t ReleaseControl(ControlObject* object) {
  const uint32_t left = object->references.fetch_sub(1) - 1;
  if (left == 0) {
    delete object;
    moduleLocks.fetch_sub(1);
  }
  return left;
}

// IUnknown's entries of each of the object's interfaces, which find the
// object from the interface pointer with `From`.
template <ControlObject* (*From)(void*)>
int32_t QUORVEL_COM_CALL QueryVia(void* self, const Guid* iid, void** out) {
  return QueryControl(From(self), iid, out);
}
template <ControlObject* (*From)(void*)>
uint32_t QUORVEL_COM_CALL AddRefVia(void* self) {
  return AddRefControl(From(self));
}
template <ControlObject* (*From)(void*)>
uint32_t QUORVEL_COM_CALL ReleaseVia(void* self) {
  return ReleaseControl(From(self));
}

// ---- IDispatch

int32_t QUORVEL_COM_CALL GetTypeInfoCount(void*, uint32_t* count) {
  if (count == nullptr) return hr::kPointer;
  *count = TypeInfoCount();
  return hr::kOk;
}

int32_t QUORVEL_COM_CALL GetTypeInfo(void*, uint32_t index, uint32_t locale, void** info) {
  if (info == nullptr) return hr::kPointer;
  *info = nullptr;
  if (index >= TypeInfoCount()) return hresult::kBadIndex;
  return ControlTypeInfo(locale, info);
}

int32_t QUORVEL_COM_CALL GetIDsOfNames(void*, const Guid*, char16_t** names, uint32_t count,
                                       uint32_t, int32_t* dispids) {
  if (names == nullptr || dispids == nullptr || count == 0) return hr::kPointer;
  int32_t result = hr::kOk;
  for (uint32_t i = 0; i < count; ++i) dispids[i] = -1;
  if (names[0] == nullptr) return hresult::kUnknownName;
  std::string name;
  for (const char16_t* c = names[0]; *c != 0; ++c) {
    if (*c > 0x7F || name.size() > 256) return hresult::kUnknownName;
    name.push_back(static_cast<char>(*c));
  }
  // A name is known whatever its kinds: a property that can only be put too.
  Resolution found = ResolveMember(name, std::nullopt, 0);
  if (found.member == nullptr) found = ResolveMember(name, MemberKind::kPropertyPut, 1);
  if (found.member == nullptr) return hresult::kUnknownName;
  dispids[0] = found.member->dispid;
  // Named arguments are not supported: any further name is unknown.
  if (count > 1) result = hresult::kUnknownName;
  return result;
}

bool ToScriptValue(const Variant& given, ScriptValue& value) {
  // A script that passes a variable may pass it by reference.
  Variant variant = given;
  if (given.vt & kVtByRef) {
    if (given.byRef == nullptr) return false;
    const auto type = static_cast<uint16_t>(given.vt & ~kVtByRef);
    if (type == kVtVariant) {
      const Variant& inner = *static_cast<const Variant*>(given.byRef);
      return (inner.vt & kVtByRef) == 0 && ToScriptValue(inner, value);
    }
    variant.vt = type;
    switch (type) {
      case kVtI1:
      case kVtUi1:
        std::memcpy(&variant.bVal, given.byRef, 1);
        break;
      case kVtI2:
      case kVtUi2:
      case kVtBool:
        std::memcpy(&variant.iVal, given.byRef, 2);
        break;
      case kVtI4:
      case kVtUi4:
      case kVtInt:
      case kVtUint:
        std::memcpy(&variant.lVal, given.byRef, 4);
        break;
      case kVtI8:
      case kVtR8:
        std::memcpy(&variant.llVal, given.byRef, 8);
        break;
      case kVtBstr:
        std::memcpy(&variant.bstrVal, given.byRef, sizeof variant.bstrVal);
        break;
      default:
        return false;
    }
  }
  switch (variant.vt) {
    case kVtEmpty:
      value = std::monostate{};
      return true;
    case kVtI1:
      value = int64_t{variant.cVal};
      return true;
    case kVtUi1:
      value = int64_t{variant.bVal};
      return true;
    case kVtI2:
      value = int64_t{variant.iVal};
      return true;
    case kVtUi2:
      value = int64_t{variant.uiVal};
      return true;
    case kVtI4:
    case kVtInt:
      value = int64_t{variant.lVal};
      return true;
    case kVtUi4:
    case kVtUint:
      value = int64_t{variant.ulVal};
      return true;
    case kVtI8:
      value = variant.llVal;
      return true;
    case kVtR8:
      value = variant.dblVal;
      return true;
    case kVtBool:
      value = variant.boolVal != 0;
      return true;
    case kVtBstr:
      value = StringOf(variant.bstrVal);
      return true;
    default:
      return false;
  }
}

int32_t ToVariant(const Value& value, Variant* out) {
  if (out == nullptr) return hr::kOk;
  std::memset(out, 0, sizeof *out);
  if (const auto* text = std::get_if<std::u16string>(&value)) {
    out->bstrVal = AllocString(text->data(), static_cast<uint32_t>(text->size()));
    if (out->bstrVal == nullptr) return hr::kOutOfMemory;
    out->vt = kVtBstr;
  } else if (const auto* number = std::get_if<int32_t>(&value)) {
    out->vt = kVtI4;
    out->lVal = *number;
  } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&value)) {
    out->vt = kVtUi4;
    out->ulVal = *unsignedNumber;
  }
  return hr::kOk;
}

// A page's host marks the object safe for untrusted data: it gets what the
// bridge gives a web origin.
CallerPolicy PolicyOf(const ControlObject& object) {
  return {.webOrigin = (object.safety.enabled & ObjectSafety::kUntrustedData) != 0,
          .localFiles = object.mayNameFiles};
}

// Runs a member with converted, checked arguments. Objects whose host named
// their caller guard and record its key uses.
InvokeResult RunMember(ControlObject& object, const MemberInfo& member, std::span<Value> args) {
  std::optional<CallerKeyUse> keyUse;
  if (object.caller) keyUse.emplace(*object.caller, member.name, object.control.Inspect().codePage);
  const platform::KeyUseScope scope(keyUse ? &*keyUse : nullptr);
  InvokeResult invoked = InvokeConverted(object.control, member, args);
  if (keyUse && invoked.hr == hresult::kOk) keyUse->Record(object.control.Inspect().errorNum);
  return invoked;
}

int32_t QUORVEL_COM_CALL InvokeMember(void* self, int32_t dispid, const Guid*, uint32_t,
                                      uint16_t flags, DispParams* params, Variant* result, void*,
                                      uint32_t* argumentError) {
  ControlObject* object = FromDual(self);
  const DispParams none{nullptr, nullptr, 0, 0};
  const DispParams& given = params != nullptr ? *params : none;
  if (given.count > 0 && given.args == nullptr) return hr::kPointer;
  std::optional<MemberKind> kind;
  if (flags & kDispatchPut) {
    kind = MemberKind::kPropertyPut;
    if (given.namedCount > 1 ||
        (given.namedCount == 1 &&
         (given.namedArgs == nullptr || given.namedArgs[0] != kDispidPropertyPut))) {
      return hresult::kNoNamedArgs;
    }
  } else {
    if (given.namedCount != 0) return hresult::kNoNamedArgs;
    if ((flags & (kDispatchMethod | kDispatchGet)) == kDispatchGet) kind = MemberKind::kPropertyGet;
  }
  const Resolution found = ResolveMember(dispid, kind, given.count);
  if (found.member == nullptr) return found.hr;
  try {
    std::vector<ScriptValue> arguments(given.count);
    for (uint32_t i = 0; i < given.count; ++i) {
      // The last argument comes first.
      if (!ToScriptValue(given.args[given.count - 1 - i], arguments[i])) {
        if (argumentError != nullptr) *argumentError = given.count - 1 - i;
        return hresult::kTypeMismatch;
      }
    }
    std::vector<Value> converted;
    if (const int32_t refused =
            ConvertArguments(*found.member, arguments, PolicyOf(*object), converted);
        refused != hresult::kOk) {
      return refused;
    }
    const InvokeResult invoked = RunMember(*object, *found.member, converted);
    if (invoked.hr != hresult::kOk) return invoked.hr;
    if (const int32_t stored = ToVariant(invoked.value, result); stored != hr::kOk) return stored;
    return HresultOf(invoked.status);
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
}

// ---- The host's calls: texts of the module's, moved in and out

struct HostText {
  std::u16string units;
};

void* QUORVEL_COM_CALL NewText(void*, uint32_t length, char16_t** units) {
  if (units == nullptr) return nullptr;
  *units = nullptr;
  try {
    auto text = std::make_unique<HostText>();
    text->units.resize(length);
    *units = text->units.data();
    return text.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void QUORVEL_COM_CALL FreeText(void*, void* text) {
  delete static_cast<HostText*>(text);
}

int32_t ToHostValue(Value& value, HostValue& out) {
  out = HostValue{static_cast<uint32_t>(ValueType::kNone), 0, nullptr, nullptr, 0};
  if (auto* text = std::get_if<std::u16string>(&value)) {
    auto* moved = new (std::nothrow) HostText{};
    if (moved == nullptr) return hr::kOutOfMemory;
    moved->units = std::move(*text);
    out = {static_cast<uint32_t>(ValueType::kString), 0, moved, moved->units.data(),
           moved->units.size()};
  } else if (const auto* number = std::get_if<int32_t>(&value)) {
    out.type = static_cast<uint32_t>(ValueType::kLong);
    out.number = static_cast<uint32_t>(*number);
  } else if (const auto* unsignedNumber = std::get_if<uint32_t>(&value)) {
    out.type = static_cast<uint32_t>(ValueType::kUnsignedLong);
    out.number = *unsignedNumber;
  }
  return hr::kOk;
}

int32_t QUORVEL_COM_CALL CallMember(void* self, uint32_t index, int32_t dispid, HostValue* args,
                                    uint32_t count, HostValue* result) {
  // The arguments' texts are ours from here on, on every path.
  std::vector<std::unique_ptr<HostText>> texts;
  try {
    texts.reserve(args == nullptr ? 0 : count);
    for (uint32_t i = 0; args != nullptr && i < count; ++i) {
      texts.emplace_back(static_cast<HostText*>(std::exchange(args[i].text, nullptr)));
    }
  } catch (const std::bad_alloc&) {
    for (uint32_t i = static_cast<uint32_t>(texts.size()); i < count; ++i)
      FreeText(self, args[i].text);
    return hr::kOutOfMemory;
  }
  if (result == nullptr || (count > 0 && args == nullptr)) return hr::kPointer;
  *result = HostValue{static_cast<uint32_t>(ValueType::kNone), 0, nullptr, nullptr, 0};
  const auto table = MemberTable();
  if (index >= table.size() || table[index].dispid != dispid) return hresult::kMemberNotFound;
  const MemberInfo& member = table[index];
  if (count != member.params.size()) return hresult::kBadParamCount;
  ControlObject* object = FromHostCaller(self);
  try {
    std::vector<Value> converted(count);
    for (uint32_t i = 0; i < count; ++i) {
      const ValueType type = member.params[i].type;
      if (args[i].type != static_cast<uint32_t>(type)) return hresult::kTypeMismatch;
      if (type == ValueType::kString) {
        if (!texts[i]) return hr::kPointer;
        converted[i] = std::move(texts[i]->units);
        texts[i].reset();
      } else if (type == ValueType::kLong) {
        converted[i] = static_cast<int32_t>(args[i].number);
      } else {
        converted[i] = args[i].number;
      }
    }
    if (const int32_t refused = CheckCaller(member, converted, PolicyOf(*object));
        refused != hresult::kOk) {
      return refused;
    }
    InvokeResult invoked = RunMember(*object, member, converted);
    if (invoked.hr != hresult::kOk) return invoked.hr;
    if (const int32_t stored = ToHostValue(invoked.value, *result); stored != hr::kOk) {
      return stored;
    }
    return HresultOf(invoked.status);
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
}

// ---- Object safety

int32_t QUORVEL_COM_CALL GetSafety(void* self, const Guid* iid, uint32_t* supported,
                                   uint32_t* enabled) {
  if (supported == nullptr || enabled == nullptr) return hr::kPointer;
  *supported = 0;
  *enabled = 0;
  if (iid == nullptr) return hr::kInvalidArgument;
  if (!IsDualInterface(*iid) && !(*iid == kIidObjectSafety)) return hr::kNoInterface;
  *supported = ObjectSafety::kSupported;
  *enabled = FromSafety(self)->safety.enabled;
  return hr::kOk;
}

int32_t QUORVEL_COM_CALL SetSafety(void* self, const Guid* iid, uint32_t mask, uint32_t enabled) {
  if (iid == nullptr) return hr::kInvalidArgument;
  if ((mask & ~ObjectSafety::kSupported) != 0) return hr::kFail;
  if (!IsDualInterface(*iid) && !(*iid == kIidObjectSafety)) return hr::kNoInterface;
  FromSafety(self)->safety.Set(mask, enabled);
  return hr::kOk;
}

using Entry = void (*)();

// The dual interface's function table: IUnknown, IDispatch, then the members
// in the member table's order.
const std::vector<Entry>& DualTable() {
  static const std::vector<Entry> table = [] {
    std::vector<Entry> entries = {
        reinterpret_cast<Entry>(&QueryVia<&FromDual>),
        reinterpret_cast<Entry>(&AddRefVia<&FromDual>),
        reinterpret_cast<Entry>(&ReleaseVia<&FromDual>),
        reinterpret_cast<Entry>(&GetTypeInfoCount),
        reinterpret_cast<Entry>(&GetTypeInfo),
        reinterpret_cast<Entry>(&GetIDsOfNames),
        reinterpret_cast<Entry>(&InvokeMember),
    };
    for (const MemberInfo& member : MemberTable()) entries.push_back(member.binding->entry());
    return entries;
  }();
  return table;
}

const Entry kSafetyTable[] = {
    reinterpret_cast<Entry>(&QueryVia<&FromSafety>),
    reinterpret_cast<Entry>(&AddRefVia<&FromSafety>),
    reinterpret_cast<Entry>(&ReleaseVia<&FromSafety>),
    reinterpret_cast<Entry>(&GetSafety),
    reinterpret_cast<Entry>(&SetSafety),
};

int32_t QUORVEL_COM_CALL SetReceivedPlainText(void* self, const uint8_t* bytes, uint32_t length) {
  if (bytes == nullptr && length > 0) return hr::kPointer;
  try {
    FromTestSeam(self)->control.SetReceivedPlainTextForTesting(
        std::string(reinterpret_cast<const char*>(bytes), length));
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
  return hr::kOk;
}

const Entry kTestSeamTable[] = {
    reinterpret_cast<Entry>(&QueryVia<&FromTestSeam>),
    reinterpret_cast<Entry>(&AddRefVia<&FromTestSeam>),
    reinterpret_cast<Entry>(&ReleaseVia<&FromTestSeam>),
    reinterpret_cast<Entry>(&SetReceivedPlainText),
};

int32_t QUORVEL_COM_CALL SetCaller(void* self, const char16_t* caller, uint32_t length,
                                   uint32_t grants) {
  if (caller == nullptr || length == 0) return hr::kPointer;
  try {
    ControlObject* object = FromHostCaller(self);
    object->caller.emplace(caller, length);
    object->mayNameFiles = (grants & kCallerMayNameFiles) != 0;
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
  return hr::kOk;
}

const Entry kHostCallerTable[] = {
    reinterpret_cast<Entry>(&QueryVia<&FromHostCaller>),
    reinterpret_cast<Entry>(&AddRefVia<&FromHostCaller>),
    reinterpret_cast<Entry>(&ReleaseVia<&FromHostCaller>),
    reinterpret_cast<Entry>(&SetCaller),
    reinterpret_cast<Entry>(&NewText),
    reinterpret_cast<Entry>(&FreeText),
    reinterpret_cast<Entry>(&CallMember),
};

// ---- The class factory: one static object; its references do not keep the
// module loaded, LockServer does.

// The module's dialogs for the program hosting it: the bridge's origin
// approval goes through the same UI services, and so the same script position
// and the same Qt application, as the control's own dialogs.
struct HostUi {
  const Entry* table;
};
extern HostUi hostUi;

int32_t QUORVEL_COM_CALL FactoryQuery(void* self, const Guid* iid, void** out) {
  if (out == nullptr) return hr::kPointer;
  *out = nullptr;
  if (iid == nullptr) return hr::kInvalidArgument;
  if (*iid == kIidHostUi) {
    *out = &hostUi;
    return hr::kOk;
  }
  if (!(*iid == kIidUnknown) && !(*iid == kIidClassFactory)) return hr::kNoInterface;
  *out = self;
  return hr::kOk;
}

struct ModuleQuestion {
  std::unique_ptr<quorvel::platform::OriginQuestion> question;
};

int32_t QUORVEL_COM_CALL BeginOriginApproval(void*, const char16_t* origin, uint32_t length,
                                             OriginAnsweredCallback answered, void* context,
                                             void** question) {
  if (question == nullptr || answered == nullptr || (origin == nullptr && length > 0)) {
    return hr::kPointer;
  }
  *question = nullptr;
  try {
    auto held = std::make_unique<ModuleQuestion>();
    const quorvel::platform::UiServices ui = quorvel::platform::CurrentUiServices();
    auto reply = [answered, context](quorvel::platform::OriginApproval approval) {
      answered(context, static_cast<int32_t>(approval));
    };
    if (ui.originApprovals) {
      held->question =
          ui.originApprovals->AskOriginApproval(std::u16string_view(origin, length), reply);
    } else {
      reply(quorvel::platform::OriginApproval::kDismissed);
    }
    *question = held.release();
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
  return hr::kOk;
}

int32_t QUORVEL_COM_CALL EndOriginApproval(void*, void* question) {
  delete static_cast<ModuleQuestion*>(question);
  return hr::kOk;
}

int32_t QUORVEL_COM_CALL HostUiQuery(void* self, const Guid* iid, void** out) {
  if (out == nullptr) return hr::kPointer;
  *out = nullptr;
  if (iid == nullptr) return hr::kInvalidArgument;
  if (!(*iid == kIidUnknown) && !(*iid == kIidHostUi)) return hr::kNoInterface;
  *out = self;
  return hr::kOk;
}

// The static objects' references keep nothing alive.
uint32_t QUORVEL_COM_CALL StaticAddRef(void*) {
  return 2;
}
uint32_t QUORVEL_COM_CALL StaticRelease(void*) {
  return 1;
}

const Entry kHostUiTable[] = {
    reinterpret_cast<Entry>(&HostUiQuery),       reinterpret_cast<Entry>(&StaticAddRef),
    reinterpret_cast<Entry>(&StaticRelease),     reinterpret_cast<Entry>(&BeginOriginApproval),
    reinterpret_cast<Entry>(&EndOriginApproval),
};
HostUi hostUi{kHostUiTable};

int32_t QUORVEL_COM_CALL CreateInstance(void*, void* outer, const Guid* iid, void** out) {
  if (out == nullptr) return hr::kPointer;
  *out = nullptr;
  if (outer != nullptr) return hr::kNoAggregation;
  ControlObject* object = nullptr;
  try {
    object = new ControlObject;
  } catch (const std::bad_alloc&) {
    return hr::kOutOfMemory;
  }
  object->header.dualTable = DualTable().data();
  object->header.safetyTable = kSafetyTable;
  object->header.testSeamTable = kTestSeamTable;
  object->header.hostCallerTable = kHostCallerTable;
  object->header.control = &object->control;
  moduleLocks.fetch_add(1);
  const int32_t queried = QueryControl(object, iid, out);
  ReleaseControl(object);  // the query holds the only reference now, if any
  return queried;
}

int32_t QUORVEL_COM_CALL LockServer(void*, int32_t lock) {
  if (lock != 0) {
    moduleLocks.fetch_add(1);
  } else if (moduleLocks.load() > 0) {
    moduleLocks.fetch_sub(1);
  }
  return hr::kOk;
}

const Entry kFactoryTable[] = {
    reinterpret_cast<Entry>(&FactoryQuery), reinterpret_cast<Entry>(&StaticAddRef),
    reinterpret_cast<Entry>(&StaticRelease), reinterpret_cast<Entry>(&CreateInstance),
    reinterpret_cast<Entry>(&LockServer)};

struct Factory {
  const Entry* table;
} factory{kFactoryTable};

}  // namespace
}  // namespace quorvel::registration::abi

using namespace quorvel::registration::abi;

extern "C" {

int32_t QUORVEL_COM_CALL DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  if (out == nullptr) return hr::kPointer;
  *out = nullptr;
  if (clsid == nullptr || iid == nullptr) return hr::kInvalidArgument;
  if (!(*clsid == kClsidControl)) return hr::kClassNotAvailable;
  // The control shows the desktop's own dialogs, as in any program that loads it.
  static std::once_flag installUi;
  std::call_once(installUi, [] { InstallDesktopUi(); });
  return FactoryQuery(&factory, iid, out);
}

int32_t QUORVEL_COM_CALL DllCanUnloadNow() {
  return moduleLocks.load() == 0 ? hr::kOk : hr::kFalse;
}

char16_t* QvSysAllocStringLen(const char16_t* text, uint32_t length) {
  return AllocString(text, length);
}

void QvSysFreeString(char16_t* text) {
  FreeString(text);
}

uint32_t QvSysStringLen(const char16_t* text) {
  return StringLength(text);
}

void QvVariantClear(Variant* variant) {
  if (variant == nullptr) return;
  if (variant->vt == kVtBstr) FreeString(variant->bstrVal);
  std::memset(variant, 0, sizeof *variant);
}

}  // extern "C"
