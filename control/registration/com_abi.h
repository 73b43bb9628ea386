// The binary interface the module offers to programs that load it: GUIDs,
// HRESULTs, length-prefixed UTF-16 strings and the layout every object the
// module hands out begins with. The public C header (generated from the member
// table, see c_header.h) declares the same types for clients.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "control/control.h"

// The calling convention of the functions in the module's function tables
// and of its exports: the platform's own on 32-bit Windows, the default
// elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define QUORVEL_COM_CALL __stdcall
#else
#define QUORVEL_COM_CALL
#endif

namespace quorvel::registration::abi {

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  bool operator==(const Guid&) const = default;
};

inline constexpr Guid kIidUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidDispatch{
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidObjectSafety{
    0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr Guid kIidControl{
    0xA7D3C915, 0x2E48, 0x4F0B, {0xB6, 0xC2, 0x58, 0xE1, 0xF9, 0xA0, 0x3D, 0x27}};
inline constexpr Guid kClsidControl{
    0x6B1E2D40, 0x7C55, 0x4A1F, {0x9E, 0x3B, 0x2D, 0x8C, 0x41, 0xF0, 0xA7, 0xB6}};
// The module's private interface for local test harnesses: it sets an
// object's received text, which verification fills otherwise. Objects offer
// it only while QUORVEL_TEST_SEAMS=1 is set in the process.
inline constexpr Guid kIidTestSeam{
    0x3F6A52C1, 0x9B07, 0x4D2E, {0xA1, 0x5C, 0x7E, 0x0B, 0x94, 0xD6, 0x28, 0x33}};

// An object's private interface for the program hosting the module, which
// names the caller each object serves:
//   SetCaller(self, const char16_t* caller, uint32_t length, uint32_t grants)
// with the web origin, or "local" for a local client. From then on a web
// origin's use of a private key waits for the user's consent, and every use
// goes into the signing history. Objects no host named record nothing. An
// object made safe for untrusted data refuses file names and server mode
// unless `grants` holds kCallerMayNameFiles.
//
// After SetCaller, the host calls members without IDispatch's lookup and
// conversions, its arguments already of the members' declared types:
//   NewText(self, uint32_t length, char16_t** units) -> void* text
// gives a text of the module's of `length` units (zeros) for the host to fill
// through `units`, or null when memory runs out;
//   FreeText(self, void* text)
// frees one the host still holds;
//   Call(self, uint32_t member, int32_t dispid, HostValue* args, uint32_t count,
//        HostValue* result) -> HRESULT
// runs the member at index `member` of the member table, which must have
// dispatch identifier `dispid`, with `args` in declaration order under the
// object's caller policy and key-use guard, as Invoke does. Every text among
// `args` belongs to the module from the call on, whatever the outcome; a text
// in `result` (S_OK or S_FALSE) belongs to the host.
inline constexpr uint32_t kCallerMayNameFiles = 1;
inline constexpr Guid kIidHostCaller{
    0x5C0E9A37, 0x1D84, 0x4F62, {0xB8, 0x3A, 0x6E, 0x21, 0xC4, 0x90, 0x7F, 0x15}};

// The class factory's private interface for the program hosting the module,
// which asks web origins' approval through the module's dialogs. After
// IUnknown's entries:
//   BeginOriginApproval(self, const char16_t* origin, uint32_t length,
//                       void (*answered)(void* context, int32_t answer),
//                       void* context, void** question)
// opens the question without waiting; `answered` gets a platform::OriginApproval
// once, during the call or later from the calling thread's event loop, unless
//   EndOriginApproval(self, void* question)
// came first. End closes a question still open and frees it; every question
// Begin gave is ended exactly once, answered or not.
inline constexpr Guid kIidHostUi{
    0x8D41C7E2, 0x56A0, 0x4B3F, {0x92, 0x6E, 0x1C, 0xF8, 0x07, 0xB5, 0x3A, 0x9D}};

// "{XXXXXXXX-...}" with or without braces, either case; nullopt for anything else.
std::optional<Guid> ParseGuid(std::string_view text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string GuidText(const Guid& guid);

namespace hr {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFalse = 1;
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t kPointer = static_cast<int32_t>(0x80004003u);
inline constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);
inline constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t kNoAggregation = static_cast<int32_t>(0x80040110u);
inline constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111u);
}  // namespace hr

// A length-prefixed string: the pointer is to the first UTF-16 unit, the
// 32-bit byte length sits just before it, a zero unit just after the text.
using Bstr = char16_t*;

// A new string holding `length` units of `text` (zeros when `text` is null);
// null when memory runs out.
Bstr AllocString(const char16_t* text, uint32_t length);
void FreeString(Bstr text);
// Units of `text`; 0 for null.
uint32_t StringLength(const char16_t* text);
std::u16string StringOf(const char16_t* text);

// The start of every control object the module hands out: the dual
// interface's function table, the object-safety interface's, the control, the
// test seam's table and the host caller interface's.
struct ObjectHeader {
  const void* dualTable;
  const void* safetyTable;
  control::CDrennicQuorvel* control;
  const void* testSeamTable;
  const void* hostCallerTable;
};

// Automation values and arguments as IDispatch::Invoke passes them.
enum VariantType : uint16_t {
  kVtEmpty = 0,
  kVtI2 = 2,
  kVtI4 = 3,
  kVtR8 = 5,
  kVtBstr = 8,
  kVtBool = 11,
  kVtVariant = 12,
  kVtI1 = 16,
  kVtUi1 = 17,
  kVtUi2 = 18,
  kVtUi4 = 19,
  kVtI8 = 20,
  kVtInt = 22,
  kVtUint = 23,
  kVtByRef = 0x4000  // combined with a type: a pointer to a value of that type
};

struct Variant {
  uint16_t vt;
  uint16_t reserved[3];
  union {
    int64_t llVal;
    int32_t lVal;
    uint32_t ulVal;
    int16_t iVal;
    uint16_t uiVal;
    int8_t cVal;
    uint8_t bVal;
    int16_t boolVal;
    double dblVal;
    char16_t* bstrVal;
    void* byRef;  // with kVtByRef
  };
};

struct DispParams {
  Variant* args;  // the last argument first
  int32_t* namedArgs;
  uint32_t count;
  uint32_t namedCount;
};

inline constexpr uint16_t kDispatchMethod = 1;
inline constexpr uint16_t kDispatchGet = 2;
inline constexpr uint16_t kDispatchPut = 4;
inline constexpr int32_t kDispidPropertyPut = -3;

// The first entries of the dual interface's function table, before the
// members in the member table's order.
enum DualSlot {
  kSlotQueryInterface,
  kSlotAddRef,
  kSlotRelease,
  kSlotGetTypeInfoCount,
  kSlotGetTypeInfo,
  kSlotGetIDsOfNames,
  kSlotInvoke,
  kFirstMemberSlot
};
// The class factory's: CreateInstance(self, outer, iid, out).
enum ClassFactorySlot { kSlotCreateInstance = 3 };
// The object-safety interface's table after IUnknown's three entries.
enum SafetySlot { kSlotGetSafetyOptions = 3, kSlotSetSafetyOptions };
// The test seam's: SetReceivedPlainText(self, const uint8_t* bytes, uint32_t length).
enum TestSeamSlot { kSlotSetReceivedPlainText = 3 };
enum HostUiSlot { kSlotBeginOriginApproval = 3, kSlotEndOriginApproval };
enum HostCallerSlot { kSlotSetCaller = 3, kSlotNewText, kSlotFreeText, kSlotCall };

// An argument or result of the host caller interface's Call.
struct HostValue {
  uint32_t type;          // a registration::ValueType
  uint32_t number;        // kLong (two's complement) or kUnsignedLong
  void* text;             // kString: a text of NewText's or of the module's result
  const char16_t* units;  // kString results: the text's units while it lives
  uint64_t length;        // and their number
};
using OriginAnsweredCallback = void (*)(void* context, int32_t answer);

inline int32_t HresultOf(control::Status status) {
  return status == control::Status::kOk ? hr::kOk : hr::kFalse;
}

}  // namespace quorvel::registration::abi
