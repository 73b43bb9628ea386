#include "control/registration/interface_definition.h"

#include <string_view>

#include "control/registration/member_table.h"
#include "control/registration/type_library.h"

namespace quorvel::registration {
namespace {

std::string_view IdlType(ValueType type) {
  switch (type) {
    case ValueType::kString:
      return "BSTR";
    case ValueType::kLong:
      return "long";
    case ValueType::kUnsignedLong:
      return "unsigned long";
    case ValueType::kNone:
      break;
  }
  return "void";
}

// "{XXXXXXXX-...}" as IDL's uuid() writes it.
std::string_view Uuid(std::string_view guid) {
  return guid.substr(1, guid.size() - 2);
}

const TypeInfoEntry& TypeOfKind(std::string_view kind) {
  for (const TypeInfoEntry& entry : kTypeInfos) {
    if (entry.kind == kind) return entry;
  }
  return kTypeLibrary;
}

std::string Attributes(const MemberInfo& member) {
  std::string attributes = "[";
  if (member.kind == MemberKind::kPropertyGet) attributes += "propget, ";
  if (member.kind == MemberKind::kPropertyPut) attributes += "propput, ";
  attributes += "id(" + std::to_string(member.dispid) + "), helpstring(\"" +
                StoredHelpString(member) + "\")]";
  return attributes;
}

std::string Declaration(const MemberInfo& member) {
  std::string text =
      "    " + Attributes(member) + "\n    HRESULT " + std::string(member.name) + "(";
  std::string_view separator;
  for (const ParamInfo& param : member.params) {
    text += std::string(separator) + "[in] " + std::string(IdlType(param.type)) + " " +
            std::string(param.name);
    separator = ", ";
  }
  if (member.result != ValueType::kNone) {
    text += std::string(separator) + "[out, retval] " + std::string(IdlType(member.result)) + "* " +
            std::string(member.resultName);
  }
  return text + ");\n";
}

}  // namespace

std::string InterfaceDefinition() {
  const TypeInfoEntry& interface = TypeOfKind("interface");
  const TypeInfoEntry& events = TypeOfKind("dispinterface");
  const TypeInfoEntry& coclass = TypeOfKind("coclass");
  std::string idl =
      "// The control's interface definition, written from its member table; the\n"
      "// help strings are in code page 936.\n"
      "import \"oaidl.idl\";\nimport \"ocidl.idl\";\n\n[\n    object,\n    uuid(" +
      std::string(Uuid(interface.guid)) + "),\n";
  for (const std::string_view flag : interface.flags) {
    if (!flag.empty()) idl += "    " + std::string(flag) + ",\n";
  }
  idl += "    helpstring(\"" + std::string(interface.helpString) +
         "\"),\n    pointer_default(unique)\n]\ninterface " + std::string(interface.name) +
         " : IDispatch\n{\n";
  for (const MemberInfo& member : MemberTable()) idl += Declaration(member);
  idl += "};\n\n[\n    uuid(" + std::string(Uuid(kTypeLibrary.guid)) + "),\n    version(" +
         std::string(kTypeLibraryVersion) + "),\n    lcid(" + std::to_string(kTypeLibraryLocale) +
         "),\n    helpstring(\"" + std::string(kTypeLibrary.helpString) + "\")\n]\nlibrary " +
         std::string(kTypeLibrary.name) + "\n{\n    importlib(\"stdole2.tlb\");\n\n    [\n" +
         "        uuid(" + std::string(Uuid(events.guid)) + "),\n        helpstring(\"" +
         std::string(events.helpString) + "\")\n    ]\n    dispinterface " +
         std::string(events.name) + "\n    {\n    properties:\n    methods:\n    };\n\n" +
         "    [\n        uuid(" + std::string(Uuid(coclass.guid)) + "),\n        helpstring(\"" +
         std::string(coclass.helpString) + "\")\n    ]\n    coclass " + std::string(coclass.name) +
         "\n    {\n";
  for (const std::string_view implemented : coclass.implemented) {
    if (!implemented.empty()) idl += "        " + std::string(implemented) + ";\n";
  }
  return idl + "    };\n};\n";
}

}  // namespace quorvel::registration
