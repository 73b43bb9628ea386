// Loads VemlorQuorvel20.DLL the way an in-process COM host does (LoadLibrary
// and DllGetClassObject, no registration) and checks what such a host relies
// on: the class factory, IDispatch with its type information, the dual
// interface's function table, the object-safety options and the web-page
// policy they switch on, and the module's lock count.
//   module_host_test.exe PATH-OF-THE-DLL
//   module_host_test.exe PATH-OF-THE-DLL STUB-FOLDER   (registered, test seams on:
//                                                     received files saved in server mode)
#include <windows.h>
// After windows.h, which they need.
#include <objsafe.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

namespace {

// {6B1E2D40-7C55-4A1F-9E3B-2D8C41F0A7B6}
const CLSID kClsid = {0x6B1E2D40, 0x7C55, 0x4A1F, {0x9E, 0x3B, 0x2D, 0x8C, 0x41, 0xF0, 0xA7, 0xB6}};
// {A7D3C915-2E48-4F0B-B6C2-58E1F9A03D27}
const IID kIidControl = {
    0xA7D3C915, 0x2E48, 0x4F0B, {0xB6, 0xC2, 0x58, 0xE1, 0xF9, 0xA0, 0x3D, 0x27}};
const CLSID kOtherClsid = {
    0x6B1E2D41, 0x7C55, 0x4A1F, {0x9E, 0x3B, 0x2D, 0x8C, 0x41, 0xF0, 0xA7, 0xB6}};

constexpr DISPID kDispidServerMode = 6;
constexpr DISPID kDispidAddFile = 8;
constexpr DISPID kDispidBase64Encode = 13;
constexpr DISPID kDispidGetFile = 19;
// The dual interface's slot of QVBase64Encode: after IUnknown's three and
// IDispatch's four entries, the thirteenth row of the member table.
constexpr int kBase64EncodeSlot = 7 + 12;

int failures = 0;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using Compression = int (*)(const unsigned char*, int, unsigned char*, int*);
using CanUnloadNow = HRESULT(__stdcall*)();

template <typename Function>
Function Export(HMODULE module, const char* name) {
  // FARPROC is the platform's untyped function address.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Invoke with one argument, or a property put.
HRESULT InvokeOne(IDispatch* object, DISPID dispid, WORD flags, VARIANT argument, VARIANT* result,
                  UINT* argumentError = nullptr) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  return object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        argumentError);
}

VARIANT Text(const wchar_t* text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(text);
  return value;
}

VARIANT Long(LONG number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

bool ResultIs(const VARIANT& result, const wchar_t* text) {
  return result.vt == VT_BSTR && result.bstrVal != nullptr && std::wstring(result.bstrVal) == text;
}

void CheckDispatch(IDispatch* object) {
  OLECHAR name[] = L"qvbase64ENCODE";
  LPOLESTR names[] = {name};
  DISPID dispid = 0;
  Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid) == S_OK &&
            dispid == kDispidBase64Encode,
        "GetIDsOfNames finds QVBase64Encode by any case");

  VARIANT text = Text(L"abc");
  VARIANT result;
  VariantInit(&result);
  Check(InvokeOne(object, kDispidBase64Encode, DISPATCH_METHOD, text, &result) == S_OK &&
            ResultIs(result, L"YWJj\n"),
        "Invoke QVBase64Encode(\"abc\")");
  VariantClear(&result);

  // Script engines pass a variable by reference.
  VARIANT byReference;
  VariantInit(&byReference);
  byReference.vt = VT_BYREF | VT_VARIANT;
  byReference.pvarVal = &text;
  Check(InvokeOne(object, kDispidBase64Encode, DISPATCH_METHOD, byReference, &result) == S_OK &&
            ResultIs(result, L"YWJj\n"),
        "Invoke with an argument by reference");
  VariantClear(&result);

  VARIANT unknown;
  VariantInit(&unknown);
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = object;
  UINT argumentError = 99;
  Check(InvokeOne(object, kDispidBase64Encode, DISPATCH_METHOD, unknown, &result, &argumentError) ==
                DISP_E_TYPEMISMATCH &&
            argumentError == 0,
        "an object argument is a type mismatch");

  // The dual interface's own entry, in the platform's calling convention.
  using Encode = HRESULT(__stdcall*)(IDispatch*, BSTR, BSTR*);
  const auto table = *reinterpret_cast<void* const* const*>(object);
  BSTR encoded = nullptr;
  Check(
      reinterpret_cast<Encode>(table[kBase64EncodeSlot])(object, text.bstrVal, &encoded) == S_OK &&
          encoded != nullptr && std::wstring(encoded) == L"YWJj\n",
      "QVBase64Encode through the function table");
  SysFreeString(encoded);
  VariantClear(&text);

  UINT count = 0;
  ITypeInfo* info = nullptr;
  Check(object->GetTypeInfoCount(&count) == S_OK && count == 1, "one type description");
  Check(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info) == S_OK && info != nullptr,
        "GetTypeInfo");
  if (info != nullptr) {
    BSTR member = nullptr;
    BSTR help = nullptr;
    Check(info->GetDocumentation(kDispidBase64Encode, &member, &help, nullptr, nullptr) == S_OK &&
              member != nullptr && std::wstring(member) == L"QVBase64Encode" && help != nullptr &&
              std::wstring(help) == L"method QVBase64Encode",
          "the type library's name and help string of a member");
    SysFreeString(member);
    SysFreeString(help);
    info->Release();
  }
}

void CheckObjectSafety(IDispatch* object) {
  IObjectSafety* safety = nullptr;
  Check(object->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)) == S_OK,
        "IObjectSafety");
  if (safety == nullptr) return;
  DWORD supported = 9;
  DWORD enabled = 9;
  Check(safety->GetInterfaceSafetyOptions(kIidControl, &supported, &enabled) == S_OK &&
            supported == 3 && enabled == 0,
        "a fresh object supports both options and enables none");
  Check(safety->GetInterfaceSafetyOptions(kOtherClsid, &supported, &enabled) == E_NOINTERFACE &&
            supported == 0 && enabled == 0,
        "an interface the object lacks");
  Check(safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4) == E_FAIL,
        "an option the object does not support");

  // A page's host: untrusted data brings the web page's policy.
  const VARIANT one = Long(1);
  VARIANT result;
  VariantInit(&result);
  Check(InvokeOne(object, kDispidServerMode, DISPATCH_PROPERTYPUT, one, &result) == S_OK,
        "a trusted caller turns server mode on");
  Check(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3) == S_OK &&
            safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled) == S_OK &&
            enabled == 3,
        "the host enables both options");
  Check(InvokeOne(object, kDispidServerMode, DISPATCH_PROPERTYPUT, one, &result) == E_ACCESSDENIED,
        "a page may not turn server mode on");
  VARIANT path = Text(L"C:\\windows\\win.ini");
  Check(InvokeOne(object, kDispidAddFile, DISPATCH_METHOD, path, &result) == E_ACCESSDENIED,
        "a page may not name a file");
  VariantClear(&path);
  safety->Release();
}

// A received text holding one file named `name` with the content "hello":
// no items, then the files' section.
std::string ReceivedFile(const std::string& name) {
  const auto field = [](size_t number) {
    char text[9];
    std::snprintf(text, sizeof text, "%08u", static_cast<unsigned>(number));
    return std::string(text);
  };
  const std::string record = field(name.size()) + name + "hello";
  const std::string section = field(record.size()) + record;
  return field(0) + field(section.size()) + section;
}

std::string FileContent(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char buffer[64];
  DWORD read = 0;
  const BOOL done = ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  CloseHandle(file);
  return done != 0 ? std::string(buffer, read) : std::string();
}

// In server mode a received file goes into the folder the registry names
// (CtlSettings\stubPath), under a name the platform can hold: the received
// text comes in through the module's test seam (QUORVEL_TEST_SEAMS=1).
void CheckServerSaves(IDispatch* object, const std::wstring& folder) {
  // {3F6A52C1-9B07-4D2E-A15C-7E0B94D62833}
  const IID seamId = {0x3F6A52C1, 0x9B07, 0x4D2E, {0xA1, 0x5C, 0x7E, 0x0B, 0x94, 0xD6, 0x28, 0x33}};
  IUnknown* seam = nullptr;
  Check(object->QueryInterface(seamId, reinterpret_cast<void**>(&seam)) == S_OK, "the test seam");
  if (seam == nullptr) return;
  using SetReceived = HRESULT(__stdcall*)(IUnknown*, const char*, UINT);
  const auto setReceived =
      reinterpret_cast<SetReceived>((*reinterpret_cast<void* const* const*>(seam))[3]);
  const VARIANT one = Long(1);
  VARIANT result;
  VariantInit(&result);
  Check(InvokeOne(object, kDispidServerMode, DISPATCH_PROPERTYPUT, one, &result) == S_OK,
        "server mode");
  struct Case {
    const char* received;
    const wchar_t* saved;
  };
  const Case cases[] = {
      {"plain.txt", L"plain.txt"}, {"..\\..\\up.txt", L"up.txt"}, {"a:b|c?.txt", L"abc.txt"},
      {"con.txt", L"_con.txt"},    {"trailing. .", L"trailing"},
  };
  for (const Case& c : cases) {
    const std::string received = ReceivedFile(c.received);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const bool taken =
        setReceived(seam, received.data(), static_cast<UINT>(received.size())) == S_OK &&
        object->Invoke(kDispidGetFile, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                       &result, nullptr, nullptr) == S_OK;
    VariantClear(&result);
    if (!taken || FileContent(folder + c.saved) != "hello") {
      std::printf("FAIL: received \"%s\" is not saved as %ls\n", c.received, c.saved);
      ++failures;
    }
  }
  seam->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::printf("usage: module_host_test PATH-OF-THE-DLL [STUB-FOLDER]\n");
    return 2;
  }
  HMODULE module = LoadLibraryW(argv[1]);
  if (module == nullptr) {
    std::printf("FAIL: LoadLibrary (%lu)\n", GetLastError());
    return 1;
  }
  const auto getClassObject = Export<GetClassObject>(module, "DllGetClassObject");
  const auto canUnloadNow = Export<CanUnloadNow>(module, "DllCanUnloadNow");
  Check(getClassObject != nullptr && canUnloadNow != nullptr, "the exports");
  if (getClassObject == nullptr || canUnloadNow == nullptr) return 1;

  // The compression functions: a round trip, with the two-call size protocol.
  const auto compress = Export<Compression>(module, "mem_compress");
  const auto uncompress = Export<Compression>(module, "mem_uncompress");
  Check(compress != nullptr && uncompress != nullptr, "the compression exports");
  if (compress != nullptr && uncompress != nullptr) {
    const std::string text(10000, 'q');
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    int size = 0;
    std::string packed;
    std::string unpacked(text.size(), '\0');
    const bool sized = compress(bytes, static_cast<int>(text.size()), nullptr, &size) == -5 &&
                       size > 0 && size < static_cast<int>(text.size());
    packed.resize(sized ? static_cast<size_t>(size) : 0);
    int unpackedSize = static_cast<int>(unpacked.size());
    Check(sized &&
              compress(bytes, static_cast<int>(text.size()),
                       reinterpret_cast<unsigned char*>(packed.data()), &size) == 0 &&
              uncompress(reinterpret_cast<const unsigned char*>(packed.data()), size,
                         reinterpret_cast<unsigned char*>(unpacked.data()), &unpackedSize) == 0 &&
              unpacked == text,
          "mem_compress and mem_uncompress");
  }

  IClassFactory* factory = nullptr;
  Check(getClassObject(kOtherClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) ==
            CLASS_E_CLASSNOTAVAILABLE,
        "another class");
  Check(getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK,
        "the class factory");
  if (factory == nullptr) return 1;
  IDispatch* object = nullptr;
  Check(factory->CreateInstance(nullptr, kIidControl, reinterpret_cast<void**>(&object)) == S_OK,
        "CreateInstance");
  factory->Release();
  if (object == nullptr) return 1;
  Check(canUnloadNow() == S_FALSE, "a live object keeps the module loaded");

  if (argc == 3) {
    CheckServerSaves(object, argv[2]);
  } else {
    CheckDispatch(object);
    CheckObjectSafety(object);
  }

  Check(object->Release() == 0, "the last release");
  Check(canUnloadNow() == S_OK, "the module may unload after the last release");
  std::printf("%s\n", failures == 0 ? "module host checks passed" : "module host checks failed");
  return failures == 0 ? 0 : 1;
}
