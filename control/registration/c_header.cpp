#include "control/registration/c_header.h"

#include <cstdio>
#include <string_view>

#include "control/registration/com_abi.h"
#include "control/registration/member_table.h"

namespace quorvel::registration {
namespace {

constexpr std::string_view kPrologue =
    R"(/* Quorvel signing control: the binary interface of libVemlorQuorvel20.so.
 *
 * Load the module, ask DllGetClassObject for the class factory of
 * QV_CLSID_VemlorDrennicQuorvel, create the control with CreateInstance, call
 * it through the function table of IVemlorDrennicQuorvel or through Invoke,
 * and Release it. Strings are length-prefixed UTF-16 (QvBSTR): make them with
 * QvSysAllocStringLen and free the ones the control returns with
 * QvSysFreeString. Members return S_OK (0) on success and S_FALSE (1) when
 * they failed; the control's errorNum and errMsg properties tell why.
 *
 * Written from the control's member table when the module is built. */
#ifndef QUORVEL_QUORVEL_H
#define QUORVEL_QUORVEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t QvHRESULT;
typedef uint16_t QvChar; /* one UTF-16 code unit */
typedef QvChar* QvBSTR;  /* 32-bit byte length before the text, a zero unit after */

typedef struct QvGUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} QvGUID;

#define QV_S_OK ((QvHRESULT)0)
#define QV_S_FALSE ((QvHRESULT)1)
#define QV_E_NOTIMPL ((QvHRESULT)0x80004001u)
#define QV_E_NOINTERFACE ((QvHRESULT)0x80004002u)
#define QV_E_POINTER ((QvHRESULT)0x80004003u)
#define QV_E_FAIL ((QvHRESULT)0x80004005u)
#define QV_E_OUTOFMEMORY ((QvHRESULT)0x8007000Eu)
#define QV_E_INVALIDARG ((QvHRESULT)0x80070057u)
#define QV_E_ACCESSDENIED ((QvHRESULT)0x80070005u)
#define QV_CLASS_E_NOAGGREGATION ((QvHRESULT)0x80040110u)
#define QV_CLASS_E_CLASSNOTAVAILABLE ((QvHRESULT)0x80040111u)
#define QV_DISP_E_MEMBERNOTFOUND ((QvHRESULT)0x80020003u)
#define QV_DISP_E_TYPEMISMATCH ((QvHRESULT)0x80020005u)
#define QV_DISP_E_UNKNOWNNAME ((QvHRESULT)0x80020006u)
#define QV_DISP_E_NONAMEDARGS ((QvHRESULT)0x80020007u)
#define QV_DISP_E_OVERFLOW ((QvHRESULT)0x8002000Au)
#define QV_DISP_E_BADINDEX ((QvHRESULT)0x8002000Bu)
#define QV_DISP_E_BADPARAMCOUNT ((QvHRESULT)0x8002000Eu)

/* Variants: what Invoke takes and returns. */
enum {
  QV_VT_EMPTY = 0,
  QV_VT_I4 = 3,
  QV_VT_R8 = 5,
  QV_VT_BSTR = 8,
  QV_VT_BOOL = 11,
  QV_VT_UI4 = 19,
  QV_VT_I8 = 20
};
typedef struct QvVARIANT {
  uint16_t vt;
  uint16_t reserved1;
  uint16_t reserved2;
  uint16_t reserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    uint32_t ulVal;
    int16_t boolVal; /* -1 true, 0 false */
    double dblVal;
    QvBSTR bstrVal;
  } value;
} QvVARIANT;

/* Arguments of Invoke, the last argument first. */
typedef struct QvDISPPARAMS {
  QvVARIANT* rgvarg;
  int32_t* rgdispidNamedArgs;
  uint32_t cArgs;
  uint32_t cNamedArgs;
} QvDISPPARAMS;

#define QV_DISPATCH_METHOD 1
#define QV_DISPATCH_PROPERTYGET 2
#define QV_DISPATCH_PROPERTYPUT 4
#define QV_DISPID_PROPERTYPUT (-3)

/* Object-safety options. */
#define QV_INTERFACESAFE_FOR_UNTRUSTED_CALLER 1u
#define QV_INTERFACESAFE_FOR_UNTRUSTED_DATA 2u

typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl {
  QvHRESULT (*QueryInterface)(IUnknown* This, const QvGUID* riid, void** object);
  uint32_t (*AddRef)(IUnknown* This);
  uint32_t (*Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
  const IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
  QvHRESULT (*QueryInterface)(IClassFactory* This, const QvGUID* riid, void** object);
  uint32_t (*AddRef)(IClassFactory* This);
  uint32_t (*Release)(IClassFactory* This);
  QvHRESULT (*CreateInstance)(IClassFactory* This, IUnknown* outer, const QvGUID* riid,
                              void** object);
  QvHRESULT (*LockServer)(IClassFactory* This, int32_t lock);
} IClassFactoryVtbl;
struct IClassFactory {
  const IClassFactoryVtbl* lpVtbl;
};

typedef struct IDispatch IDispatch;
#define QV_IDISPATCH_METHODS(This_)                                                          \
  QvHRESULT (*QueryInterface)(This_ * This, const QvGUID* riid, void** object);              \
  uint32_t (*AddRef)(This_ * This);                                                          \
  uint32_t (*Release)(This_ * This);                                                         \
  QvHRESULT (*GetTypeInfoCount)(This_ * This, uint32_t * count);                             \
  QvHRESULT (*GetTypeInfo)(This_ * This, uint32_t index, uint32_t lcid, void** typeInfo);    \
  QvHRESULT (*GetIDsOfNames)(This_ * This, const QvGUID* riid, QvChar** names,               \
                             uint32_t count, uint32_t lcid, int32_t* dispids);               \
  QvHRESULT (*Invoke)(This_ * This, int32_t dispid, const QvGUID* riid, uint32_t lcid,       \
                      uint16_t flags, QvDISPPARAMS* params, QvVARIANT* result,               \
                      void* exceptionInfo, uint32_t* argumentError);
typedef struct IDispatchVtbl {
  QV_IDISPATCH_METHODS(IDispatch)
} IDispatchVtbl;
struct IDispatch {
  const IDispatchVtbl* lpVtbl;
};

typedef struct IObjectSafety IObjectSafety;
typedef struct IObjectSafetyVtbl {
  QvHRESULT (*QueryInterface)(IObjectSafety* This, const QvGUID* riid, void** object);
  uint32_t (*AddRef)(IObjectSafety* This);
  uint32_t (*Release)(IObjectSafety* This);
  QvHRESULT (*GetInterfaceSafetyOptions)(IObjectSafety* This, const QvGUID* riid,
                                         uint32_t* supported, uint32_t* enabled);
  QvHRESULT (*SetInterfaceSafetyOptions)(IObjectSafety* This, const QvGUID* riid, uint32_t mask,
                                         uint32_t enabled);
} IObjectSafetyVtbl;
struct IObjectSafety {
  const IObjectSafetyVtbl* lpVtbl;
};

/* The control's dual interface: IDispatch, then its members in dispatch
 * identifier order. */
typedef struct IVemlorDrennicQuorvel IVemlorDrennicQuorvel;
typedef struct IVemlorDrennicQuorvelVtbl {
  QV_IDISPATCH_METHODS(IVemlorDrennicQuorvel)
)";

constexpr std::string_view kEpilogue = R"(} IVemlorDrennicQuorvelVtbl;
struct IVemlorDrennicQuorvel {
  const IVemlorDrennicQuorvelVtbl* lpVtbl;
};

/* The module's exports. */
QvHRESULT DllGetClassObject(const QvGUID* rclsid, const QvGUID* riid, void** object);
QvHRESULT DllCanUnloadNow(void);
QvHRESULT DllRegisterServer(void);
QvHRESULT DllUnregisterServer(void);
QvBSTR QvSysAllocStringLen(const QvChar* text, uint32_t length);
void QvSysFreeString(QvBSTR text);
uint32_t QvSysStringLen(const QvChar* text);
/* Frees what a variant holds (its string) and makes it empty. */
void QvVariantClear(QvVARIANT* variant);

#ifdef __cplusplus
}
#endif

#endif /* QUORVEL_QUORVEL_H */
)";

std::string CType(ValueType type, bool output) {
  switch (type) {
    case ValueType::kString:
      // Inputs are read as length-prefixed strings: a plain array of units
      // is not one, and the type says so.
      return output ? "QvBSTR*" : "QvBSTR";
    case ValueType::kLong:
      return output ? "int32_t*" : "int32_t";
    case ValueType::kUnsignedLong:
      return output ? "uint32_t*" : "uint32_t";
    case ValueType::kNone:
      break;
  }
  return "void";
}

std::string GuidInitializer(const abi::Guid& g) {
  char text[128];
  std::snprintf(text, sizeof text,
                "{0x%08Xu, 0x%04X, 0x%04X, {0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, "
                "0x%02X, 0x%02X}}",
                g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

std::string EntryName(const MemberInfo& member) {
  switch (member.kind) {
    case MemberKind::kPropertyGet:
      return "get_" + std::string(member.name);
    case MemberKind::kPropertyPut:
      return "put_" + std::string(member.name);
    case MemberKind::kMethod:
      break;
  }
  return std::string(member.name);
}

}  // namespace

std::string CHeader() {
  std::string header(kPrologue);
  for (const MemberInfo& member : MemberTable()) {
    header += "  /* " + std::to_string(member.dispid) + " */ QvHRESULT (*" + EntryName(member) +
              ")(IVemlorDrennicQuorvel* This";
    for (const ParamInfo& param : member.params) {
      header += ", " + CType(param.type, false) + " " + std::string(param.name);
    }
    if (member.result != ValueType::kNone) {
      header +=
          ", " + CType(member.result, true) + " " +
          (member.resultName.empty() ? std::string("result") : std::string(member.resultName));
    }
    header += ");\n";
  }
  header += kEpilogue;
  const std::string identifiers =
      "static const QvGUID QV_CLSID_VemlorDrennicQuorvel = " + GuidInitializer(abi::kClsidControl) +
      ";\nstatic const QvGUID QV_IID_IVemlorDrennicQuorvel = " + GuidInitializer(abi::kIidControl) +
      ";\nstatic const QvGUID QV_IID_IUnknown = " + GuidInitializer(abi::kIidUnknown) +
      ";\nstatic const QvGUID QV_IID_IDispatch = " + GuidInitializer(abi::kIidDispatch) +
      ";\nstatic const QvGUID QV_IID_IClassFactory = " + GuidInitializer(abi::kIidClassFactory) +
      ";\nstatic const QvGUID QV_IID_IObjectSafety = " + GuidInitializer(abi::kIidObjectSafety) +
      ";\n\n";
  const std::string anchor = "typedef struct IUnknown IUnknown;";
  header.insert(header.find(anchor), identifiers);
  return header;
}

}  // namespace quorvel::registration
