/* A C program that knows the module only through its public header and
 * dlopen: it creates the control through the class factory, calls it through
 * the function table and through Invoke, checks object safety and the
 * module's lock count, and releases everything.
 *   module_c_client path/to/libVemlorQuorvel20.so */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "quorvel/quorvel.h"

static int failures = 0;
#define CHECK(condition)                                              \
  do {                                                                \
    if (!(condition)) {                                               \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                     \
    }                                                                 \
  } while (0)

typedef QvHRESULT (*GetClassObjectFn)(const QvGUID*, const QvGUID*, void**);
typedef QvHRESULT (*CanUnloadFn)(void);
typedef QvBSTR (*AllocFn)(const QvChar*, uint32_t);
typedef void (*FreeFn)(QvBSTR);
typedef uint32_t (*LengthFn)(const QvChar*);
typedef void (*ClearFn)(QvVARIANT*);

static AllocFn alloc_string;
static FreeFn free_string;
static LengthFn string_length;

static QvBSTR Ascii(const char* text) {
  QvChar units[64];
  size_t n = strlen(text);
  for (size_t i = 0; i < n; ++i) units[i] = (QvChar)text[i];
  return alloc_string(units, (uint32_t)n);
}

static int Equals(const QvChar* value, const char* text) {
  size_t n = strlen(text);
  if (value == NULL || string_length(value) != n) return 0;
  for (size_t i = 0; i < n; ++i) {
    if (value[i] != (QvChar)text[i]) return 0;
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  /* POSIX's way of taking a function from dlsym. */
#define LOAD(variable, symbol) *(void**)(&variable) = dlsym(module, symbol)
  GetClassObjectFn get_class_object;
  CanUnloadFn can_unload;
  ClearFn clear_variant;
  LOAD(get_class_object, "DllGetClassObject");
  LOAD(can_unload, "DllCanUnloadNow");
  LOAD(alloc_string, "QvSysAllocStringLen");
  LOAD(free_string, "QvSysFreeString");
  LOAD(string_length, "QvSysStringLen");
  LOAD(clear_variant, "QvVariantClear");
  if (!get_class_object || !can_unload || !alloc_string || !free_string || !string_length ||
      !clear_variant) {
    fprintf(stderr, "missing exports\n");
    return 1;
  }

  /* Another class identifier has no factory here. */
  IClassFactory* factory = NULL;
  QvGUID other = QV_CLSID_VemlorDrennicQuorvel;
  other.Data1 ^= 1;
  CHECK(get_class_object(&other, &QV_IID_IClassFactory, (void**)&factory) ==
        QV_CLASS_E_CLASSNOTAVAILABLE);
  CHECK(factory == NULL);

  CHECK(get_class_object(&QV_CLSID_VemlorDrennicQuorvel, &QV_IID_IClassFactory, (void**)&factory) ==
        QV_S_OK);
  if (factory == NULL) return 1;
  CHECK(can_unload() == QV_S_OK);
  CHECK(factory->lpVtbl->LockServer(factory, 1) == QV_S_OK);
  CHECK(can_unload() == QV_S_FALSE);
  CHECK(factory->lpVtbl->LockServer(factory, 0) == QV_S_OK);
  CHECK(can_unload() == QV_S_OK);

  IVemlorDrennicQuorvel* control = NULL;
  IUnknown outer = {NULL};
  CHECK(factory->lpVtbl->CreateInstance(factory, &outer, &QV_IID_IVemlorDrennicQuorvel,
                                        (void**)&control) == QV_CLASS_E_NOAGGREGATION);
  CHECK(factory->lpVtbl->CreateInstance(factory, NULL, &QV_IID_IVemlorDrennicQuorvel,
                                        (void**)&control) == QV_S_OK);
  if (control == NULL) return 1;
  CHECK(can_unload() == QV_S_FALSE);

  /* Through the function table. */
  QvBSTR abc = Ascii("abc");
  QvBSTR encoded = NULL;
  CHECK(control->lpVtbl->QVBase64Encode(control, abc, &encoded) == QV_S_OK);
  CHECK(Equals(encoded, "YWJj\n"));
  free_string(encoded);
  int32_t error_num = 1;
  CHECK(control->lpVtbl->get_errorNum(control, &error_num) == QV_S_OK);
  CHECK(error_num == 0);
  QvBSTR empty = alloc_string(NULL, 0);
  CHECK(control->lpVtbl->QVBase64Encode(control, empty, &encoded) == QV_S_FALSE);
  free_string(encoded);
  CHECK(control->lpVtbl->get_errorNum(control, &error_num) == QV_S_OK);
  CHECK(error_num == -10001);
  CHECK(control->lpVtbl->QVBase64Encode(control, abc, NULL) == QV_E_POINTER);

  /* By name and Invoke. */
  QvChar name[] = {'q', 'v', 'B', 'A', 'S', 'E', '6', '4', 'e', 'n', 'c', 'o', 'd', 'e', 0};
  QvChar* names[] = {name};
  int32_t dispid = 0;
  CHECK(control->lpVtbl->GetIDsOfNames(control, &QV_IID_IUnknown, names, 1, 0, &dispid) == QV_S_OK);
  CHECK(dispid == 13);
  QvVARIANT argument;
  memset(&argument, 0, sizeof argument);
  argument.vt = QV_VT_BSTR;
  argument.value.bstrVal = abc;
  QvDISPPARAMS params = {&argument, NULL, 1, 0};
  QvVARIANT result;
  memset(&result, 0, sizeof result);
  CHECK(control->lpVtbl->Invoke(control, dispid, &QV_IID_IUnknown, 0, QV_DISPATCH_METHOD, &params,
                                &result, NULL, NULL) == QV_S_OK);
  CHECK(result.vt == QV_VT_BSTR && Equals(result.value.bstrVal, "YWJj\n"));
  clear_variant(&result);
  QvDISPPARAMS no_params = {NULL, NULL, 0, 0};
  CHECK(control->lpVtbl->Invoke(control, 3, &QV_IID_IUnknown, 0, QV_DISPATCH_PROPERTYGET,
                                &no_params, &result, NULL, NULL) == QV_S_OK);
  CHECK(result.vt == QV_VT_I4 && result.value.lVal == 0);
  CHECK(control->lpVtbl->Invoke(control, 13, &QV_IID_IUnknown, 0, QV_DISPATCH_METHOD, &no_params,
                                &result, NULL, NULL) == QV_DISP_E_BADPARAMCOUNT);
  free_string(abc);
  free_string(empty);

  /* Object safety. */
  IObjectSafety* safety = NULL;
  CHECK(control->lpVtbl->QueryInterface(control, &QV_IID_IObjectSafety, (void**)&safety) ==
        QV_S_OK);
  if (safety != NULL) {
    uint32_t supported = 9, enabled = 9;
    CHECK(safety->lpVtbl->GetInterfaceSafetyOptions(safety, &QV_IID_IVemlorDrennicQuorvel,
                                                    &supported, &enabled) == QV_S_OK);
    CHECK(supported == 3 && enabled == 0);
    CHECK(safety->lpVtbl->SetInterfaceSafetyOptions(safety, &QV_IID_IVemlorDrennicQuorvel, 3, 3) ==
          QV_S_OK);
    CHECK(safety->lpVtbl->GetInterfaceSafetyOptions(safety, &QV_IID_IDispatch, &supported,
                                                    &enabled) == QV_S_OK);
    CHECK(supported == 3 && enabled == 3);
    /* Safe for untrusted data, the object takes its caller for a page: no
       server mode through Invoke. */
    QvVARIANT on;
    memset(&on, 0, sizeof on);
    on.vt = QV_VT_I4;
    on.value.lVal = 1;
    int32_t put_named = QV_DISPID_PROPERTYPUT;
    QvDISPPARAMS put = {&on, &put_named, 1, 1};
    CHECK(control->lpVtbl->Invoke(control, 6, &QV_IID_IUnknown, 0, QV_DISPATCH_PROPERTYPUT, &put,
                                  NULL, NULL, NULL) == QV_E_ACCESSDENIED);
    CHECK(safety->lpVtbl->GetInterfaceSafetyOptions(safety, &other, &supported, &enabled) ==
          QV_E_NOINTERFACE);
    CHECK(supported == 0 && enabled == 0);
    CHECK(safety->lpVtbl->SetInterfaceSafetyOptions(safety, &QV_IID_IVemlorDrennicQuorvel, 4, 4) ==
          QV_E_FAIL);
    CHECK(safety->lpVtbl->Release(safety) == 1);
  }
  CHECK(control->lpVtbl->Release(control) == 0);
  CHECK(can_unload() == QV_S_OK);
  factory->lpVtbl->Release(factory);
  dlclose(module);
  if (failures != 0) fprintf(stderr, "%d checks failed\n", failures);
  return failures == 0 ? 0 : 1;
}
