"""A Python program that loads the module with ctypes and drives the control
through the types the public header declares: class factory, the dual
interface's function table, Invoke, object safety and the module lock count.

    python3 module_python_client.py path/to/libVemlorQuorvel20.so
"""
import ctypes
import sys

HRESULT = ctypes.c_int32
S_OK, S_FALSE = 0, 1
E_NOINTERFACE = ctypes.c_int32(0x80004002).value
CLASS_E_CLASSNOTAVAILABLE = ctypes.c_int32(0x80040111).value
VT_I4, VT_BSTR = 3, 8
DISPATCH_METHOD, DISPATCH_PROPERTYGET = 1, 2
# Slots of the dual interface: IUnknown (3), IDispatch (4), then the members
# in dispatch identifier order, as the header's IVemlorDrennicQuorvelVtbl.
SLOT_GET_IDS_OF_NAMES, SLOT_INVOKE = 5, 6
FIRST_MEMBER_SLOT = 7


class GUID(ctypes.Structure):
    _fields_ = [("Data1", ctypes.c_uint32), ("Data2", ctypes.c_uint16),
                ("Data3", ctypes.c_uint16), ("Data4", ctypes.c_uint8 * 8)]


def guid(d1, d2, d3, rest):
    return GUID(d1, d2, d3, (ctypes.c_uint8 * 8)(*rest))


CLSID = guid(0x6B1E2D40, 0x7C55, 0x4A1F, [0x9E, 0x3B, 0x2D, 0x8C, 0x41, 0xF0, 0xA7, 0xB6])
IID_CONTROL = guid(0xA7D3C915, 0x2E48, 0x4F0B, [0xB6, 0xC2, 0x58, 0xE1, 0xF9, 0xA0, 0x3D, 0x27])
IID_FACTORY = guid(0x00000001, 0, 0, [0xC0, 0, 0, 0, 0, 0, 0, 0x46])
IID_UNKNOWN = guid(0, 0, 0, [0xC0, 0, 0, 0, 0, 0, 0, 0x46])
IID_SAFETY = guid(0xCB5BDC81, 0x93C1, 0x11CF, [0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64])


class VARIANT(ctypes.Structure):
    class _Value(ctypes.Union):
        _fields_ = [("llVal", ctypes.c_int64), ("lVal", ctypes.c_int32),
                    ("bstrVal", ctypes.c_void_p), ("dblVal", ctypes.c_double)]
    _fields_ = [("vt", ctypes.c_uint16), ("reserved", ctypes.c_uint16 * 3), ("value", _Value)]


class DISPPARAMS(ctypes.Structure):
    _fields_ = [("rgvarg", ctypes.POINTER(VARIANT)), ("rgdispidNamedArgs", ctypes.c_void_p),
                ("cArgs", ctypes.c_uint32), ("cNamedArgs", ctypes.c_uint32)]


failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("failed:", what, file=sys.stderr)


def method(interface, slot, *argtypes, restype=HRESULT):
    table = ctypes.cast(ctypes.cast(interface, ctypes.POINTER(ctypes.c_void_p))[0],
                        ctypes.POINTER(ctypes.c_void_p))
    prototype = ctypes.CFUNCTYPE(restype, ctypes.c_void_p, *argtypes)
    function = prototype(table[slot])
    return lambda *args: function(interface, *args)


module = ctypes.CDLL(sys.argv[1])
module.DllGetClassObject.argtypes = [ctypes.POINTER(GUID), ctypes.POINTER(GUID),
                                     ctypes.POINTER(ctypes.c_void_p)]
module.DllGetClassObject.restype = HRESULT
module.DllCanUnloadNow.restype = HRESULT
module.QvSysAllocStringLen.argtypes = [ctypes.c_wchar_p, ctypes.c_uint32]
module.QvSysAllocStringLen.restype = ctypes.c_void_p
module.QvSysFreeString.argtypes = [ctypes.c_void_p]
module.QvSysStringLen.argtypes = [ctypes.c_void_p]
module.QvSysStringLen.restype = ctypes.c_uint32
module.QvVariantClear.argtypes = [ctypes.POINTER(VARIANT)]


def bstr(text):
    units = text.encode("utf-16-le")
    buffer = ctypes.create_string_buffer(units, len(units))
    handle = module.QvSysAllocStringLen(None, len(text))
    ctypes.memmove(handle, buffer, len(units))
    return handle


def text_of(handle):
    length = module.QvSysStringLen(handle)
    return ctypes.string_at(handle, 2 * length).decode("utf-16-le")


other = guid(0x6B1E2D41, 0x7C55, 0x4A1F, [0x9E, 0x3B, 0x2D, 0x8C, 0x41, 0xF0, 0xA7, 0xB6])
factory = ctypes.c_void_p()
check(module.DllGetClassObject(other, IID_FACTORY, ctypes.byref(factory)) ==
      CLASS_E_CLASSNOTAVAILABLE, "unknown CLSID")
check(module.DllGetClassObject(CLSID, IID_FACTORY, ctypes.byref(factory)) == S_OK, "factory")
create = method(factory, 3, ctypes.c_void_p, ctypes.POINTER(GUID), ctypes.POINTER(ctypes.c_void_p))
control = ctypes.c_void_p()
check(create(None, IID_CONTROL, ctypes.byref(control)) == S_OK, "CreateInstance")
check(module.DllCanUnloadNow() == S_FALSE, "object keeps the module")

def utf16z(text):
    units = list(text.encode("utf-16-le"))
    return (ctypes.c_uint16 * (len(text) + 1))(
        *[units[i] | units[i + 1] << 8 for i in range(0, len(units), 2)], 0)


name = utf16z("qvbase64ENCODE")
names = (ctypes.c_void_p * 1)(ctypes.addressof(name))
dispid = ctypes.c_int32()
get_ids = method(control, SLOT_GET_IDS_OF_NAMES, ctypes.POINTER(GUID), ctypes.c_void_p,
                 ctypes.c_uint32, ctypes.c_uint32, ctypes.POINTER(ctypes.c_int32))
check(get_ids(IID_UNKNOWN, names, 1, 0, ctypes.byref(dispid)) == S_OK, "names")
check(dispid.value == 13, "dispid of QVBase64Encode")

abc = bstr("abc")
argument = VARIANT()
argument.vt = VT_BSTR
argument.value.bstrVal = abc
params = DISPPARAMS(ctypes.pointer(argument), None, 1, 0)
result = VARIANT()
invoke = method(control, SLOT_INVOKE, ctypes.c_int32, ctypes.POINTER(GUID), ctypes.c_uint32,
                ctypes.c_uint16, ctypes.POINTER(DISPPARAMS), ctypes.POINTER(VARIANT),
                ctypes.c_void_p, ctypes.c_void_p)
check(invoke(13, IID_UNKNOWN, 0, DISPATCH_METHOD, params, result, None, None) == S_OK, "Invoke")
check(result.vt == VT_BSTR and text_of(result.value.bstrVal) == "YWJj\n", "Invoke result")
module.QvVariantClear(ctypes.byref(result))

# The function table: QVBase64Encode (dispid 13) is the thirteenth row of the
# member table (dispid 4, MaxCompSize, has a get and a put row; 5 has none).
encode_slot = FIRST_MEMBER_SLOT + 12
encoded = ctypes.c_void_p()
encode = method(control, encode_slot, ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p))
check(encode(abc, ctypes.byref(encoded)) == S_OK, "QVBase64Encode through the table")
check(text_of(encoded) == "YWJj\n", "table result")
module.QvSysFreeString(encoded)
check(invoke(3, IID_UNKNOWN, 0, DISPATCH_PROPERTYGET, DISPPARAMS(None, None, 0, 0), result,
             None, None) == S_OK and result.vt == VT_I4 and result.value.lVal == 0, "errorNum")
module.QvSysFreeString(abc)

safety = ctypes.c_void_p()
query = method(control, 0, ctypes.POINTER(GUID), ctypes.POINTER(ctypes.c_void_p))
check(query(IID_SAFETY, ctypes.byref(safety)) == S_OK, "object safety")
get_safety = method(safety, 3, ctypes.POINTER(GUID), ctypes.POINTER(ctypes.c_uint32),
                    ctypes.POINTER(ctypes.c_uint32))
supported, enabled = ctypes.c_uint32(), ctypes.c_uint32()
check(get_safety(IID_CONTROL, ctypes.byref(supported), ctypes.byref(enabled)) == S_OK and
      (supported.value, enabled.value) == (3, 0), "fresh safety options")
check(get_safety(other, ctypes.byref(supported), ctypes.byref(enabled)) == E_NOINTERFACE and
      (supported.value, enabled.value) == (0, 0), "unknown interface")
method(safety, 2, restype=ctypes.c_uint32)()
check(method(control, 2, restype=ctypes.c_uint32)() == 0, "last release")
check(module.DllCanUnloadNow() == S_OK, "module may unload")
sys.exit(1 if failures else 0)
